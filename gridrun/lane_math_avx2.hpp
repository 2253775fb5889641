// powf, expf and logf over 8 lanes with AVX2 and FMA: the steps of
// exact_math.hpp in four double-precision lanes at a time, the tables read by
// gathers. Lanes outside the common case (x not a positive normal number,
// y zero, infinite or not a number, |y log2 x| of 126 or more, |x| of 88 or
// more for expf) take the scalar functions, which give the same bits.
// No include guard: included inside an AVX2 + FMA target region.

struct LaneHalf {
    __m256d lo, hi;
};

static inline __m256d lane_widen(__m128 x) { return _mm256_cvtps_pd(x); }
static inline __m256 lane_narrow(__m256d lo, __m256d hi) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(lo)), _mm256_cvtpd_ps(hi), 1);
}
static inline __m128i lane_half(__m256i v, int h) {
    return h ? _mm256_extracti128_si256(v, 1) : _mm256_castsi256_si128(v);
}
static inline __m128 lane_half(__m256 v, int h) { return h ? _mm256_extractf128_ps(v, 1) : _mm256_castps256_ps128(v); }

// 2^(j/32) of the table with the exponent of ki added.
static inline __m256d lane_exp2_scale(__m256i ki) {
    const __m256i j = _mm256_and_si256(ki, _mm256_set1_epi64x(31));
    const __m256i entry = _mm256_i64gather_epi64(reinterpret_cast<const long long*>(exact::Tables::exp2), j, 8);
    return _mm256_castsi256_pd(_mm256_add_epi64(entry, _mm256_slli_epi64(ki, 47)));
}

// 2^t with the degree-3 polynomial; `shift` 1.5 x 2^47 (t unscaled) and
// poly the coefficients; for expf t is x 32/ln 2 by a fused multiply-add.
static inline __m256d lane_exp2_tail(__m256d r, __m256i ki, const double* poly) {
    const __m256d s = lane_exp2_scale(ki);
    const __m256d z = _mm256_fmadd_pd(_mm256_set1_pd(poly[0]), r, _mm256_set1_pd(poly[1]));
    const __m256d r2 = _mm256_mul_pd(r, r);
    __m256d y = _mm256_fmadd_pd(_mm256_set1_pd(poly[2]), r, _mm256_set1_pd(1.0));
    y = _mm256_fmadd_pd(z, r2, y);
    return _mm256_mul_pd(y, s);
}

// x = 2^k z, z near c_i: the four lanes' z, k and i.
struct LaneLogReduction {
    __m256d z, k;
    __m128i i;
};
static inline LaneLogReduction lane_log_reduction(__m128i ix) {
    const __m128i tmp = _mm_sub_epi32(ix, _mm_set1_epi32(static_cast<int>(exact::Tables::offset)));
    const __m128i i = _mm_and_si128(_mm_srli_epi32(tmp, 19), _mm_set1_epi32(15));
    const __m128i top = _mm_and_si128(tmp, _mm_set1_epi32(static_cast<int>(0xff800000u)));
    const __m128i iz = _mm_sub_epi32(ix, top);
    return {_mm256_cvtps_pd(_mm_castsi128_ps(iz)), _mm256_cvtepi32_pd(_mm_srai_epi32(top, 23)), i};
}

// y log2 x of four lanes.
static inline __m256d lane_ylog2x(__m128i ix, __m128 y) {
    using T = exact::Tables;
    const LaneLogReduction x = lane_log_reduction(ix);
    const __m256d invc = _mm256_i32gather_pd(T::invc, x.i, 8);
    const __m256d logc = _mm256_i32gather_pd(T::log2c, x.i, 8);
    const __m256d r = _mm256_fmadd_pd(x.z, invc, _mm256_set1_pd(-1.0));
    const __m256d y0 = _mm256_add_pd(logc, x.k);
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d ya = _mm256_fmadd_pd(_mm256_set1_pd(T::log2_poly[0]), r, _mm256_set1_pd(T::log2_poly[1]));
    const __m256d p = _mm256_fmadd_pd(_mm256_set1_pd(T::log2_poly[2]), r, _mm256_set1_pd(T::log2_poly[3]));
    const __m256d r4 = _mm256_mul_pd(r2, r2);
    __m256d q = _mm256_fmadd_pd(_mm256_set1_pd(T::log2_poly[4]), r, y0);
    q = _mm256_fmadd_pd(p, r2, q);
    return _mm256_mul_pd(_mm256_cvtps_pd(y), _mm256_fmadd_pd(ya, r4, q));
}

// x^y of four lanes; `large` gets the lanes with |y log2 x| >= 126.
static inline __m128 lane_powf4(__m128i ix, __m128 y, int& large) {
    const __m256d ylogx = lane_ylog2x(ix, y);
    const __m256i b = _mm256_and_si256(_mm256_srli_epi64(_mm256_castpd_si256(ylogx), 47), _mm256_set1_epi64x(0xffff));
    large = _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpgt_epi64(b, _mm256_set1_epi64x(0x80be))));
    const __m256d shift = _mm256_set1_pd(exact::Tables::shift_pow);
    __m256d kd = _mm256_add_pd(ylogx, shift);
    const __m256i ki = _mm256_castpd_si256(kd);
    kd = _mm256_sub_pd(kd, shift);
    return _mm256_cvtpd_ps(lane_exp2_tail(_mm256_sub_pd(ylogx, kd), ki, exact::Tables::exp2_poly));
}

