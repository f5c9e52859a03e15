#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pm {

// The plot file, read one character at a time through a large buffer (one
// system call per 64 KiB, not per character).
class PlotFile {
public:
    static constexpr std::size_t kBufferSize = 64 * 1024;

    PlotFile() = default;
    PlotFile(const PlotFile&) = delete;
    PlotFile& operator=(const PlotFile&) = delete;
    ~PlotFile() { close(); }

    // Opens path for reading; false with the reason in reason() when it
    // cannot be opened or is not a plain file.
    bool open(const std::string& path);
    void close();

    // True at the end of the file, and also when a read failed (failed()
    // then tells it apart).
    bool atEnd() {
        return pos_ == len_ && !refill();
    }
    // The next character; only after atEnd() said false.
    char get() {
        ++bytesRead_;
        return buffer_[pos_++];
    }

    bool failed() const { return errno_ != 0; }
    // Why the file could not be opened or read, in words for the operator.
    std::string reason() const;
    std::uint64_t bytesRead() const { return bytesRead_; }
    std::uint64_t size() const { return size_; }

private:
    bool refill();

    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    std::uint64_t bytesRead_ = 0;
    std::uint64_t size_ = 0;
    int errno_ = 0;
};

// The operator's message when the plot file at path cannot be opened, or
// failed while it was being read.
std::string OpenFailedMessage(const std::string& path, const PlotFile& file);
std::string ReadFailedMessage(const std::string& path, const PlotFile& file);

}  // namespace pm
