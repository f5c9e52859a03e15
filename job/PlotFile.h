#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace pm {

// The plot file, read one character at a time through a large buffer (one
// system call per 64 KiB, not per character). Only a regular file is read.
// A file that changes while it is read (its size or its modification time,
// looked at before each block) stops the reading as a failed read does;
// moving or deleting it does not disturb it.
class PlotFile {
public:
    static constexpr std::size_t kBufferSize = 64 * 1024;

    PlotFile() = default;
    PlotFile(const PlotFile&) = delete;
    PlotFile& operator=(const PlotFile&) = delete;
    ~PlotFile() { close(); }

    // Opens path for reading; false with the reason in reason() when it
    // cannot be opened or is not a regular file.
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

    // Reasons of this reader's own, beside the system's errno values.
    static constexpr int kNotRegular = -1;
    static constexpr int kChanged = -2;

    int fd_ = -1;
    std::string openReason_;  // why a path that exists is not a file
    long long mtimeSec_ = 0;
    long long mtimeNsec_ = 0;
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
