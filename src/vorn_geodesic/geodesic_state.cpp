#include "vorn_geodesic.hpp"
