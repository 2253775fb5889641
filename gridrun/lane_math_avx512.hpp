// powf, expf and logf over 16 lanes with AVX-512: the steps of
// exact_math.hpp in eight double-precision lanes at a time, the tables held in
// registers. Lanes outside the common case (x not a positive normal number,
// y zero, infinite or not a number, |y log2 x| of 126 or more, |x| of 88 or
// more for expf) take the scalar functions, which give the same bits.
// No include guard: included inside an AVX-512 target region.

struct LanePowfTables {
    __m512d invc_lo, invc_hi, logc_lo, logc_hi, lnc_lo, lnc_hi;
    __m512i exp2_0, exp2_1, exp2_2, exp2_3;
};

static inline LanePowfTables lane_powf_tables() {
    using T = exact::Tables;
    LanePowfTables t;
    t.invc_lo = _mm512_loadu_pd(T::invc);
    t.invc_hi = _mm512_loadu_pd(T::invc + 8);
    t.logc_lo = _mm512_loadu_pd(T::log2c);
    t.logc_hi = _mm512_loadu_pd(T::log2c + 8);
    t.lnc_lo = _mm512_loadu_pd(T::lnc);
    t.lnc_hi = _mm512_loadu_pd(T::lnc + 8);
    t.exp2_0 = _mm512_loadu_si512(T::exp2);
    t.exp2_1 = _mm512_loadu_si512(T::exp2 + 8);
    t.exp2_2 = _mm512_loadu_si512(T::exp2 + 16);
    t.exp2_3 = _mm512_loadu_si512(T::exp2 + 24);
    return t;
}

// 2^(j/32) of the table with the exponent of ki added: the scale of exp2.
static inline __m512d lane_exp2_scale(const LanePowfTables& t, __m512i ki) {
    const __m512i j = _mm512_and_si512(ki, _mm512_set1_epi64(31));
    const __m512i low = _mm512_permutex2var_epi64(t.exp2_0, j, t.exp2_1);
    const __m512i high = _mm512_permutex2var_epi64(t.exp2_2, j, t.exp2_3);
    const __m512i entry = _mm512_mask_blend_epi64(_mm512_test_epi64_mask(j, _mm512_set1_epi64(16)), low, high);
    return _mm512_castsi512_pd(_mm512_add_epi64(entry, _mm512_slli_epi64(ki, 47)));
}

// x = 2^k z with z near 1 (x as its bits, a positive normal number): the
// table interval i of z, z and k in double precision.
struct LaneLogReduction {
    __m512i i;
    __m512d z, k;
};
static inline LaneLogReduction lane_log_reduction(__m256i ix) {
    const __m256i tmp = _mm256_sub_epi32(ix, _mm256_set1_epi32(0x3f330000));
    const __m256i i = _mm256_and_si256(_mm256_srli_epi32(tmp, 19), _mm256_set1_epi32(15));
    const __m256i top = _mm256_and_si256(tmp, _mm256_set1_epi32(static_cast<int>(0xff800000u)));
    const __m256i iz = _mm256_sub_epi32(ix, top);
    return {_mm512_cvtepu32_epi64(i), _mm512_cvtps_pd(_mm256_castsi256_ps(iz)),
            _mm512_cvtepi32_pd(_mm256_srai_epi32(top, 23))};
}

