// The cell kernel, built once for the baseline instruction set and, on
// x86-64, once more for AVX2 + FMA and for AVX-512; the run takes the widest
// one the processor has. All give the same bits: every lane computes in single
// precision exactly what one cell computes (no fused multiply-add, no
// reassociation), and power, logarithm and exponential in lanes give the bits
// of the scalar functions of exact_math.hpp.
// The processes are written for any lane type and forced inline into each
// kernel, so that no vector ever passes a call boundary: the warnings about
// the calling convention of wide vectors do not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
// Vectors filled lane by lane read as used before set to the compiler.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The processes' functions exist here only in each kernel's own copy, built
// with that kernel's instructions (lane_processes.hpp).
#define HYDRO_PROCESSES_PER_INSTRUCTION_SET
#define HYDRO_PROCESSES_BEGIN
#define HYDRO_PROCESSES_END

#include "cell_lanes.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "cell_routing.hpp"
#include "exact_math.hpp"
#include "interception.hpp"
#include "lanes.hpp"
#include "snow.hpp"
#include "soil_water.hpp"
#include "surface_runoff.hpp"

namespace hydro {

namespace lanes_generic {
#define HYDRO_LANES 4
#include "lane_processes.hpp"
#include "cell_lanes_body.hpp"
#include "lane_math_run.hpp"
#undef HYDRO_LANES
}  // namespace lanes_generic

#if defined(__x86_64__) && defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("avx2,fma")
// The compiler's own intrinsics start from undefined registers on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
namespace lanes_avx2 {
#include "lane_math_avx2.hpp"
#include "lane_pairs.hpp"
#define HYDRO_LANES 16
#define HYDRO_LANE_PAIRS 1
#include "lane_processes.hpp"
#define HYDRO_LANE_MATH 1
#include "cell_lanes_body.hpp"
#include "lane_math_run.hpp"
#undef HYDRO_LANE_MATH
#undef HYDRO_LANE_PAIRS
#undef HYDRO_LANES
}  // namespace lanes_avx2
#pragma GCC diagnostic pop
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx512bw,avx2,fma")
// The compiler's own intrinsics start from undefined registers on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
namespace lanes_avx512 {
#include "lane_math_avx512.hpp"
#define HYDRO_LANES 16
#include "lane_processes.hpp"
#define HYDRO_LANE_MATH 1
#include "cell_lanes_body.hpp"
#include "lane_math_run.hpp"
#undef HYDRO_LANE_MATH
#undef HYDRO_LANES
}  // namespace lanes_avx512
#pragma GCC diagnostic pop
#pragma GCC pop_options
#define HYDRO_HAVE_AVX2_KERNEL 1
#endif

namespace {

using BlockKernel = void (*)(const RunView&, const std::vector<ValidCell>&, std::size_t, std::size_t, const TileSteps&,
                             ModelState&, SnapshotSums&, BlockTile&);

using GroupAdder = void (*)(const float*, std::size_t, int, float* const*);

using CaseRunner = void (*)(const ControlFile&, float, float, CellStepCase*, std::size_t);

using LaneMath = void (*)(LaneFunctionKind, const float*, const float*, float*, std::size_t);

struct KernelChoice {
    BlockKernel run;
    GroupAdder add;
    CaseRunner cases;
    LaneMath math;
    const char* name;
};

// The kernels this processor can run, widest first.
std::vector<KernelChoice> available_kernels() {
    std::vector<KernelChoice> k;
#ifdef HYDRO_HAVE_AVX2_KERNEL
    __builtin_cpu_init();
    const bool fma = __builtin_cpu_supports("fma") && __builtin_cpu_supports("avx2");
    if (fma && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw"))
        k.push_back({lanes_avx512::simulate_block, lanes_avx512::add_group, lanes_avx512::water_balance_cases,
                     lanes_avx512::lane_math, "avx512"});
    if (fma)
        k.push_back({lanes_avx2::simulate_block, lanes_avx2::add_group, lanes_avx2::water_balance_cases,
                     lanes_avx2::lane_math, "avx2"});
#endif
    k.push_back({lanes_generic::simulate_block, lanes_generic::add_group, lanes_generic::water_balance_cases,
                 lanes_generic::lane_math, "generic"});
    return k;
}

KernelChoice& kernel() {
    static KernelChoice choice = [] {
        const std::vector<KernelChoice> k = available_kernels();
        // HYDRO_CELL_KERNEL names a narrower kernel (for comparisons).
        const char* wanted = std::getenv("HYDRO_CELL_KERNEL");
        for (const KernelChoice& c : k)
            if (wanted && std::strcmp(wanted, c.name) == 0) return c;
        return k.front();
    }();
    return choice;
}

}  // namespace

const char* cell_kernel_name() { return kernel().name; }

std::vector<std::string> cell_kernel_names() {
    std::vector<std::string> names;
    for (const KernelChoice& c : available_kernels()) names.push_back(c.name);
    return names;
}

bool select_cell_kernel(const std::string& name) {
    for (const KernelChoice& c : available_kernels())
        if (name == c.name) {
            kernel() = c;
            return true;
        }
    return false;
}

void simulate_block_lanes(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first, std::size_t count,
                          const TileSteps& steps, ModelState& state, SnapshotSums& maps, BlockTile& out) {
    kernel().run(run, cells, first, count, steps, state, maps, out);
}

void add_group_lanes(const float* y, std::size_t len, int real, float* const* sums) {
    kernel().add(y, len, real, sums);
}

void water_balance_lanes(const ControlFile& control, float dry_runoff_coefficient, float seasonal_factor,
                         std::vector<CellStepCase>& cases) {
    kernel().cases(control, dry_runoff_coefficient, seasonal_factor, cases.data(), cases.size());
}

bool lane_math(const std::string& kernel_name, LaneFunctionKind f, const float* x, const float* y, float* out,
               std::size_t n) {
    for (const KernelChoice& c : available_kernels())
        if (kernel_name == c.name) {
            c.math(f, x, y, out, n);
            return true;
        }
    return false;
}

}  // namespace hydro
