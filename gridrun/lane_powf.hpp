// powf, expf and logf over 16 lanes with AVX-512, giving the C library's
// own result lane for lane. The x86-64 GNU C library (2.28 and later) computes powf on
// processors with FMA as: log2 x from a 16-entry table and a degree-5
// polynomial in double precision, times y, then 2^(y log2 x) from a 32-entry
// table and a degree-3 polynomial, rounded once to float. The steps below are
// those operations in the same order with the same fused multiply-adds, so
// each lane holds the very bits of the library call; lanes outside the common
// case (x not a positive normal number, y zero, infinite or not a number,
// |y log2 x| of 126 or more) are handed to the library itself. expf (2^(x/ln 2)
// from the same 32-entry table) and logf (a 16-entry table and a degree-3
// polynomial) follow the same pattern. Whether the
// library in use agrees is checked once per process (lane_powf_agrees) before
// this is used. No include guard: included inside an AVX-512 target region.
// The tables and polynomial coefficients are those of Arm Optimized Routines
// (MIT OR Apache-2.0 WITH LLVM-exception), which the GNU C library carries:
// see NOTICE at the root for their origin and licence terms.

struct LanePowfTables {
    __m512d invc_lo, invc_hi, logc_lo, logc_hi, lnc_lo, lnc_hi;
    __m512i exp2_0, exp2_1, exp2_2, exp2_3;
};

static inline LanePowfTables lane_powf_tables() {
    static const double invc[16] = {
        0x1.661ec79f8f3bep+0, 0x1.571ed4aaf883dp+0, 0x1.49539f0f010b0p+0, 0x1.3c995b0b80385p+0,
        0x1.30d190c8864a5p+0, 0x1.25e227b0b8ea0p+0, 0x1.1bb4a4a1a343fp+0, 0x1.12358f08ae5bap+0,
        0x1.0953f419900a7p+0, 0x1.0000000000000p+0, 0x1.e608cfd9a47acp-1, 0x1.ca4b31f026aa0p-1,
        0x1.b2036576afce6p-1, 0x1.9c2d163a1aa2dp-1, 0x1.886e6037841edp-1, 0x1.767dcf5534862p-1};
    static const double logc[16] = {-0x1.efec65b963019p-2, -0x1.b0b6832d4fca4p-2,
                                    -0x1.7418b0a1fb77bp-2, -0x1.39de91a6dcf7bp-2,
                                    -0x1.01d9bf3f2b631p-2, -0x1.97c1d1b3b7af0p-3,
                                    -0x1.2f9e393af3c9fp-3, -0x1.960cbbf788d5cp-4,
                                    -0x1.a6f9db6475fcep-5, 0x0.0p+0,
                                    0x1.338ca9f24f53dp-4,  0x1.476a9543891bap-3,
                                    0x1.e840b4ac4e4d2p-3,  0x1.40645f0c6651cp-2,
                                    0x1.88e9c2c1b9ff8p-2,  0x1.ce0a44eb17bccp-2};
    // ln c of the same 16 intervals, for logf.
    static const double lnc[16] = {-0x1.57bf7808caadep-2, -0x1.2bef0a7c06ddbp-2,
                                   -0x1.01eae7f513a67p-2, -0x1.b31d8a68224e9p-3,
                                   -0x1.6574f0ac07758p-3, -0x1.1aa2bc79c8100p-3,
                                   -0x1.a4e76ce8c0e5ep-4, -0x1.1973c5a611cccp-4,
                                   -0x1.252f438e10c1ep-5, 0x0.0p+0,
                                   0x1.aa5aa5df25984p-5,  0x1.c5e53aa362eb4p-4,
                                   0x1.526e57720db08p-3,  0x1.bc2860d224770p-3,
                                   0x1.1058bc8a07ee1p-2,  0x1.4043057b6ee09p-2};
    static const uint64_t exp2[32] = {0x3ff0000000000000, 0x3fefd9b0d3158574, 0x3fefb5586cf9890f, 0x3fef9301d0125b51,
                                      0x3fef72b83c7d517b, 0x3fef54873168b9aa, 0x3fef387a6e756238, 0x3fef1e9df51fdee1,
                                      0x3fef06fe0a31b715, 0x3feef1a7373aa9cb, 0x3feedea64c123422, 0x3feece086061892d,
                                      0x3feebfdad5362a27, 0x3feeb42b569d4f82, 0x3feeab07dd485429, 0x3feea47eb03a5585,
                                      0x3feea09e667f3bcd, 0x3fee9f75e8ec5f74, 0x3feea11473eb0187, 0x3feea589994cce13,
                                      0x3feeace5422aa0db, 0x3feeb737b0cdc5e5, 0x3feec49182a3f090, 0x3feed503b23e255d,
                                      0x3feee89f995ad3ad, 0x3feeff76f2fb5e47, 0x3fef199bdd85529c, 0x3fef3720dcef9069,
                                      0x3fef5818dcfba487, 0x3fef7c97337b9b5f, 0x3fefa4afa2a490da, 0x3fefd0765b6e4540};
    LanePowfTables t;
    t.invc_lo = _mm512_loadu_pd(invc);
    t.invc_hi = _mm512_loadu_pd(invc + 8);
    t.logc_lo = _mm512_loadu_pd(logc);
    t.logc_hi = _mm512_loadu_pd(logc + 8);
    t.lnc_lo = _mm512_loadu_pd(lnc);
    t.lnc_hi = _mm512_loadu_pd(lnc + 8);
    t.exp2_0 = _mm512_loadu_si512(exp2);
    t.exp2_1 = _mm512_loadu_si512(exp2 + 8);
    t.exp2_2 = _mm512_loadu_si512(exp2 + 16);
    t.exp2_3 = _mm512_loadu_si512(exp2 + 24);
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

// Eight lanes: x as its bits, y widened; `slow` collects the lanes for the library.
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
    // |y log2 x| >= 126: overflow or underflow, left to the library.
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
            rs[l] = std::pow(xs[l], ys[l]);
        }
        r = _mm512_load_ps(rs);
    }
    return r;
}

