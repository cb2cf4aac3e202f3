set(VORN_PHYSICS_SOURCES
  vorn_physics/body.cpp
  vorn_physics/forces.cpp
  vorn_physics/integrate_step.cpp
  vorn_physics/collision.cpp)
