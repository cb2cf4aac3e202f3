set(VORN_GEODESIC_SOURCES
  vorn_geodesic/geodesic_state.cpp
  vorn_geodesic/exact_geodesic.cpp
  vorn_geodesic/runge_kutta.cpp
  vorn_geodesic/renormalize.cpp
  vorn_geodesic/transport.cpp)
