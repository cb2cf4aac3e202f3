set(VORN_MOTION_SOURCES
  vorn_motion/quaternion.cpp
  vorn_motion/rotation_builders.cpp
  vorn_motion/apply_to_all.cpp
  vorn_motion/inverse_report.cpp
  vorn_motion/projections.cpp)
