#include "vorn_kernel.hpp"
