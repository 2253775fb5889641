// Sixteen cells side by side in two 256-bit registers, for processors with
// AVX2 and no wider registers: every operation runs on the low eight lanes,
// then on the high eight. A group of cells through one step is a long chain
// of dependent operations (a step's soil moisture feeds the next step's
// powf, whose table reads wait on its logarithm), so eight cells alone leave
// much of the processor idle; two independent halves give it the work of one
// half to do while the other waits (the hourly benchmark: about 8 % less
// time with two threads). The compiler's own 16-lane vectors are no help
// here: without AVX-512 it splits their comparisons and choices lane by lane
// (five times slower). Each lane still runs exactly the float operations
// one cell runs, so the bits do not change.
// No include guard: included inside the AVX2 + FMA region, before the lane
// words (lanes.hpp), which find these operators and overloads.

using half_float = float __attribute__((vector_size(32)));
using half_mask = int32_t __attribute__((vector_size(32)));

struct LaneMask16 {
    half_mask lo, hi;
    // Masks are kept in float arrays (the lags a lane routes), as bits.
    static HYDRO_LANES_INLINE LaneMask16 load(const float* p) {
        return {reinterpret_cast<half_mask>(_mm256_loadu_ps(p)), reinterpret_cast<half_mask>(_mm256_loadu_ps(p + 8))};
    }
    // One lane, for setting up (the halves are contiguous; a vector shares
    // the alias set of its elements).
    int32_t& operator[](std::size_t l) { return reinterpret_cast<int32_t*>(this)[l]; }
    int32_t operator[](std::size_t l) const { return reinterpret_cast<const int32_t*>(this)[l]; }
};

struct Lanes16 {
    half_float lo, hi;
    float& operator[](std::size_t l) { return reinterpret_cast<float*>(this)[l]; }
    float operator[](std::size_t l) const { return reinterpret_cast<const float*>(this)[l]; }
    static HYDRO_LANES_INLINE Lanes16 load(const float* p) {
        return {reinterpret_cast<half_float>(_mm256_loadu_ps(p)), reinterpret_cast<half_float>(_mm256_loadu_ps(p + 8))};
    }
    HYDRO_LANES_INLINE void store(float* p) const {
        _mm256_storeu_ps(p, reinterpret_cast<__m256>(lo));
        _mm256_storeu_ps(p + 8, reinterpret_cast<__m256>(hi));
    }
    static HYDRO_LANES_INLINE Lanes16 broadcast(float x) {
        const half_float v = {x, x, x, x, x, x, x, x};
        return {v, v};
    }
};
static_assert(sizeof(Lanes16) == 64 && sizeof(LaneMask16) == 64);

#define HYDRO_PAIR_OPERATOR(R, op)                                                                  \
    HYDRO_LANES_INLINE R operator op(Lanes16 a, Lanes16 b) { return {a.lo op b.lo, a.hi op b.hi}; } \
    HYDRO_LANES_INLINE R operator op(Lanes16 a, float b) { return {a.lo op b, a.hi op b}; }         \
    HYDRO_LANES_INLINE R operator op(float a, Lanes16 b) { return {a op b.lo, a op b.hi}; }
HYDRO_PAIR_OPERATOR(Lanes16, +)
HYDRO_PAIR_OPERATOR(Lanes16, -)
HYDRO_PAIR_OPERATOR(Lanes16, *)
HYDRO_PAIR_OPERATOR(Lanes16, /)
HYDRO_PAIR_OPERATOR(LaneMask16, <)
HYDRO_PAIR_OPERATOR(LaneMask16, >)
HYDRO_PAIR_OPERATOR(LaneMask16, <=)
HYDRO_PAIR_OPERATOR(LaneMask16, >=)
HYDRO_PAIR_OPERATOR(LaneMask16, ==)
HYDRO_PAIR_OPERATOR(LaneMask16, !=)
#undef HYDRO_PAIR_OPERATOR

HYDRO_LANES_INLINE Lanes16 operator-(Lanes16 a) { return {-a.lo, -a.hi}; }
HYDRO_LANES_INLINE LaneMask16 operator&(LaneMask16 a, LaneMask16 b) { return {a.lo & b.lo, a.hi & b.hi}; }
HYDRO_LANES_INLINE LaneMask16 operator|(LaneMask16 a, LaneMask16 b) { return {a.lo | b.lo, a.hi | b.hi}; }
HYDRO_LANES_INLINE LaneMask16 operator~(LaneMask16 a) { return {~a.lo, ~a.hi}; }
HYDRO_LANES_INLINE LaneMask16& operator|=(LaneMask16& a, LaneMask16 b) { return a = a | b; }

HYDRO_LANES_INLINE Lanes16 pick(LaneMask16 m, Lanes16 a, Lanes16 b) { return {m.lo ? a.lo : b.lo, m.hi ? a.hi : b.hi}; }

HYDRO_LANES_INLINE bool any(LaneMask16 m) {
    const __m256i v = reinterpret_cast<__m256i>(m.lo | m.hi);
    return !_mm256_testz_si256(v, v);
}

// The lanes of a mask as bits (lane l: bit l).
HYDRO_LANES_INLINE unsigned lane_bits(LaneMask16 m) {
    return static_cast<unsigned>(_mm256_movemask_ps(reinterpret_cast<__m256>(m.lo))) |
           static_cast<unsigned>(_mm256_movemask_ps(reinterpret_cast<__m256>(m.hi))) << 8;
}
