// powf, expf and logf of the model's own, giving for every argument the bits
// of the x86-64 GNU C library's calls (2.28 and later) on processors with
// fused multiply-add. The results of a run depend on no C library then: the
// same bits on Linux, Windows and any other system.
//
// The algorithms are the published table-driven ones that library uses:
// - log2 x (for powf) and ln x from a 16-entry table of 1/c and log c with
//   x = 2^k z, z near c, and a polynomial of r = z/c - 1 in double precision;
// - 2^t (for powf and expf) from a 32-entry table of 2^(j/32) and a degree-3
//   polynomial, rounded once to float.
// Each step below is the library's operation in its order, with a fused
// multiply-add exactly where its FMA build has one. std::fma gives those bits
// on any processor; without FMA hardware it is only slower. The special
// arguments (zero, negative, subnormal, infinite, not a number, integral y,
// overflow and underflow) follow the same rules; a result that is not a
// number has the bits an x86-64 processor gives it.
// The tables and polynomial coefficients are those of Arm Optimized Routines
// (MIT OR Apache-2.0 WITH LLVM-exception), which the GNU C library carries:
// see NOTICE at the root for their origin and licence terms.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace hydro::exact {

// The tables and coefficients (also used by the vector versions).
struct Tables {
    // 1/c, log2 c and ln c of the 16 intervals of z (z in [0x3f330000, 2 x that)).
    static constexpr double invc[16] = {
        0x1.661ec79f8f3bep+0, 0x1.571ed4aaf883dp+0, 0x1.49539f0f010b0p+0, 0x1.3c995b0b80385p+0,
        0x1.30d190c8864a5p+0, 0x1.25e227b0b8ea0p+0, 0x1.1bb4a4a1a343fp+0, 0x1.12358f08ae5bap+0,
        0x1.0953f419900a7p+0, 0x1.0000000000000p+0, 0x1.e608cfd9a47acp-1, 0x1.ca4b31f026aa0p-1,
        0x1.b2036576afce6p-1, 0x1.9c2d163a1aa2dp-1, 0x1.886e6037841edp-1, 0x1.767dcf5534862p-1};
    static constexpr double log2c[16] = {-0x1.efec65b963019p-2, -0x1.b0b6832d4fca4p-2,
                                         -0x1.7418b0a1fb77bp-2, -0x1.39de91a6dcf7bp-2,
                                         -0x1.01d9bf3f2b631p-2, -0x1.97c1d1b3b7af0p-3,
                                         -0x1.2f9e393af3c9fp-3, -0x1.960cbbf788d5cp-4,
                                         -0x1.a6f9db6475fcep-5, 0x0.0p+0,
                                         0x1.338ca9f24f53dp-4,  0x1.476a9543891bap-3,
                                         0x1.e840b4ac4e4d2p-3,  0x1.40645f0c6651cp-2,
                                         0x1.88e9c2c1b9ff8p-2,  0x1.ce0a44eb17bccp-2};
    static constexpr double lnc[16] = {-0x1.57bf7808caadep-2, -0x1.2bef0a7c06ddbp-2,
                                       -0x1.01eae7f513a67p-2, -0x1.b31d8a68224e9p-3,
                                       -0x1.6574f0ac07758p-3, -0x1.1aa2bc79c8100p-3,
                                       -0x1.a4e76ce8c0e5ep-4, -0x1.1973c5a611cccp-4,
                                       -0x1.252f438e10c1ep-5, 0x0.0p+0,
                                       0x1.aa5aa5df25984p-5,  0x1.c5e53aa362eb4p-4,
                                       0x1.526e57720db08p-3,  0x1.bc2860d224770p-3,
                                       0x1.1058bc8a07ee1p-2,  0x1.4043057b6ee09p-2};
    // 2^(j/32) with j << 47 taken off its bits (the scale adds k << 47 back).
    static constexpr uint64_t exp2[32] = {
        0x3ff0000000000000, 0x3fefd9b0d3158574, 0x3fefb5586cf9890f, 0x3fef9301d0125b51, 0x3fef72b83c7d517b,
        0x3fef54873168b9aa, 0x3fef387a6e756238, 0x3fef1e9df51fdee1, 0x3fef06fe0a31b715, 0x3feef1a7373aa9cb,
        0x3feedea64c123422, 0x3feece086061892d, 0x3feebfdad5362a27, 0x3feeb42b569d4f82, 0x3feeab07dd485429,
        0x3feea47eb03a5585, 0x3feea09e667f3bcd, 0x3fee9f75e8ec5f74, 0x3feea11473eb0187, 0x3feea589994cce13,
        0x3feeace5422aa0db, 0x3feeb737b0cdc5e5, 0x3feec49182a3f090, 0x3feed503b23e255d, 0x3feee89f995ad3ad,
        0x3feeff76f2fb5e47, 0x3fef199bdd85529c, 0x3fef3720dcef9069, 0x3fef5818dcfba487, 0x3fef7c97337b9b5f,
        0x3fefa4afa2a490da, 0x3fefd0765b6e4540};
    // log2(1 + r) ~ ((a0 r + a1) r^4 + (a2 r + a3) r^2 + a4 r)
    static constexpr double log2_poly[5] = {0x1.27616c9496e0bp-2, -0x1.71969a075c67ap-2, 0x1.ec70a6ca7baddp-2,
                                            -0x1.7154748bef6c8p-1, 0x1.71547652ab82bp+0};
    // ln(1 + r) ~ (a0 r^2 + (a1 r + a2)) r^2 + r
    static constexpr double ln_poly[3] = {-0x1.00ea348b88334p-2, 0x1.5575b0be00b6ap-2, -0x1.ffffef20a4123p-2};
    static constexpr double ln2 = 0x1.62e42fefa39efp-1;
    // 2^r ~ (c0 r + c1) r^2 + (c2 r + 1), and for expf the same scaled by 32.
    static constexpr double exp2_poly[3] = {0x1.c6af84b912394p-5, 0x1.ebfce50fac4f3p-3, 0x1.62e42ff0c52d6p-1};
    static constexpr double exp_poly[3] = {0x1.c6af84b912394p-20, 0x1.ebfce50fac4f3p-13, 0x1.62e42ff0c52d6p-6};
    static constexpr double inv_ln2_32 = 0x1.71547652b82fep+5;
    static constexpr double shift_exp = 0x1.8p+52, shift_pow = 0x1.8p+47;
    static constexpr uint32_t offset = 0x3f330000;  // start of the intervals of z
};

