// The words the cell processes are written in, so that each process is
// written once and runs for one cell (T = float) or for N cells side by side
// (T = lane_vector<N>, one cell per lane). Arithmetic and comparisons are the
// ordinary operators on both; where one cell would branch, both sides are
// computed and `pick` keeps, lane by lane, the side the lane's own test chose.
// Every lane therefore runs exactly the float operations, in the same order,
// that one cell runs, and gives the same bits.
//
//   pick(m, a, b)        a where m is set, else b
//   and_not(a, b)        set where a is set and b is not
//   invert(m)            set where m is not
//   any(m)               whether any lane is set
//   splat<T>(x)          x in every lane
//   pow_where(m, x, y)   x^y where m is set, 0 elsewhere (likewise log_where, exp_where):
//                        the model's own powf, logf, expf (exact_math.hpp), only for the lanes
//                        that need them
//
// A lane type made of several registers (lane_pairs.hpp) brings its own
// operators, `pick` and `any`, and T::broadcast, T::load and v.store, which
// splat, load and store use.
//
// Compiled per instruction set. A function template takes the instruction set
// of the place where it is written, not of the kernel it is inlined into:
// written once at namespace level for the baseline processor, the 16-lane
// masks of a process would be split lane by lane before they reach the
// AVX-512 kernel (three to four times slower). So each header of the cells'
// processes has two parts: its types, included once as usual, and its
// functions, which the kernel file includes once more inside the region of
// each instruction set (lane_processes.hpp), in that kernel's own namespace.
// The kernel file defines HYDRO_PROCESSES_PER_INSTRUCTION_SET, so that only
// those copies exist there; everywhere else the functions are in namespace
// hydro as usual. Everything here is forced inline.
#ifndef HYDRO_GRIDRUN_LANES_HPP
#define HYDRO_GRIDRUN_LANES_HPP

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "exact_math.hpp"

#define HYDRO_LANES_INLINE inline __attribute__((always_inline))

// Where the functions of the processes go: namespace hydro, except in the
// kernel file, which puts them into the namespace of each kernel.
#ifndef HYDRO_PROCESSES_BEGIN
#define HYDRO_PROCESSES_BEGIN namespace hydro {
#define HYDRO_PROCESSES_END }
#endif

namespace hydro {

template <int N>
struct LaneVector {
    typedef float type __attribute__((vector_size(N * 4)));
};
// N cells side by side.
template <int N>
using lane_vector = typename LaneVector<N>::type;
static_assert(sizeof(lane_vector<16>) == 64);

// The outcome of a test: bool for one cell, a vector of 0 / -1 for N cells.
template <class T>
using mask_of = decltype(T{} < T{});

template <class T>
inline constexpr bool is_one_cell = std::is_same_v<T, float>;

template <class T>
inline constexpr int lanes_of = static_cast<int>(sizeof(T) / sizeof(float));

}  // namespace hydro

#endif  // HYDRO_GRIDRUN_LANES_HPP

#if !defined(HYDRO_LANE_WORDS) && (defined(HYDRO_LANES) || !defined(HYDRO_PROCESSES_PER_INSTRUCTION_SET))
#define HYDRO_LANE_WORDS

HYDRO_PROCESSES_BEGIN

template <class T>
HYDRO_LANES_INLINE T splat(float x) {
    if constexpr (is_one_cell<T>) {
        return x;
    } else if constexpr (requires { T::broadcast(x); }) {
        return T::broadcast(x);  // a lane type of several registers
    } else {
        T v;
        for (int l = 0; l < lanes_of<T>; ++l) v[l] = x;
        return v;
    }
}

template <class M, class T>
HYDRO_LANES_INLINE T pick(M m, T a, T b) {
    return m ? a : b;
}

template <class M>
HYDRO_LANES_INLINE M invert(M m) {
    if constexpr (std::is_same_v<M, bool>)
        return !m;
    else
        return ~m;
}

template <class M>
HYDRO_LANES_INLINE M and_not(M a, M b) {
    if constexpr (std::is_same_v<M, bool>)
        return a && !b;
    else
        return a & ~b;
}

template <class M>
HYDRO_LANES_INLINE bool any(M m) {
    if constexpr (std::is_same_v<M, bool>) {
        return m;
    } else {
        // The lanes folded pairwise into 64-bit words.
        uint64_t words[sizeof(M) / 8];
        std::memcpy(words, &m, sizeof m);
        uint64_t r = 0;
        for (uint64_t w : words) r |= w;
        return r != 0;
    }
}

template <class T>
HYDRO_LANES_INLINE T load(const float* p) {
    if constexpr (requires { T::load(p); }) {
        return T::load(p);  // a lane type of several registers
    } else {
        T v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
}

template <class T>
HYDRO_LANES_INLINE void store(float* p, T v) {
    if constexpr (requires { v.store(p); })
        v.store(p);
    else
        std::memcpy(p, &v, sizeof v);
}

// The model's own powf, logf and expf (the bits of the GNU C library's, on
// every system), one call per lane that needs it (the other lanes hold 0). A
// kernel may bring its own form of the three as long as it gives these bits:
// the processes take it as their `Math` parameter.
template <class T>
struct ExactMath {
    using M = mask_of<T>;
    template <class F>
    static HYDRO_LANES_INLINE T per_lane(M m, T x, T y, F f) {
        if constexpr (is_one_cell<T>) {
            return m ? f(x, y) : 0.0f;
        } else {
            constexpr int n = lanes_of<T>;
            alignas(64) float xs[n], ys[n], r[n] = {};
            alignas(64) int32_t on[n];
            std::memcpy(xs, &x, sizeof x);
            std::memcpy(ys, &y, sizeof y);
            std::memcpy(on, &m, sizeof m);
            for (int l = 0; l < n; ++l)
                if (on[l]) r[l] = f(xs[l], ys[l]);
            return load<T>(r);
        }
    }
    static HYDRO_LANES_INLINE T pow(M m, T x, T y) {
        return per_lane(m, x, y, [](float a, float b) { return exact::powf(a, b); });
    }
    static HYDRO_LANES_INLINE T log(M m, T x) {
        return per_lane(m, x, x, [](float a, float) { return exact::logf(a); });
    }
    static HYDRO_LANES_INLINE T exp(M m, T x) {
        return per_lane(m, x, x, [](float a, float) { return exact::expf(a); });
    }
};

template <class Math, class M, class T>
HYDRO_LANES_INLINE T pow_where(M m, T x, T y) {
    return Math::pow(m, x, y);
}
template <class Math, class M, class T>
HYDRO_LANES_INLINE T log_where(M m, T x) {
    return Math::log(m, x);
}
template <class Math, class M, class T>
HYDRO_LANES_INLINE T exp_where(M m, T x) {
    return Math::exp(m, x);
}

HYDRO_PROCESSES_END

#endif
