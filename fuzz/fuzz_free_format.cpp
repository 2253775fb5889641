// Fuzz target: the free-format reader. The first byte of the input chooses
// which kinds of value each read asks for (whole numbers, reals, texts, grid
// geometry numbers); the rest is the text. Besides not crashing, every token
// must obey the number rules: a whole number also reads as the same real,
// a real is always finite, a text value has exactly the width asked for.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "free_format.hpp"
#include "fuzz_support.hpp"
#include "input_error.hpp"

using fuzz_support::fail;

namespace {

void read_as_planned(uint8_t plan, const std::string& text) {
    hydro::FreeFormatReader in("fuzz text", text);
    try {
        for (int read = 0; read < 200; ++read) {
            in.begin_read();
            const int kind = (plan >> ((read % 4) * 2)) & 3;
            const int count = 1 + read % 3;
            for (int i = 0; i < count; ++i) {
                switch (kind) {
                    case 0:
                        in.integer("a whole number");
                        break;
                    case 1:
                        if (!std::isfinite(in.real("a real number"))) fail("real", "not finite");
                        break;
                    case 2: {
                        const std::size_t width = 1 + static_cast<std::size_t>(read % 20);
                        if (in.text("a text", width).size() != width) fail("text", "wrong width");
                        break;
                    }
                    default:
                        in.whole_number("a grid size");
                        break;
                }
            }
            if (in.line() < 1) fail("line", "a token on line " + std::to_string(in.line()));
        }
    } catch (const hydro::InputError& e) {
        fuzz_support::check_message(e, "fuzz text");
    }
}

void check_every_token(const std::string& text) {
    hydro::FreeFormatReader in("fuzz text", text);
    std::string_view tok;
    int last_line = 0;
    while (in.try_token(tok)) {
        if (tok.empty()) fail("token", "empty");
        for (char c : tok)
            if (c == ' ' || c == '\t' || c == ',' || c == '\n' || c == '\r') fail("token", "holds a separator");
        if (in.line() < last_line) fail("line", "went back");
        last_line = in.line();

        int32_t i = 0;
        float f = 0;
        const bool is_int = hydro::parse_int32(tok, i);
        const bool is_real = hydro::parse_float(tok, f);
        if (is_real && !std::isfinite(f))
            fail("parse_float", "accepted a value that is not finite: " + std::string(tok));
        if (is_int && !is_real) fail("parse_float", "refused a whole number: " + std::string(tok));
        if (is_int && f != static_cast<float>(i))
            fail("parse_float", "reads a whole number differently: " + std::string(tok));

        const std::string q = hydro::quote_token(tok);
        for (char ch : q) {
            const unsigned char c = static_cast<unsigned char>(ch);
            if (c < 0x20 || c == 0x7F) fail("quote_token", "control character");
        }
        if (q.size() > 4 * 40 + 8) fail("quote_token", "too long");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    read_as_planned(data[0], text);
    check_every_token(text);
    return 0;
}