inline uint32_t bits(float x) {
    uint32_t u;
    std::memcpy(&u, &x, 4);
    return u;
}
inline float from_bits(uint32_t u) {
    float x;
    std::memcpy(&x, &u, 4);
    return x;
}
inline uint64_t bits(double x) {
    uint64_t u;
    std::memcpy(&u, &x, 8);
    return u;
}
inline double from_bits(uint64_t u) {
    double x;
    std::memcpy(&x, &u, 8);
    return x;
}
// The x86-64 results that are not a number: the default one, and a quieted operand.
inline float default_nan() { return from_bits(0xffc00000u); }
inline float quieted(float x) { return from_bits(bits(x) | 0x400000u); }
inline bool is_nan_bits(uint32_t u) { return (u & 0x7fffffffu) > 0x7f800000u; }

// 2^(k/32) for the integer k in the low bits of ki, with `sign` (0 or 1) as its sign.
inline double exp2_scale(uint64_t ki, uint64_t sign) {
    return from_bits(Tables::exp2[ki % 32] + ((ki + (sign << 16)) << 47));
}

// ln x of a positive normal x given as its bits.
inline float logf_normal(uint32_t ix) {
    const uint32_t tmp = ix - Tables::offset;
    const int i = static_cast<int>((tmp >> 19) % 16);
    const int32_t k = static_cast<int32_t>(tmp) >> 23;
    const double z = static_cast<double>(from_bits(ix - (tmp & 0xff800000u)));
    const double r = std::fma(z, Tables::invc[i], -1.0);
    const double y0 = std::fma(static_cast<double>(k), Tables::ln2, Tables::lnc[i]);
    const double r2 = r * r;
    double y = std::fma(Tables::ln_poly[1], r, Tables::ln_poly[2]);
    y = std::fma(Tables::ln_poly[0], r2, y);
    return static_cast<float>(std::fma(y, r2, y0 + r));
}

inline float logf(float x) {
    uint32_t ix = bits(x);
    if (ix == 0x3f800000u) return 0.0f;
    if (ix - 0x00800000u >= 0x7f800000u - 0x00800000u) {
        if (ix * 2 == 0) return -HUGE_VALF;
        if (ix == 0x7f800000u) return x;
        if (is_nan_bits(ix)) return quieted(x);
        if (ix & 0x80000000u) return default_nan();
        ix = bits(x * 0x1p23f) - (23u << 23);  // subnormal: scaled to normal
    }
    return logf_normal(ix);
}

// e^x for |x| below 88 or not far above.
inline float expf_common(float x) {
    const double xd = static_cast<double>(x);
    double kd = std::fma(Tables::inv_ln2_32, xd, Tables::shift_exp);
    const uint64_t ki = bits(kd);
    kd -= Tables::shift_exp;
    const double r = std::fma(Tables::inv_ln2_32, xd, -kd);
    const double s = exp2_scale(ki, 0);
    const double z = std::fma(Tables::exp_poly[0], r, Tables::exp_poly[1]);
    const double r2 = r * r;
    double y = std::fma(Tables::exp_poly[2], r, 1.0);
    y = std::fma(z, r2, y);
    return static_cast<float>(y * s);
}