// expf of eight lanes (|x| below 88: the others are the library's).
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

// logf of eight lanes given as bits (positive normal numbers: the others are the library's).
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

// The results of the lanes in `slow` replaced by the library's f(x).
template <class F>
static inline __m512 lane_library(__m512 r, __m512 x, __mmask16 slow, F f) {
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
    return lane_library(r, x, slow, [](float a) { return std::exp(a); });
}

// logf of the lanes in `want`; the other lanes hold 0.
static inline __m512 lane_logf16(const LanePowfTables& t, __m512 x, __mmask16 want) {
    const __m512i ix = _mm512_castps_si512(x);
    const __mmask16 slow = want & _mm512_cmpgt_epu32_mask(_mm512_sub_epi32(ix, _mm512_set1_epi32(0x800000)),
                                                          _mm512_set1_epi32(0x7effffff));
    const __m256 lo = lane_logf8(t, _mm512_castsi512_si256(ix));
    const __m256 hi = lane_logf8(t, _mm512_extracti64x4_epi64(ix, 1));
    const __m512 r = _mm512_maskz_mov_ps(want, _mm512_insertf32x8(_mm512_castps256_ps512(lo), hi, 1));
    return lane_library(r, x, slow, [](float a) { return std::log(a); });
}

// Whether this process's powf gives the same bits as lane_powf16 on a
// spread of arguments like those of the soil and runoff (and some others).
static bool lane_powf_agrees() {
    const LanePowfTables t = lane_powf_tables();
    uint64_t state = 0x9e3779b97f4a7c15ULL;
    auto next = [&]() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 32);
    };
    alignas(64) float xs[16], ys[16], rs[16];
    for (int round = 0; round < 8192; ++round) {
        for (int l = 0; l < 16; ++l) {
            const uint32_t a = next(), b = next();
            switch (round % 4) {
                case 0:
                    xs[l] = static_cast<float>(a) * 0x1p-32f, ys[l] = 1.0f + static_cast<float>(b) * 0x1p-29f;
                    break;
                case 1:
                    xs[l] = static_cast<float>(a) * 0x1p-30f, ys[l] = static_cast<float>(b) * 0x1p-30f;
                    break;
                case 2:
                    std::memcpy(&xs[l], &a, 4), ys[l] = static_cast<float>(b) * 0x1p-28f - 8.0f;
                    break;
                default:
                    std::memcpy(&xs[l], &a, 4), std::memcpy(&ys[l], &b, 4);
                    break;
            }
        }
        auto same = [](float a, float b) { return std::memcmp(&a, &b, 4) == 0 || (a != a && b != b); };
        _mm512_store_ps(rs, lane_powf16(t, _mm512_load_ps(xs), _mm512_load_ps(ys), 0xffff));
        for (int l = 0; l < 16; ++l)
            if (!same(std::pow(xs[l], ys[l]), rs[l])) return false;
        _mm512_store_ps(rs, lane_logf16(t, _mm512_load_ps(xs), 0xffff));
        for (int l = 0; l < 16; ++l)
            if (!same(std::log(xs[l]), rs[l])) return false;
        _mm512_store_ps(rs, lane_expf16(t, _mm512_sub_ps(_mm512_setzero_ps(), _mm512_load_ps(ys)), 0xffff));
        for (int l = 0; l < 16; ++l)
            if (!same(std::exp(0.0f - ys[l]), rs[l])) return false;
    }
    return true;
}