// Eight lanes: x as its bits, y widened; `slow` collects the lanes for the scalar function.
static inline __m256 lane_powf8(const LanePowfTables& t, __m256i ix, __m256 y, __mmask8& slow) {
    const LaneLogReduction x = lane_log_reduction(ix);
    const __m512d invc = _mm512_permutex2var_pd(t.invc_lo, x.i, t.invc_hi);
    const __m512d logc = _mm512_permutex2var_pd(t.logc_lo, x.i, t.logc_hi);
    const __m512d r = _mm512_fmadd_pd(x.z, invc, _mm512_set1_pd(-1.0));
    const __m512d y0 = _mm512_add_pd(x.k, logc);
    const __m512d ya = _mm512_fmadd_pd(r, _mm512_set1_pd(0x1.27616c9496e0bp-2), _mm512_set1_pd(-0x1.71969a075c67ap-2));
    const __m512d p = _mm512_fmadd_pd(r, _mm512_set1_pd(0x1.ec70a6ca7baddp-2), _mm512_set1_pd(-0x1.7154748bef6c8p-1));
    const __m512d r2 = _mm512_mul_pd(r, r);
    __m512d q = _mm512_fmadd_pd(r, _mm512_set1_pd(0x1.71547652ab82bp+0), y0);
    const __m512d r4 = _mm512_mul_pd(r2, r2);
    q = _mm512_fmadd_pd(r2, p, q);
    const __m512d log2x = _mm512_fmadd_pd(ya, r4, q);
    const __m512d ylogx = _mm512_mul_pd(_mm512_cvtps_pd(y), log2x);
    // |y log2 x| >= 126: overflow or underflow, left to the scalar function.
    const __m512i b = _mm512_and_si512(_mm512_srli_epi64(_mm512_castpd_si512(ylogx), 47), _mm512_set1_epi64(0xffff));
    slow |= _mm512_cmpgt_epu64_mask(b, _mm512_set1_epi64(0x80be));
    const __m512d shift = _mm512_set1_pd(0x1.8p+47);
    __m512d kd = _mm512_add_pd(ylogx, shift);
    const __m512i ki = _mm512_castpd_si512(kd);
    kd = _mm512_sub_pd(kd, shift);
    const __m512d rr = _mm512_sub_pd(ylogx, kd);
    const __m512d s = lane_exp2_scale(t, ki);
    const __m512d zz = _mm512_fmadd_pd(rr, _mm512_set1_pd(0x1.c6af84b912394p-5), _mm512_set1_pd(0x1.ebfce50fac4f3p-3));
    const __m512d rr2 = _mm512_mul_pd(rr, rr);
    __m512d e = _mm512_fmadd_pd(rr, _mm512_set1_pd(0x1.62e42ff0c52d6p-1), _mm512_set1_pd(1.0));
    e = _mm512_fmadd_pd(zz, rr2, e);
    e = _mm512_mul_pd(e, s);
    return _mm512_cvtpd_ps(e);
}

// powf of the lanes in `want` (16 floats); the other lanes hold 0.
static inline __m512 lane_powf16(const LanePowfTables& t, __m512 x, __m512 y, __mmask16 want) {
    const __m512i ix = _mm512_castps_si512(x), iy = _mm512_castps_si512(y);
    // The common case: x a positive normal number, y not 0, infinite or NaN.
    const __mmask16 x_ok =
        _mm512_cmple_epu32_mask(_mm512_sub_epi32(ix, _mm512_set1_epi32(0x800000)), _mm512_set1_epi32(0x7effffff));
    const __m512i two_y = _mm512_add_epi32(iy, iy);
    const __mmask16 y_ok = _mm512_cmple_epu32_mask(_mm512_sub_epi32(two_y, _mm512_set1_epi32(1)),
                                                   _mm512_set1_epi32(static_cast<int>(0xfefffffeu)));
    __mmask8 slow_lo = 0, slow_hi = 0;
    const __m256 lo = lane_powf8(t, _mm512_castsi512_si256(ix), _mm512_castps512_ps256(y), slow_lo);
    const __m256 hi = lane_powf8(t, _mm512_extracti64x4_epi64(ix, 1), _mm512_extractf32x8_ps(y, 1), slow_hi);
    __m512 r = _mm512_insertf32x8(_mm512_castps256_ps512(lo), hi, 1);
    const __mmask16 slow = static_cast<__mmask16>(want & (~(x_ok & y_ok) | slow_lo | (slow_hi << 8)));
    r = _mm512_maskz_mov_ps(want, r);
    if (slow) {
        alignas(64) float xs[16], ys[16], rs[16];
        _mm512_store_ps(xs, x);
        _mm512_store_ps(ys, y);
        _mm512_store_ps(rs, r);
        for (unsigned bits = slow; bits; bits &= bits - 1) {
            const int l = __builtin_ctz(bits);
            rs[l] = exact::powf(xs[l], ys[l]);
        }
        r = _mm512_load_ps(rs);
    }
    return r;
}

