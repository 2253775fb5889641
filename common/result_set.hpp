// A run's result files, replaced as one set. Each file is written to a
// temporary file in its own folder; only when every file of the set is
// complete are they renamed over the earlier results. A run that fails or is
// stopped before that leaves the earlier results as they were.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hydro {

// One result file being written: text appended in pieces, as records become
// complete. Failures throw OutputError.
class ResultFile {
public:
    ResultFile(std::string final_path, std::string temporary_path, int fd);
    ~ResultFile();
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;

    void write(std::string_view text);
    const std::string& path() const { return final_path_; }
    const std::string& temporary_path() const { return temporary_path_; }

    // Writes what is buffered, flushes it to disk and closes the file.
    void finish();
    bool finished() const { return fd_ < 0; }

private:
    void drain();
    std::string final_path_, temporary_path_;
    int fd_ = -1;
    std::string buffer_;
};

class ResultSet {
public:
    ResultSet() = default;
    ~ResultSet();  // removes the temporary files of a set never committed
    ResultSet(const ResultSet&) = delete;
    ResultSet& operator=(const ResultSet&) = delete;

    // Starts the file that will replace `path`. The reference lives as long as the set.
    ResultFile& create(const std::string& path);
    // A whole file at once.
    void write_file(const std::string& path, std::string_view contents) { create(path).write(contents); }

    // Completes every file and renames them over the earlier results.
    void commit();
    bool committed() const { return committed_; }

private:
    std::vector<std::unique_ptr<ResultFile>> files_;
    bool committed_ = false;
};

}  // namespace hydro
