// The lane words and the functions of the cells' processes once more, for
// the kernel whose region includes this file: inside that kernel's namespace
// and its instruction-set region, so that they are built with the kernel's
// own instructions (see lanes.hpp). No include guard: included once per kernel.
#ifndef HYDRO_LANES
#error "lane_processes.hpp is included inside a kernel's region, with HYDRO_LANES defined"
#endif

#undef HYDRO_LANE_WORDS
#undef HYDRO_SNOW_PROCESS
#undef HYDRO_INTERCEPTION_PROCESS
#undef HYDRO_SURFACE_RUNOFF_PROCESS
#undef HYDRO_SOIL_WATER_PROCESS
#undef HYDRO_CELL_ROUTING_PROCESS
#undef HYDRO_CELL_STEP_PROCESS
#undef HYDRO_STEP_CONTRIBUTION_PROCESS

#include "lanes.hpp"
#include "snow.hpp"
#include "interception.hpp"
#include "surface_runoff.hpp"
#include "soil_water.hpp"
#include "cell_routing.hpp"
#include "cell_step.hpp"
#include "cell_loop.hpp"
