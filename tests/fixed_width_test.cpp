// Fixed-width number fields of the result files: right alignment, rounding of
// the single-precision value, and asterisks for numbers too wide for the field.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "fixed_width.hpp"

namespace {

using namespace hydro;

struct FixedCase {
    float value;
    int width;
    int decimals;
    const char* expected;
};

TEST(FixedWidth, RealFields) {
    const std::vector<FixedCase> cases = {
        // F9.3: the subbasin series
        {1.5f, 9, 3, "    1.500"},
        {0.25f, 9, 3, "    0.250"},
        {-3.25f, 9, 3, "   -3.250"},
        {0.0f, 9, 3, "    0.000"},
        {7.0f, 9, 3, "    7.000"},
        {16.37125f, 9, 3, "   16.371"},
        {99999.99f, 9, 3, "99999.992"},  // the single-precision value shows
        {-9999.999f, 9, 3, "-9999.999"},
        {123456.7f, 9, 3, "*********"},
        {-99999.5f, 9, 3, "*********"},
        // F10.2: the grid maps
        {3.14159f, 10, 2, "      3.14"},
        {0.004f, 10, 2, "      0.00"},
        {12.345f, 10, 2, "     12.35"},  // stored as 12.3450003
        {2.675f, 10, 2, "      2.67"},   // stored as 2.6749999
        {-1.0f, 10, 2, "     -1.00"},
        {9999999.0f, 10, 2, "9999999.00"},
        {9999999.995f, 10, 2, "**********"},
        {-999999.9f, 10, 2, "-999999.88"},
        {-999999.995f, 10, 2, "**********"},
        // F10.3: the discharge series
        {123456.789f, 10, 3, "123456.789"},
        {1234567.0f, 10, 3, "**********"},
        {-12.5f, 10, 3, "   -12.500"},
        // halves of the last decimal go to the even digit; the sign of zero shows
        {0.125f, 10, 2, "      0.12"},
        {0.375f, 10, 2, "      0.38"},
        {-0.0f, 10, 2, "     -0.00"},
        {-0.004f, 10, 2, "     -0.00"},
        {1e-30f, 9, 3, "    0.000"},
        {3.0e38f, 10, 2, "**********"},
        {std::numeric_limits<float>::infinity(), 10, 2, "       inf"},
        {-std::numeric_limits<float>::quiet_NaN(), 10, 3, "      -nan"},
    };
    for (const FixedCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " F" + std::to_string(c.width) + "." + std::to_string(c.decimals));
        EXPECT_EQ(format_fixed(c.value, c.width, c.decimals), c.expected);
        // The overflow warnings rely on this agreeing with the asterisks.
        EXPECT_EQ(fixed_fits(c.value, c.width, c.decimals), std::string(c.expected).find('*') == std::string::npos);
    }
}

struct IntCase {
    int64_t value;
    int width;
    const char* expected;
};

TEST(FixedWidth, IntegerFields) {
    const std::vector<IntCase> cases = {
        {1, 8, "       1"},
        {12345678, 8, "12345678"},
        {123456789, 8, "********"},
        {-1234567, 8, "-1234567"},
        {-12345678, 8, "********"},
        {0, 8, "       0"},
        {2005, 4, "2005"},
        {10000, 4, "****"},
        {-999, 4, "-999"},
        {5, 2, " 5"},
        {12, 2, "12"},
        {100, 2, "**"},
        {1, 9, "        1"},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " I" + std::to_string(c.width));
        EXPECT_EQ(format_int(c.value, c.width), c.expected);
    }
}

}  // namespace
