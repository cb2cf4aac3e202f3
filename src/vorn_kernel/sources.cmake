set(VORN_KERNEL_SOURCES
  vorn_kernel/hom_vec4.cpp)
set(VORN_KERNEL_TEST_SOURCES)
