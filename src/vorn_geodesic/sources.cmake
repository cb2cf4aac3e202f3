set(VORN_GEODESIC_SOURCES
  vorn_geodesic/geodesic_state.cpp)
set(VORN_GEODESIC_TEST_SOURCES)