// e^x of four lanes (|x| below 88 or not far above).
static inline __m128 lane_expf4(__m128 x) {
    using T = exact::Tables;
    const __m256d xd = _mm256_cvtps_pd(x);
    const __m256d inv = _mm256_set1_pd(T::inv_ln2_32), shift = _mm256_set1_pd(T::shift_exp);
    __m256d kd = _mm256_fmadd_pd(inv, xd, shift);
    const __m256i ki = _mm256_castpd_si256(kd);
    kd = _mm256_sub_pd(kd, shift);
    return _mm256_cvtpd_ps(lane_exp2_tail(_mm256_fmsub_pd(inv, xd, kd), ki, T::exp_poly));
}

// ln x of four positive normal lanes given as bits.
static inline __m128 lane_logf4(__m128i ix) {
    using T = exact::Tables;
    const LaneLogReduction x = lane_log_reduction(ix);
    const __m256d invc = _mm256_i32gather_pd(T::invc, x.i, 8);
    const __m256d lnc = _mm256_i32gather_pd(T::lnc, x.i, 8);
    const __m256d r = _mm256_fmadd_pd(x.z, invc, _mm256_set1_pd(-1.0));
    const __m256d y0 = _mm256_fmadd_pd(x.k, _mm256_set1_pd(T::ln2), lnc);
    const __m256d r2 = _mm256_mul_pd(r, r);
    __m256d y = _mm256_fmadd_pd(_mm256_set1_pd(T::ln_poly[1]), r, _mm256_set1_pd(T::ln_poly[2]));
    y = _mm256_fmadd_pd(_mm256_set1_pd(T::ln_poly[0]), r2, y);
    return _mm256_cvtpd_ps(_mm256_fmadd_pd(y, r2, _mm256_add_pd(r, y0)));
}

// Lanes of x (as bits) that are positive normal numbers.
static inline __m256i lane_positive_normal(__m256i ix) {
    return _mm256_andnot_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(0x00800000), ix),
                               _mm256_cmpgt_epi32(_mm256_set1_epi32(0x7f800000), ix));
}

// The lanes in `want` (bits) of r; the others hold 0.
static inline __m256 lane_keep(__m256 r, unsigned want) {
    const __m256i bit = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    const __m256i m = _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(static_cast<int>(want)), bit), bit);
    return _mm256_and_ps(r, _mm256_castsi256_ps(m));
}

// The lanes in `want` of r, those in `slow` (bits) replaced by the scalar f.
template <class F>
static inline __m256 lane_finish(__m256 r, unsigned want, unsigned slow, __m256 x, __m256 y, F f) {
    r = lane_keep(r, want);
    if (!slow) return r;
    alignas(32) float xs[8], ys[8], rs[8];
    _mm256_store_ps(rs, r);
    _mm256_store_ps(xs, x);
    _mm256_store_ps(ys, y);
    for (unsigned b = slow; b; b &= b - 1) {
        const int l = __builtin_ctz(b);
        rs[l] = f(xs[l], ys[l]);
    }
    return _mm256_load_ps(rs);
}

// powf of the lanes in `want` (bits); the other lanes hold 0.
static inline __m256 lane_powf8(__m256 x, __m256 y, unsigned want) {
    const __m256i ix = _mm256_castps_si256(x);
    const __m256i ay = _mm256_and_si256(_mm256_castps_si256(y), _mm256_set1_epi32(0x7fffffff));
    const __m256i y_ok = _mm256_andnot_si256(_mm256_cmpeq_epi32(ay, _mm256_setzero_si256()),
                                             _mm256_cmpgt_epi32(_mm256_set1_epi32(0x7f800000), ay));
    const unsigned common = static_cast<unsigned>(
        _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_and_si256(y_ok, lane_positive_normal(ix)))));
    int large_lo = 0, large_hi = 0;
    const __m128 lo = lane_powf4(lane_half(ix, 0), lane_half(y, 0), large_lo);
    const __m128 hi = lane_powf4(lane_half(ix, 1), lane_half(y, 1), large_hi);
    const unsigned slow = want & (~common | static_cast<unsigned>(large_lo) | static_cast<unsigned>(large_hi) << 4);
    return lane_finish(_mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1), want, slow, x, y,
                       [](float a, float b) { return exact::powf(a, b); });
}

// expf of the lanes in `want`; the other lanes hold 0.
static inline __m256 lane_expf8(__m256 x, unsigned want) {
    const __m256i abstop = _mm256_and_si256(_mm256_srli_epi32(_mm256_castps_si256(x), 20), _mm256_set1_epi32(0x7ff));
    const unsigned slow = want & static_cast<unsigned>(_mm256_movemask_ps(
                                     _mm256_castsi256_ps(_mm256_cmpgt_epi32(abstop, _mm256_set1_epi32(0x42a)))));
    const __m128 lo = lane_expf4(lane_half(x, 0)), hi = lane_expf4(lane_half(x, 1));
    return lane_finish(_mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1), want, slow, x, x,
                       [](float a, float) { return exact::expf(a); });
}

// logf of the lanes in `want`; the other lanes hold 0.
static inline __m256 lane_logf8(__m256 x, unsigned want) {
    const __m256i ix = _mm256_castps_si256(x);
    const unsigned slow =
        want & ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(lane_positive_normal(ix))));
    const __m128 lo = lane_logf4(lane_half(ix, 0)), hi = lane_logf4(lane_half(ix, 1));
    return lane_finish(_mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1), want, slow, x, x,
                       [](float a, float) { return exact::logf(a); });
}
