set(VORN_WORLD_SOURCES
  vorn_world/world.cpp
  vorn_world/inputs.cpp
  vorn_world/gravity.cpp
  vorn_world/integrators.cpp
  vorn_world/diagnostics.cpp
  vorn_world/contacts.cpp
  vorn_world/thread_pool.cpp)
