// The model's own powf, expf and logf: special arguments worked by hand, and
// on a sample of arguments every kernel's lanes against the scalar functions
// and (with the GNU C library on x86-64 with FMA) against the library.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "cell_lanes.hpp"
#include "cell_loop.hpp"
#include "exact_math.hpp"
#include "season_sine.hpp"

using namespace hydro;

namespace {

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan_ = std::numeric_limits<float>::quiet_NaN();

// Same value, zeros by sign, any two results that are not a number alike;
// `ulps` > 0 allows that many units in the last place.
::testing::AssertionResult same(float want, float got, int ulps = 0) {
    if (std::isnan(want) && std::isnan(got)) return ::testing::AssertionSuccess();
    const int32_t a = static_cast<int32_t>(exact::bits(want)), b = static_cast<int32_t>(exact::bits(got));
    if (a == b || (ulps > 0 && std::signbit(want) == std::signbit(got) && std::abs(a - b) <= ulps))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "want " << want << " (" << std::hexfloat << want << "), got " << got << " ("
                                         << got << ")";
}

TEST(ExactMath, PowfSpecialArguments) {
    struct Case {
        float x, y, want;
        int ulps;
    };
    const Case cases[] = {
        {2, 3, 8, 0},
        {-2, 3, -8, 0},
        {-2, 2, 4, 0},
        {-2, 0.5f, nan_, 0},
        {-8, -3, -0.001953125f, 0},
        {0, -1, inf, 0},
        {-0.0f, -1, -inf, 0},
        {-0.0f, 3, -0.0f, 0},
        {-0.0f, 2, 0, 0},
        {0, 2.5f, 0, 0},
        {1, nan_, 1, 0},
        {nan_, 0, 1, 0},
        {nan_, 1, nan_, 0},
        {2, nan_, nan_, 0},
        {-1, inf, 1, 0},
        {-1, -inf, 1, 0},
        {0.5f, inf, 0, 0},
        {2, inf, inf, 0},
        {2, -inf, 0, 0},
        {0.5f, -inf, inf, 0},
        {inf, -2, 0, 0},
        {inf, 0.5f, inf, 0},
        {-inf, 3, -inf, 0},
        {-inf, 2, inf, 0},
        {-inf, -3, -0.0f, 0},
        {2, 128, inf, 0},
        {-2, 129, -inf, 0},
        {2, -150, 0, 0},
        {-2, -151, -0.0f, 0},
        {-2, 127, -0x1p127f, 0},
        {2, -149, 0x1p-149f, 0},
        {4, 0.5f, 2, 0},
        {16, 0.25f, 2, 0},
        {0.25f, -0.5f, 2, 0},
        {0x1p-140f, 0.5f, 0x1p-70f, 0},
        {0x1p-149f, -0.25f, 0x1.306fe0p37f, 1},
        {-0x1p-140f, 3, -0.0f, 0},
        {-0x1p-148f, -1, -inf, 0},
        {-0x1p-130f, -0.5f, nan_, 0},
        {-0x1p-127f, -1, -0x1p127f, 0},
        {0.5f, 1.35f, 0x1.91b502p-2f, 1},
        {0.9f, 11.0f, 0x1.41578ap-2f, 1},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(same(c.want, exact::powf(c.x, c.y), c.ulps)) << "powf(" << c.x << ", " << c.y << ")";
}

TEST(ExactMath, ExpfAndLogfSpecialArguments) {
    struct Case {
        float x, want;
        int ulps;
    };
    const Case exps[] = {{0, 1, 0},
                         {-0.0f, 1, 0},
                         {-inf, 0, 0},
                         {inf, inf, 0},
                         {nan_, nan_, 0},
                         {89, inf, 0},
                         {88.7f, 3.3259768e38f, 1},
                         {-104, 0, 0},
                         {-100, 0x1.bp-145f, 1},
                         {-87.5f, 0x1.b2caf0p-127f, 1},
                         {1, 0x1.5bf0a8p+1f, 1},
                         {-1, 0x1.78b564p-2f, 1}};
    for (const Case& c : exps) EXPECT_TRUE(same(c.want, exact::expf(c.x), c.ulps)) << "expf(" << c.x << ")";
    const Case logs[] = {{1, 0, 0},
                         {0, -inf, 0},
                         {-0.0f, -inf, 0},
                         {-1, nan_, 0},
                         {-inf, nan_, 0},
                         {inf, inf, 0},
                         {nan_, nan_, 0},
                         {0x1p-149f, -0x1.9d1da0p+6f, 1},
                         {0x1p-130f, -0x1.686fc0p+6f, 1},
                         {2, 0x1.62e430p-1f, 1},
                         {0.5f, -0x1.62e430p-1f, 1},
                         {10, 0x1.26bb1cp+1f, 1}};
    for (const Case& c : logs) EXPECT_TRUE(same(c.want, exact::logf(c.x), c.ulps)) << "logf(" << c.x << ")";
}

// Arguments like the model's (saturations, exponents, excesses) and any bits.
struct Sample {
    std::vector<float> x, y;
    explicit Sample(std::size_t n) {
        uint64_t s = 0x243f6a8885a308d3ULL;
        for (std::size_t i = 0; i < n; ++i) {
            s = s * 6364136223846793005ULL + 1442695040888963407ULL;
            const uint32_t a = static_cast<uint32_t>(s >> 32), b = static_cast<uint32_t>(s);
            if (i % 3 == 0) {
                x.push_back(exact::from_bits(a)), y.push_back(exact::from_bits(b));
            } else {
                x.push_back(static_cast<float>(a >> 8) * 0x1p-23f - (i % 3 == 2 ? 1.0f : 0.0f));
                y.push_back(i % 7 == 0 ? static_cast<float>(static_cast<int>(b % 41) - 20)
                                       : static_cast<float>(b >> 8) * 0x1p-19f - 8.0f);
            }
        }
        // The edges of the fast paths: |x| near 88 for expf, y log2 x near +-126 and +-150.
        for (float e : {87.9f, 88.0f, 88.72f, 88.73f, -88.0f, -103.0f, -103.98f}) x.push_back(e), y.push_back(e);
        for (float t : {125.9f, 126.0f, 127.99f, 128.01f, -125.9f, -126.0f, -149.5f, -150.0f, -150.5f})
            x.push_back(2.0f), y.push_back(t), x.push_back(0.5f), y.push_back(-t), x.push_back(-2.0f),
                y.push_back(std::round(t));
    }
};

std::size_t differing(const std::vector<float>& want, const std::vector<float>& got) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < want.size(); ++i) n += exact::bits(want[i]) != exact::bits(got[i]);
    return n;
}

