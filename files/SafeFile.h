#pragma once
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace pm {

// Files the program reads and writes, kept safe from the operator's slips:
// only regular files are read, nothing is written over a file being read, and
// a file is replaced only by a complete copy of its new contents.

// Why a file operation failed (an errno), in the operator's words.
std::string FileErrorText(int err);

// A text as it may be shown in a message or on a terminal: control
// characters (an escape sequence, a bell, a carriage return; in UTF-8 the C1
// controls too) are written as \xNN, so a file name cannot act on the
// terminal. Line feeds and tabs stay when keepLines, else they are escaped
// as well.
std::string ShownText(std::string_view text, bool keepLines = true);
// A path for a message, between double quotes, every control escaped.
std::string QuotedPath(std::string_view path);

// The standard stream a path names: 1 for standard output, 2 for standard
// error, 0 for anything else. "-" is standard output; "/dev/stdout",
// "/dev/stderr", "/dev/fd/N", "/proc/self/fd/N" and "/proc/PID/fd/N" of
// this process name descriptor N; any other path of the very file a stream
// goes to names that stream.
int StandardStreamOf(const std::string& path);
// Opens a file to write a record: a standard stream, by any name, is
// written as the stream (appending where it stands, never emptied nor
// replaced); anything else is opened with fopen(mode). nullptr with the
// errno in err on failure.
std::FILE* OpenRecordFile(const std::string& path, const char* mode, int& err);

// Temporary files that a stop signal removes: ReplacingFile notes its
// temporary file here while it exists. Safe to call from a signal handler.
void RemoveTemporaryFiles();

// Opens path for reading when it is a regular file. A FIFO, a device or a
// folder is refused before anything is read from it, and the open never
// waits for a writer. Returns the descriptor, or -1 with the reason in
// reason.
int OpenRegularFile(const std::string& path, std::string& reason);

// Reads a whole regular file into text. False with the reason on failure;
// opened then tells whether the file was opened (the read failed) or not.
bool ReadRegularFile(const std::string& path, std::string& text, std::string& reason,
                     bool& opened);

// Which file a path names, whatever other path or link names it too: the
// device and inode of an existing file, or, for a file still to be made, its
// folder's and its own name.
struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    std::string name;  // only for a file that does not exist yet
    bool known = false;
    bool operator==(const FileIdentity& o) const {
        return known && o.known && dev == o.dev && ino == o.ino && name == o.name;
    }
};
FileIdentity IdentifyFile(const std::string& path);

// The first two paths of writes that name the same file, or a file of
// reads; empty when each written file is distinct from every other.
// Gives the message for the operator.
std::string SameFileConflict(const std::vector<std::string>& reads,
                             const std::vector<std::string>& writes);

// A file written beside its final name and put in its place only when it is
// complete and on the disk: until commit(), the old file at that name stays
// as it was. A path that names something other than a regular file (a
// device such as /dev/null, a FIFO) is written directly.
class ReplacingFile {
public:
    ReplacingFile() = default;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
    ~ReplacingFile() { discard(); }

    // Creates the temporary file. False with the reason in error.
    bool open(const std::string& path, std::string& error);
    std::FILE* stream() { return file_; }
    bool isOpen() const { return file_ != nullptr; }
    // The first write that failed, remembered by the writer (errno).
    void noteWriteError(int err) {
        if (writeError_ == 0) writeError_ = err != 0 ? err : EIO;
    }
    int writeError() const { return writeError_; }
    // Why open() or commit() failed, without the file's name.
    std::string reason() const;
    // Flushes, syncs and renames over the final name. False with the reason
    // in error; the old file is then untouched and the temporary one gone.
    bool commit(std::string& error);
    // Drops the temporary file, leaving the old one as it was.
    void discard();

private:
    std::string failure() const;

    std::FILE* file_ = nullptr;
    std::string path_;     // the name asked for
    std::string target_;   // the file that name leads to (a link resolved)
    std::string temp_;     // empty when writing directly
    int tempSlot_ = -1;    // where RemoveTemporaryFiles() finds temp_
    bool replacing_ = false;  // an old file is kept until the rename
    int writeError_ = 0;
};

// Writes text to path through a ReplacingFile. False with the reason (see
// ReplacingFile::reason()).
bool ReplaceFileContents(const std::string& path, const std::string& text, std::string& error);

}  // namespace pm
