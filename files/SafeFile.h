#pragma once
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace pm {

// Files the program reads and writes, kept safe from the operator's slips:
// only regular files are read, nothing is written over a file being read, and
// a file is replaced only by a complete copy of its new contents.

// Why a file operation failed (an errno), in the operator's words.
std::string FileErrorText(int err);

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
    bool replacing_ = false;  // an old file is kept until the rename
    int writeError_ = 0;
};

// Writes text to path through a ReplacingFile. False with the reason (see
// ReplacingFile::reason()).
bool ReplaceFileContents(const std::string& path, const std::string& text, std::string& error);

}  // namespace pm