TEST(ExactMath, EveryKernelsLanesGiveTheScalarBits) {
    const Sample s(1 << 16);
    const std::size_t n = s.x.size();
    for (LaneFunctionKind f : {LaneFunctionKind::pow, LaneFunctionKind::log, LaneFunctionKind::exp}) {
        std::vector<float> scalar(n), lanes(n);
        for (std::size_t i = 0; i < n; ++i)
            scalar[i] = f == LaneFunctionKind::pow   ? exact::powf(s.x[i], s.y[i])
                        : f == LaneFunctionKind::log ? exact::logf(s.x[i])
                                                     : exact::expf(s.x[i]);
        for (const std::string& k : cell_kernel_names()) {
            ASSERT_TRUE(lane_math(k, f, s.x.data(), s.y.data(), lanes.data(), n));
            EXPECT_EQ(differing(scalar, lanes), 0u) << k << " function " << static_cast<int>(f);
        }
    }
}

#if defined(__GLIBC__) && defined(__x86_64__)
// The GNU C library's FMA variant (2.28 and later) computes exactly these steps.
bool library_is_the_reference() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("fma") && __builtin_cpu_supports("avx2") &&
           (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 28));
}

TEST(ExactMath, ScalarFunctionsGiveTheCLibrarysBits) {
    if (!library_is_the_reference()) GTEST_SKIP() << "no FMA: the C library takes another variant";
    const Sample s(1 << 17);
    std::vector<float> lib(s.x.size()), own(s.x.size());
    for (std::size_t i = 0; i < s.x.size(); ++i)
        lib[i] = std::pow(s.x[i], s.y[i]), own[i] = exact::powf(s.x[i], s.y[i]);
    EXPECT_EQ(differing(lib, own), 0u) << "powf";
    for (std::size_t i = 0; i < s.x.size(); ++i) lib[i] = std::log(s.x[i]), own[i] = exact::logf(s.x[i]);
    EXPECT_EQ(differing(lib, own), 0u) << "logf";
    for (std::size_t i = 0; i < s.x.size(); ++i) lib[i] = std::exp(s.y[i]), own[i] = exact::expf(s.y[i]);
    EXPECT_EQ(differing(lib, own), 0u) << "expf";
    // The sine of the canopy season is the library's too.
    for (int d = 1; d <= 366; ++d)
        EXPECT_EQ(exact::bits(kSeasonSine[d - 1]),
                  exact::bits(std::sin((static_cast<float>(d - 87) * 6.28318f) / 365.0f)))
            << "day " << d;
}
#endif

}  // namespace
