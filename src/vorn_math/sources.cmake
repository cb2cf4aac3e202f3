set(VORN_MATH_SOURCES
  vorn_math/multiprecision.cpp
  vorn_math/reduce_half_pi.cpp
  vorn_math/sin_cos.cpp
  vorn_math/atan.cpp
  vorn_math/pow.cpp)