// expf of eight lanes (|x| below 88: the others take the scalar function).
static inline __m256 lane_expf8(const LanePowfTables& t, __m256 x) {
    const __m512d xd = _mm512_cvtps_pd(x);
    const __m512d inv_ln2_n = _mm512_set1_pd(0x1.71547652b82fep+5), shift = _mm512_set1_pd(0x1.8p+52);
    __m512d kd = _mm512_fmadd_pd(inv_ln2_n, xd, shift);
    const __m512i ki = _mm512_castpd_si512(kd);
    kd = _mm512_sub_pd(kd, shift);
    const __m512d r = _mm512_fmsub_pd(inv_ln2_n, xd, kd);
    const __m512d s = lane_exp2_scale(t, ki);
    const __m512d z = _mm512_fmadd_pd(r, _mm512_set1_pd(0x1.c6af84b912394p-20), _mm512_set1_pd(0x1.ebfce50fac4f3p-13));
    const __m512d r2 = _mm512_mul_pd(r, r);
    __m512d y = _mm512_fmadd_pd(r, _mm512_set1_pd(0x1.62e42ff0c52d6p-6), _mm512_set1_pd(1.0));
    y = _mm512_fmadd_pd(z, r2, y);
    return _mm512_cvtpd_ps(_mm512_mul_pd(y, s));
}

// logf of eight lanes given as bits (positive normal numbers: the others take the scalar function).
static inline __m256 lane_logf8(const LanePowfTables& t, __m256i ix) {
    const LaneLogReduction x = lane_log_reduction(ix);
    const __m512d invc = _mm512_permutex2var_pd(t.invc_lo, x.i, t.invc_hi);
    const __m512d lnc = _mm512_permutex2var_pd(t.lnc_lo, x.i, t.lnc_hi);
    const __m512d y0 = _mm512_fmadd_pd(x.k, _mm512_set1_pd(0x1.62e42fefa39efp-1), lnc);
    const __m512d r = _mm512_fmadd_pd(x.z, invc, _mm512_set1_pd(-1.0));
    __m512d y = _mm512_fmadd_pd(r, _mm512_set1_pd(0x1.5575b0be00b6ap-2), _mm512_set1_pd(-0x1.ffffef20a4123p-2));
    const __m512d r2 = _mm512_mul_pd(r, r);
    const __m512d ry0 = _mm512_add_pd(r, y0);
    y = _mm512_fmadd_pd(r2, _mm512_set1_pd(-0x1.00ea348b88334p-2), y);
    return _mm512_cvtpd_ps(_mm512_fmadd_pd(r2, y, ry0));
}

// The results of the lanes in `slow` replaced by the scalar f(x).
template <class F>
static inline __m512 lane_scalar(__m512 r, __m512 x, __mmask16 slow, F f) {
    if (!slow) return r;
    alignas(64) float xs[16], rs[16];
    _mm512_store_ps(xs, x);
    _mm512_store_ps(rs, r);
    for (unsigned bits = slow; bits; bits &= bits - 1) {
        const int l = __builtin_ctz(bits);
        rs[l] = f(xs[l]);
    }
    return _mm512_load_ps(rs);
}

// expf of the lanes in `want`; the other lanes hold 0.
static inline __m512 lane_expf16(const LanePowfTables& t, __m512 x, __mmask16 want) {
    const __m512i abstop = _mm512_and_si512(_mm512_srli_epi32(_mm512_castps_si512(x), 20), _mm512_set1_epi32(0x7ff));
    const __mmask16 slow = want & _mm512_cmpgt_epu32_mask(abstop, _mm512_set1_epi32(0x42a));
    const __m256 lo = lane_expf8(t, _mm512_castps512_ps256(x));
    const __m256 hi = lane_expf8(t, _mm512_extractf32x8_ps(x, 1));
    const __m512 r = _mm512_maskz_mov_ps(want, _mm512_insertf32x8(_mm512_castps256_ps512(lo), hi, 1));
    return lane_scalar(r, x, slow, [](float a) { return exact::expf(a); });
}

// logf of the lanes in `want`; the other lanes hold 0.
static inline __m512 lane_logf16(const LanePowfTables& t, __m512 x, __mmask16 want) {
    const __m512i ix = _mm512_castps_si512(x);
    const __mmask16 slow = want & _mm512_cmpgt_epu32_mask(_mm512_sub_epi32(ix, _mm512_set1_epi32(0x800000)),
                                                          _mm512_set1_epi32(0x7effffff));
    const __m256 lo = lane_logf8(t, _mm512_castsi512_si256(ix));
    const __m256 hi = lane_logf8(t, _mm512_extracti64x4_epi64(ix, 1));
    const __m512 r = _mm512_maskz_mov_ps(want, _mm512_insertf32x8(_mm512_castps256_ps512(lo), hi, 1));
    return lane_scalar(r, x, slow, [](float a) { return exact::logf(a); });
}
