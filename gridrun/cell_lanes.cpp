// The cell kernel, built once for the baseline instruction set and, on
// x86-64, once more for AVX2; the run takes the widest one the processor has.
// Both give the same bits: every lane computes in single precision exactly
// what one cell computes (no fused multiply-add, no reassociation).
#include "cell_lanes.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace hydro {

namespace lanes_generic {
#define HYDRO_LANES 4
#include "cell_lanes_body.hpp"
#undef HYDRO_LANES
}  // namespace lanes_generic

#if defined(__x86_64__) && defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("avx2")
namespace lanes_avx2 {
#define HYDRO_LANES 8
#include "cell_lanes_body.hpp"
#undef HYDRO_LANES
}  // namespace lanes_avx2
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx512bw")
namespace lanes_avx512 {
#define HYDRO_LANES 16
#include "cell_lanes_body.hpp"
#undef HYDRO_LANES
}  // namespace lanes_avx512
#pragma GCC pop_options
#define HYDRO_HAVE_AVX2_KERNEL 1
#endif

namespace {

using BlockKernel = void (*)(const RunView&, const std::vector<ValidCell>&, std::size_t, std::size_t, const TileSteps&,
                             ModelState&, SnapshotSums&, BlockTile&);

using GroupAdder = void (*)(const float*, std::size_t, int, float* const*);
using GroupTest = bool (*)(const float*, std::size_t);

struct KernelChoice {
    BlockKernel run;
    GroupAdder add;
    GroupTest suspect;
    const char* name;
};

KernelChoice choose_kernel() {
#ifdef HYDRO_HAVE_AVX2_KERNEL
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw"))
        return {lanes_avx512::simulate_block, lanes_avx512::add_group, lanes_avx512::group_suspect, "avx512"};
    if (__builtin_cpu_supports("avx2")) return {lanes_avx2::simulate_block, lanes_avx2::add_group, lanes_avx2::group_suspect, "avx2"};
#endif
    return {lanes_generic::simulate_block, lanes_generic::add_group, lanes_generic::group_suspect, "generic"};
}

const KernelChoice& kernel() {
    static const KernelChoice choice = choose_kernel();
    return choice;
}

}  // namespace

const char* cell_kernel_name() { return kernel().name; }

void simulate_block_lanes(const RunView& run, const std::vector<ValidCell>& cells, std::size_t first, std::size_t count,
                          const TileSteps& steps, ModelState& state, SnapshotSums& maps, BlockTile& out) {
    kernel().run(run, cells, first, count, steps, state, maps, out);
}

void add_group_lanes(const float* y, std::size_t len, int real, float* const* sums) { kernel().add(y, len, real, sums); }

bool group_suspect_lanes(const float* y, std::size_t n) { return kernel().suspect(y, n); }

}  // namespace hydro