inline float expf(float x) {
    const uint32_t ix = bits(x);
    if (((ix >> 20) & 0x7ff) >= 0x42b) {  // |x| >= 88 or not a number
        if (ix == 0xff800000u) return 0.0f;
        if (((ix >> 20) & 0x7ff) >= 0x7f8) return is_nan_bits(ix) ? quieted(x) : x;
        if (x > 0x1.62e42ep6f) return HUGE_VALF;
        if (x < -0x1.9fe368p6f) return 0.0f;
    }
    return expf_common(x);
}

// 0 where y (bits of a finite non-zero float) is no integer, 1 odd, 2 even.
inline int integral_kind(uint32_t iy) {
    const int e = static_cast<int>((iy >> 23) & 0xff);
    if (e < 0x7f) return 0;
    if (e > 0x7f + 23) return 2;
    if (iy & ((1u << (0x7f + 23 - e)) - 1)) return 0;
    if (iy & (1u << (0x7f + 23 - e))) return 1;
    return 2;
}

// log2 x of a positive normal x given as its bits (an exponent below the
// normal range allowed: subnormal x scaled by 2^23).
inline double log2_inline(uint32_t ix) {
    const uint32_t tmp = ix - Tables::offset;
    const int i = static_cast<int>((tmp >> 19) % 16);
    const uint32_t top = tmp & 0xff800000u;
    const int32_t k = static_cast<int32_t>(top) >> 23;
    const double z = static_cast<double>(from_bits(ix - top));
    const double r = std::fma(z, Tables::invc[i], -1.0);
    const double y0 = Tables::log2c[i] + static_cast<double>(k);
    const double r2 = r * r;
    const double y = std::fma(Tables::log2_poly[0], r, Tables::log2_poly[1]);
    const double p = std::fma(Tables::log2_poly[2], r, Tables::log2_poly[3]);
    const double r4 = r2 * r2;
    double q = std::fma(Tables::log2_poly[4], r, y0);
    q = std::fma(p, r2, q);
    return std::fma(y, r4, q);
}

// 2^t for |t| below 126 (or up to 150 underflowing), with sign (0 or 1).
inline float exp2_inline(double t, uint64_t sign) {
    double kd = t + Tables::shift_pow;
    const uint64_t ki = bits(kd);
    kd -= Tables::shift_pow;
    const double r = t - kd;
    const double s = exp2_scale(ki, sign);
    const double z = std::fma(Tables::exp2_poly[0], r, Tables::exp2_poly[1]);
    const double r2 = r * r;
    double y = std::fma(Tables::exp2_poly[2], r, 1.0);
    y = std::fma(z, r2, y);
    return static_cast<float>(y * s);
}

// x^y where y is 0, infinite or not a number.
inline float powf_special_y(float x, float y, uint32_t ix, uint32_t iy) {
    const bool x_signals = is_nan_bits(ix) && !(ix & 0x400000u), y_signals = is_nan_bits(iy) && !(iy & 0x400000u);
    if (2 * iy == 0) return x_signals ? quieted(x) : 1.0f;
    if (ix == 0x3f800000u) return y_signals ? quieted(y) : 1.0f;
    if (is_nan_bits(ix)) return quieted(x);
    if (is_nan_bits(iy)) return quieted(y);
    if (2 * ix == 2 * 0x3f800000u) return 1.0f;
    if ((2 * ix < 2 * 0x3f800000u) == !(iy & 0x80000000u)) return 0.0f;
    return y * y;
}

inline float powf(float x, float y) {
    uint32_t ix = bits(x);
    const uint32_t iy = bits(y);
    uint64_t sign = 0;
    auto zero_inf_nan = [](uint32_t u) { return 2 * u - 1 >= 2u * 0x7f800000u - 1; };
    if (ix - 0x00800000u >= 0x7f800000u - 0x00800000u || zero_inf_nan(iy)) {
        if (zero_inf_nan(iy)) return powf_special_y(x, y, ix, iy);
        if (zero_inf_nan(ix)) {  // x zero, infinite or not a number
            float x2 = x * x;
            if ((ix & 0x80000000u) && integral_kind(iy) == 1) x2 = -x2;
            return (iy & 0x80000000u) ? 1.0f / x2 : x2;
        }
        if (ix & 0x80000000u) {  // finite x < 0
            const int kind = integral_kind(iy);
            if (kind == 0) return default_nan();
            if (kind == 1) sign = 1;
            ix &= 0x7fffffffu;
        }
        if (ix < 0x00800000u) ix = (bits(x * 0x1p23f) & 0x7fffffffu) - (23u << 23);
    }
    const double ylogx = static_cast<double>(y) * log2_inline(ix);
    if (((bits(ylogx) >> 47) & 0xffff) >= (bits(126.0) >> 47)) {
        if (ylogx > 0x1.fffffffd1d571p+6) return sign ? -HUGE_VALF : HUGE_VALF;
        if (ylogx <= -150.0) return sign ? -0.0f : 0.0f;
    }
    return exp2_inline(ylogx, sign);
}

}  // namespace hydro::exact
