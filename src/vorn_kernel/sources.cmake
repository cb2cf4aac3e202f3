set(VORN_KERNEL_SOURCES
  vorn_kernel/hom_vec4.cpp
  vorn_kernel/fubini_study.cpp)
set(VORN_KERNEL_TEST_SOURCES)
