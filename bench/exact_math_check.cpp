// The model's own powf, expf and logf against the C library's, bit for bit,
// in every width this processor has (the scalar functions and the lanes of
// each cell kernel):
//   exact_math_check [RANDOM_PAIRS]
// - expf and logf on all 2^32 floats;
// - powf on the soil and runoff ranges: every float x of [2^-12, 1] with
//   twelve exponents y of 0.05 to 24 (relative saturation to the pore index or
//   the runoff exponent), and every 64th float of (0, 2^-12) with the same y;
// - powf on RANDOM_PAIRS random pairs (default 10^9): half of them any bits,
//   half x in [0, 4] and y in [-30, 30] with some integral y.
// It counts, per width, the results whose bits differ (a result that is not a
// number counts too when its bits differ). Meaningful where the C library is
// the GNU one (2.28 or later) on an x86-64 processor with FMA.
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cell_lanes.hpp"
#include "cell_loop.hpp"
#include "exact_math.hpp"

using namespace hydro;

namespace {

struct Widths {
    std::vector<std::string> kernels = cell_kernel_names();
    std::vector<std::atomic<uint64_t>> wrong;  // [0]: scalar, then one per kernel
    std::vector<uint32_t> first_wrong_x, first_wrong_y;
    Widths() : wrong(kernels.size() + 1), first_wrong_x(kernels.size() + 1), first_wrong_y(kernels.size() + 1) {}
};

// One chunk of arguments through the library, the scalar functions and every kernel.
void check_chunk(LaneFunctionKind f, const std::vector<float>& x, const std::vector<float>& y, Widths& w) {
    const std::size_t n = x.size();
    std::vector<float> want(n), got(n);
    for (std::size_t i = 0; i < n; ++i)
        want[i] = f == LaneFunctionKind::pow   ? std::pow(x[i], y[i])
                  : f == LaneFunctionKind::log ? std::log(x[i])
                                               : std::exp(x[i]);
    auto count = [&](std::size_t slot) {
        uint64_t bad = 0;
        for (std::size_t i = 0; i < n; ++i)
            if (exact::bits(want[i]) != exact::bits(got[i])) {
                if (bad++ == 0 && w.wrong[slot] == 0) {
                    w.first_wrong_x[slot] = exact::bits(x[i]);
                    w.first_wrong_y[slot] = f == LaneFunctionKind::pow ? exact::bits(y[i]) : 0;
                }
            }
        w.wrong[slot] += bad;
    };
    for (std::size_t i = 0; i < n; ++i)
        got[i] = f == LaneFunctionKind::pow   ? exact::powf(x[i], y[i])
                 : f == LaneFunctionKind::log ? exact::logf(x[i])
                                              : exact::expf(x[i]);
    count(0);
    for (std::size_t k = 0; k < w.kernels.size(); ++k) {
        lane_math(w.kernels[k], f, x.data(), f == LaneFunctionKind::pow ? y.data() : nullptr, got.data(), n);
        count(k + 1);
    }
}

// Runs `fill(chunk, x, y)` for chunks 0 .. chunks-1 on every hardware thread.
template <class Fill>
void run_chunks(LaneFunctionKind f, uint64_t chunks, Fill fill, Widths& w) {
    std::atomic<uint64_t> next{0};
    auto worker = [&] {
        std::vector<float> x, y;
        for (uint64_t c; (c = next++) < chunks;) {
            fill(c, x, y);
            check_chunk(f, x, y, w);
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); ++t) threads.emplace_back(worker);
    for (std::thread& t : threads) t.join();
}

void report(const char* what, uint64_t cases, const Widths& w) {
    std::printf("%-44s %14" PRIu64 " arguments:", what, cases);
    for (std::size_t s = 0; s < w.wrong.size(); ++s) {
        std::printf("  %s %" PRIu64 " differ", s == 0 ? "scalar" : w.kernels[s - 1].c_str(), w.wrong[s].load());
        if (w.wrong[s]) std::printf(" (first x %08x y %08x)", w.first_wrong_x[s], w.first_wrong_y[s]);
    }
    std::printf("\n");
    std::fflush(stdout);
}

uint64_t mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t pairs = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000000ULL;
    constexpr uint64_t chunk = 1 << 16;
    auto every_float = [](uint64_t c, std::vector<float>& x, std::vector<float>& y) {
        x.resize(chunk), y.clear();
        for (uint64_t i = 0; i < chunk; ++i) x[i] = exact::from_bits(static_cast<uint32_t>(c * chunk + i));
    };
    for (LaneFunctionKind f : {LaneFunctionKind::exp, LaneFunctionKind::log}) {
        Widths w;
        run_chunks(f, (1ULL << 32) / chunk, every_float, w);
        report(f == LaneFunctionKind::exp ? "expf, every float" : "logf, every float", 1ULL << 32, w);
    }
    static const float exponents[12] = {0.05f, 0.3f, 0.5f, 1.0f, 1.35f, 2.0f, 3.3f, 4.5f, 7.0f, 11.0f, 16.5f, 24.0f};
    const uint32_t lo = 0x39800000u, one = 0x3f800000u;  // 2^-12 and 1
    const uint64_t dense = one - lo + 1, sparse = lo / 64;
    {
        Widths w;
        const uint64_t per_y = (dense + sparse + chunk - 1) / chunk;
        run_chunks(
            LaneFunctionKind::pow, per_y * 12,
            [&](uint64_t c, std::vector<float>& x, std::vector<float>& y) {
                x.clear(), y.clear();
                for (uint64_t i = (c % per_y) * chunk; i < std::min(dense + sparse, (c % per_y + 1) * chunk); ++i) {
                    x.push_back(exact::from_bits(i < dense ? static_cast<uint32_t>(lo + i)
                                                           : static_cast<uint32_t>((i - dense) * 64 + 1)));
                    y.push_back(exponents[c / per_y]);
                }
            },
            w);
        report("powf, soil and runoff ranges", (dense + sparse) * 12, w);
    }
    {
        Widths w;
        run_chunks(
            LaneFunctionKind::pow, (pairs + chunk - 1) / chunk,
            [&](uint64_t c, std::vector<float>& x, std::vector<float>& y) {
                x.resize(chunk), y.resize(chunk);
                for (uint64_t i = 0; i < chunk; ++i) {
                    const uint64_t r = mix(c * chunk + i);
                    const uint32_t a = static_cast<uint32_t>(r), b = static_cast<uint32_t>(r >> 32);
                    if (i % 2) {
                        x[i] = exact::from_bits(a), y[i] = exact::from_bits(b);
                    } else {
                        x[i] = static_cast<float>(a >> 8) * 0x1p-22f;
                        y[i] = i % 8 == 0 ? static_cast<float>(static_cast<int>(b % 61) - 30)
                                          : static_cast<float>(b >> 8) * 0x1p-24f * 60.0f - 30.0f;
                    }
                }
            },
            w);
        report("powf, random pairs", (pairs + chunk - 1) / chunk * chunk, w);
    }
    return 0;
}
