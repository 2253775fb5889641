#include "result_set.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "input_error.hpp"

namespace hydro {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

std::string temporary_name_for(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
}

}  // namespace

ResultFile::ResultFile(std::string final_path, std::string temporary_path, int fd)
    : final_path_(std::move(final_path)), temporary_path_(std::move(temporary_path)), fd_(fd) {
    buffer_.reserve(kBufferSize);
}

ResultFile::~ResultFile() {
    if (fd_ >= 0) ::close(fd_);
}

void ResultFile::drain() {
    const char* p = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw OutputError("cannot write " + final_path_ + " completely: " + std::strerror(errno));
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

void ResultFile::write(std::string_view text) {
    if (fd_ < 0) throw OutputError("cannot write " + final_path_ + ": the file is already complete");
    if (buffer_.size() + text.size() > kBufferSize) {
        drain();
        if (text.size() >= kBufferSize) {
            buffer_.assign(text.data(), text.size());
            drain();
            return;
        }
    }
    buffer_.append(text.data(), text.size());
}

void ResultFile::finish() {
    if (fd_ < 0) return;
    drain();
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        throw OutputError("cannot write " + final_path_ + " completely: " + std::strerror(errno));
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw OutputError("cannot write " + final_path_ + " completely: " + std::strerror(errno));
}

ResultSet::~ResultSet() {
    if (committed_) return;
    for (auto& f : files_) ::unlink(f->temporary_path().c_str());
}

ResultFile& ResultSet::create(const std::string& path) {
    const std::string temporary = temporary_name_for(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) throw OutputError("cannot create " + path + ": " + std::strerror(errno));
    files_.push_back(std::make_unique<ResultFile>(path, temporary, fd));
    return *files_.back();
}

void ResultSet::commit() {
    for (auto& f : files_) f->finish();
    // rename() replaces a symbolic link at the result path; it never writes through it.
    for (auto& f : files_)
        if (std::rename(f->temporary_path().c_str(), f->path().c_str()) != 0)
            throw OutputError("cannot replace " + f->path() + ": " + std::strerror(errno));
    committed_ = true;
}

}  // namespace hydro
