#include "vorn_physics.hpp"
