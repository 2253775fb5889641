// Record-by-record reader for the free-format text inputs of both programs
// (control file, raster grids, station series, response files, keyboard).
//
// Values are separated by blanks, tabs, commas or line ends. Every read starts
// at the beginning of the next line, takes as many values as it needs
// (continuing over line ends, passing over lines with no value) and skips
// whatever is left on the line that held its last value. CRLF line ends and a
// UTF-8 byte order mark at the start of the file read like a clean file.
//
// A file is read as it is parsed, through a buffer of fixed size, so that a
// long series takes no more memory than its values. A token handed out stays
// valid until the next call that reads on (a token, a typed value, begin_read,
// more_on_line, check_record_end).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hydro {

// The whole of a plain file: a folder, FIFO, device or socket is refused
// (InputError) before anything is read.
std::string read_plain_file(const std::string& path);

class FreeFormatReader {
  public:
    static constexpr std::size_t kBufferBytes = std::size_t{1} << 18;

    // Opens a plain file; throws InputError when it cannot be read. The buffer
    // grows only for a single token longer than `buffer_bytes`.
    explicit FreeFormatReader(const std::string& path, std::size_t buffer_bytes = kBufferBytes);
    // Reads text that is already in memory (keyboard answers, tests).
    FreeFormatReader(std::string name, std::string contents);
    ~FreeFormatReader();
    FreeFormatReader(const FreeFormatReader&) = delete;
    FreeFormatReader& operator=(const FreeFormatReader&) = delete;

    const std::string& path() const { return path_; }
    // Size of the file in bytes: an upper bound for the number of values it can hold.
    std::size_t size() const { return size_; }

    // Starts a new read: the rest of the line that held the previous read's
    // last value is skipped.
    void begin_read();

    // The next token of the current read; throws at the end of the file.
    // `what` says what the value was to be (for the message).
    std::string_view token(std::string_view what);
    // The next token, or false at the end of the file (counting loops).
    bool try_token(std::string_view& tok);

    // Typed values of the current read.
    int32_t integer(std::string_view what);
    float real(std::string_view what);
    // A text value: one whole token, cut or blank-padded to `width` characters.
    std::string text(std::string_view what, std::size_t width = 13);
    // A whole number that may carry a decimal point with a zero fraction
    // ("90.000000"), as GIS exports write grid geometry.
    int32_t whole_number(std::string_view what);

    // Line number (from 1) of the most recent token, for messages.
    int line() const { return token_line_; }
    // Line of the first token of the current read.
    int read_first_line() const { return read_first_line_; }
    // Whether the line of the most recent token holds more values after it
    // (which the next read would skip).
    bool more_on_line();

    // A record read over several lines must end with the last value of a
    // line (a row wrapped on purpose). One that stops in the middle of a
    // later line took values that belong to the next record: it is refused,
    // naming its own first line. `values` is how many values the record
    // holds, `record` what it is ("row 7"), `records` what would shift.
    void check_record_end(int64_t values, std::string_view record, std::string_view records);

    // Throws InputError naming this file and the line of the last token.
    [[noreturn]] void fail(std::string_view expected, std::string_view found) const;
    [[noreturn]] void fail_at_end(std::string_view expected) const;

  private:
    // Reads more of the file after the buffer's end, first dropping the bytes
    // before `keep` (which moves to 0); false at the end of the file.
    bool refill(std::size_t& keep);

    std::string path_;
    std::string buf_;  // bytes [0, end_) are the part of the file in memory
    std::size_t end_ = 0;
    std::size_t pos_ = 0;      // next byte to look at, in buf_
    int fd_ = -1;              // open until the end of the file is reached
    bool at_file_end_ = true;  // nothing more to read after end_
    std::size_t size_ = 0;
    std::size_t bytes_read_ = 0;  // from the file, after a byte order mark
    char last_byte_ = '\0';       // the last byte read from the file
    int line_ = 1;                // line of pos_
    int token_line_ = 0;          // line of the last token handed out
    bool mid_line_ = false;       // the current line has given a token to the current read
    bool read_started_ = false;   // the current read has taken a token
    int read_first_line_ = 0;
    int64_t read_first_line_values_ = 0;  // values the current read took from its first line
};

// Parsers shared by the reader and the command line. They accept exactly the
// forms a user may write and nothing else (no "nan", no "inf", no hex).
bool parse_int32(std::string_view text, int32_t& value);
bool parse_float(std::string_view text, float& value);

// Shows a token in an error message: quoted, and shortened when very long.
std::string quote_token(std::string_view tok);

}  // namespace hydro
