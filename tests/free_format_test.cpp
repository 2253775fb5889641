// The free-format reader behind every text input: number forms, the
// one-read-one-line rule, text widths, and what an error message tells the user.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "free_format.hpp"
#include "input_error.hpp"

namespace {

using namespace hydro;

struct RealCase {
    const char* text;
    bool ok;
    float value;
};

TEST(ParseFloat, ReadsAsLongANumberAsParseInt32Does) {
    const std::string zeros(300, '0');
    float v = 0;
    ASSERT_TRUE(parse_float(zeros + "2.5", v));
    EXPECT_EQ(v, 2.5f);
    ASSERT_TRUE(parse_float("0." + zeros + "1e301", v));
    EXPECT_EQ(v, 1.0f);
    int32_t n = 0;
    ASSERT_TRUE(parse_int32(zeros + "7", n));
    EXPECT_EQ(n, 7);
    EXPECT_FALSE(parse_float(zeros + "x", v));
}

TEST(ParseFloat, AcceptsDecimalAndExponentFormsOnly) {
    const std::vector<RealCase> cases = {
        {"3", true, 3.0f},
        {"-7", true, -7.0f},
        {"+2.5", true, 2.5f},
        {".5", true, 0.5f},
        {"5.", true, 5.0f},
        {"-5E-01", true, -0.5f},
        {"1.03e-2", true, 1.03e-2f},
        {"1.5D3", true, 1500.0f},
        {"2d-1", true, 0.2f},
        {"1.0319e3", true, 1031.9f},
        {"2.99e+01", true, 29.9f},
        {"-1e0", true, -1.0f},
        {"1e-60", true, 0.0f},  // underflow is harmless
        {"", false, 0},
        {".", false, 0},
        {"+", false, 0},
        {"-", false, 0},
        {"e5", false, 0},
        {"1.5e", false, 0},
        {"1.5e+", false, 0},
        {"1.2.3", false, 0},
        {"--1", false, 0},
        {"+-1", false, 0},
        {"1e400", false, 0},
        {"nan", false, 0},
        {"NaN", false, 0},
        {"inf", false, 0},
        {"-Infinity", false, 0},
        {"0x1p3", false, 0},
        {"12abc", false, 0},
        {"1.5q3", false, 0},
    };
    for (const RealCase& c : cases) {
        SCOPED_TRACE(c.text);
        float v = -999.0f;
        ASSERT_EQ(parse_float(c.text, v), c.ok);
        if (c.ok) {
            EXPECT_FLOAT_EQ(v, c.value);
        }
    }
}

struct IntCase {
    const char* text;
    bool ok;
    int32_t value;
};

TEST(ParseInt32, AcceptsWholeNumbersOnly) {
    const std::vector<IntCase> cases = {
        {"0", true, 0},
        {"42", true, 42},
        {"-9999", true, -9999},
        {"+12", true, 12},
        {"007", true, 7},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"3.0", false, 0},
        {"1e3", false, 0},
        {"2147483648", false, 0},
        {"", false, 0},
        {"+", false, 0},
        {"-", false, 0},
        {"+-3", false, 0},
        {"0x10", false, 0},
        {"3a", false, 0},
        {"1D2", false, 0},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t v = -1;
        ASSERT_EQ(parse_int32(c.text, v), c.ok);
        if (c.ok) {
            EXPECT_EQ(v, c.value);
        }
    }
}

// Reads the integers of `counts.size()` reads from `text`: read i takes counts[i] values.
std::vector<int32_t> read_integers(const std::string& text, const std::vector<int>& counts) {
    FreeFormatReader in("mem.txt", text);
    std::vector<int32_t> out;
    for (int n : counts) {
        in.begin_read();
        for (int i = 0; i < n; ++i) out.push_back(in.integer("a value"));
    }
    return out;
}

struct ReadCase {
    const char* name;
    std::string text;
    std::vector<int> counts;
    std::vector<int32_t> expected;
};

TEST(FreeFormatReader, EachReadStartsOnANewLineAndSkipsTheRestOfItsLastLine) {
    const std::vector<ReadCase> cases = {
        {"rest of line skipped", "1 2 3\n4 5\n6\n", {1, 1, 1}, {1, 4, 6}},
        {"read continues over line ends", "1\n2 3\n4 9 9\n5\n", {4, 1}, {1, 2, 3, 4, 5}},
        {"blank lines passed over", "\n\n1\n   \n\t\n2\n\n3\n", {1, 1, 1}, {1, 2, 3}},
        {"blank lines inside a read", "1\n\n \n2\n", {2}, {1, 2}},
        {"commas and tabs separate", "1,2\t3 , 4,\t5\n", {5}, {1, 2, 3, 4, 5}},
        {"line of separators only", "1\n, ,\t,\n2\n", {1, 1}, {1, 2}},
        {"no final line end", "1 2\n3", {1, 1}, {1, 3}},
        {"CRLF line ends", "1 2\r\n\r\n3\r\n4\r\n", {1, 1, 1}, {1, 3, 4}},
        {"byte order mark",
         "\xEF\xBB\xBF"
         "7 8\n9\n",
         {1, 1},
         {7, 9}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read_integers(c.text, c.counts), c.expected);
    }
}

