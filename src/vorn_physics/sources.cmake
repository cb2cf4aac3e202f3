set(VORN_PHYSICS_SOURCES
  vorn_physics/body.cpp)
set(VORN_PHYSICS_TEST_SOURCES)
