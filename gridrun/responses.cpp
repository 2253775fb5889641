#include "responses.hpp"

#include "free_format.hpp"

namespace hydro {

ResponseTable ResponseTable::read(const std::string& path, int32_t n_lines, int32_t uh_length) {
    FreeFormatReader in(path);
    ResponseTable t;
    const std::size_t n = static_cast<std::size_t>(n_lines);
    t.first_.resize(n);
    t.last_.resize(n);
    t.offset_.resize(n);
    for (std::size_t c = 0; c < n; ++c) {
        in.begin_read();
        const std::string line = " of response " + std::to_string(c + 1);
        int32_t f = in.integer("the first lag" + line);
        if (f < 0) in.fail("a first lag of 0 or more" + line, std::to_string(f));
        int32_t l = in.integer("the last lag" + line);
        if (l > uh_length)
            in.fail("a last lag of at most " + std::to_string(uh_length) + " (the largest last lag of uh_cell_h.txt)" +
                        line,
                    std::to_string(l));
        t.first_[c] = f;
        t.last_[c] = l;
        t.offset_[c] = t.ordinates_.size();
        for (int32_t k = f; k <= l; ++k) {
            std::string_view tok;
            if (!in.try_token(tok)) in.fail_at_end("the ordinate of lag " + std::to_string(k) + line);
            float v;
            if (!parse_float(tok, v))
                in.fail("a real number for the ordinate of lag " + std::to_string(k) + line, quote_token(tok));
            t.ordinates_.push_back(v);
        }
        in.check_record_end(2 + (l >= f ? int64_t{l} - f + 1 : 0), "response " + std::to_string(c + 1), "response");
    }
    return t;
}

}  // namespace hydro