TEST(FreeFormatReader, RealReadContinuesOntoTheNextLine) {
    FreeFormatReader in("mem.txt", "1.5\n\n2.5e1 junk 9\n3\n");
    in.begin_read();
    EXPECT_FLOAT_EQ(in.real("first"), 1.5f);
    EXPECT_FLOAT_EQ(in.real("second"), 25.0f);
    in.begin_read();
    EXPECT_EQ(in.integer("third"), 3);
    in.begin_read();
    std::string_view tok;
    EXPECT_FALSE(in.try_token(tok));
}

TEST(FreeFormatReader, CrlfAndByteOrderMarkReadLikeACleanFile) {
    const std::string clean = "title here\n\n 24.0\nNCOLS\t8\nlast\n";
    const std::string dirty =
        "\xEF\xBB\xBF"
        "title here\r\n\r\n 24.0\r\nNCOLS\t8\r\nlast\r\n";
    auto trace = [](const std::string& text) {
        FreeFormatReader in("mem.txt", text);
        std::string seen;
        for (int r = 0; r < 4; ++r) {
            in.begin_read();
            const std::string t = in.text("t", 13);
            seen += t + "|" + std::to_string(in.line()) + "|";
        }
        return seen;
    };
    EXPECT_EQ(trace(dirty), trace(clean));
    EXPECT_EQ(trace(clean), "title        |1|24.0         |3|NCOLS        |4|last         |5|");
}

TEST(FreeFormatReader, TextIsCutOrPaddedToItsWidth) {
    FreeFormatReader in("mem.txt", "xllcorner 537220.793456789 more\nab\nexactly13char\n");
    in.begin_read();
    EXPECT_EQ(in.text("keyword"), "xllcorner    ");
    EXPECT_EQ(in.text("value"), "537220.793456");
    in.begin_read();
    EXPECT_EQ(in.text("short", 15), "ab             ");
    in.begin_read();
    EXPECT_EQ(in.text("exact"), "exactly13char");
}

TEST(FreeFormatReader, WholeNumberTakesAZeroFractionButNothingElse) {
    const std::vector<IntCase> cases = {
        {"90", true, 90},   {"90.000000000000", true, 90}, {"1000.", true, 1000}, {"-5.00", true, -5},
        {"92.6", false, 0}, {"90.0001", false, 0},         {"1e3", false, 0},     {".0", false, 0},
        {"+.0", false, 0},  {"90.0x", false, 0},           {"abc", false, 0},     {"3000000000.0", false, 0},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.text);
        FreeFormatReader in("mem.txt", std::string("cellsize ") + c.text + "\n");
        in.begin_read();
        in.token("keyword");
        if (c.ok) {
            EXPECT_EQ(in.whole_number("the cell size"), c.value);
        } else {
            EXPECT_THROW(in.whole_number("the cell size"), InputError);
        }
    }
}

struct ErrorCase {
    const char* name;
    std::string text;
    int reads;  // reads of one integer each before the failing one
    bool real;  // the failing read asks for a real
    int line;   // line the message names
    const char* found;
};

TEST(FreeFormatReader, ErrorsNameFileLineExpectationAndFinding) {
    const std::vector<ErrorCase> cases = {
        {"decimal point in an integer", "1\n\n3.0\n", 1, false, 3, "\"3.0\""},
        {"exponent in an integer", "1e3\n", 0, false, 1, "\"1e3\""},
        {"NaN as a real", "5\nnan\n", 1, true, 2, "\"nan\""},
        {"word as a real", "5\r\n\r\nabc 1\r\n", 1, true, 3, "\"abc\""},
        {"end of file after last line end", "1\n2\n", 2, false, 2, "the end of the file"},
        {"end of file without last line end", "1\n2", 2, false, 2, "the end of the file"},
        {"empty file", "", 0, true, 1, "the end of the file"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        FreeFormatReader in("/some/dir/input.txt", c.text);
        for (int i = 0; i < c.reads; ++i) {
            in.begin_read();
            in.integer("a value");
        }
        in.begin_read();
        try {
            if (c.real)
                in.real("the time step in hours");
            else
                in.integer("the time step in hours");
            ADD_FAILURE() << "no error";
        } catch (const InputError& e) {
            const std::string msg = e.what();
            EXPECT_EQ(e.file(), "/some/dir/input.txt");
            EXPECT_EQ(e.line(), c.line);
            EXPECT_NE(msg.find("/some/dir/input.txt"), std::string::npos) << msg;
            EXPECT_NE(msg.find("line " + std::to_string(c.line)), std::string::npos) << msg;
            EXPECT_NE(msg.find("the time step in hours"), std::string::npos) << msg;
            EXPECT_NE(msg.find(c.found), std::string::npos) << msg;
        }
    }
}

}  // namespace
