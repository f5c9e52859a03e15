#include "files/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>

namespace pm {
namespace {

// Why a path that exists cannot be read as a file.
std::string NotRegularText(mode_t mode) {
    if (S_ISDIR(mode)) return "o caminho é uma pasta, não um arquivo";
    if (S_ISFIFO(mode)) return "o caminho é um FIFO (pipe), não um arquivo comum";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "o caminho é um dispositivo, não um arquivo comum";
    if (S_ISSOCK(mode)) return "o caminho é um soquete, não um arquivo comum";
    return "o caminho não é um arquivo comum";
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// The folder part of a path ("." for a bare name) and its last part.
void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

// Whether the file is where standard output or standard error goes.
bool IsStandardStream(const struct stat& file) {
    for (const int fd : {1, 2}) {
        struct stat info{};
        if (::fstat(fd, &info) == 0 && info.st_dev == file.st_dev && info.st_ino == file.st_ino) {
            return true;
        }
    }
    return false;
}

mode_t NewFileMode() {
    // The mask can only be read by setting it; this runs on one thread.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

std::string FileErrorText(int err) {
    switch (err) {
        case ENOENT: return "o arquivo ou a pasta não existe";
        case EACCES:
        case EPERM: return "permissão negada";
        case EISDIR: return "o caminho é uma pasta, não um arquivo";
        case ENOTDIR: return "uma parte do caminho não é uma pasta";
        case ENAMETOOLONG: return "o nome do arquivo é longo demais";
        case EIO: return "erro de entrada e saída no disco";
        case ENOSPC: return "o disco está cheio";
        case EDQUOT: return "a cota de disco acabou";
        case EFBIG: return "o arquivo ficou grande demais";
        case EROFS: return "o disco só permite leitura";
        case EPIPE: return "a saída foi fechada por quem a lia";
        case EBADF: return "a saída não está aberta";
        case EMFILE:
        case ENFILE: return "arquivos abertos demais no sistema";
        case ENOMEM: return "memória insuficiente";
        case ELOOP: return "ligações simbólicas demais no caminho";
        default: return "erro do sistema " + std::to_string(err) + " (" +
                        std::generic_category().message(err) + ")";
    }
}

int OpenRegularFile(const std::string& path, std::string& reason) {
    struct stat info{};
    // Looked at before it is opened: opening a device can itself act on it.
    if (::stat(path.c_str(), &info) != 0) {
        reason = FileErrorText(errno);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = NotRegularText(info.st_mode);
        return -1;
    }
    // Non-blocking, so that a FIFO put in the file's place meanwhile cannot
    // hold the open up waiting for a writer.
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = FileErrorText(errno);
        return -1;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = NotRegularText(info.st_mode);
        ::close(fd);
        return -1;
    }
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
    const int flags = ::fcntl(fd, F_GETFL);
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool ReadRegularFile(const std::string& path, std::string& text, std::string& reason,
                     bool& opened) {
    text.clear();
    const int fd = OpenRegularFile(path, reason);
    opened = fd >= 0;
    if (fd < 0) return false;
    bool ok = true;
    try {
        std::string block(std::size_t{64} * 1024, '\0');
        for (;;) {
            const ssize_t n = ::read(fd, block.data(), block.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                reason = FileErrorText(errno);
                ok = false;
                break;
            }
            if (n == 0) break;
            text.append(block.data(), static_cast<std::size_t>(n));
        }
    } catch (const std::bad_alloc&) {
        reason = FileErrorText(ENOMEM);
        ok = false;
    }
    ::close(fd);
    if (!ok) text.clear();
    return ok;
}

FileIdentity IdentifyFile(const std::string& path) {
    FileIdentity id;
    struct stat info{};
    if (::stat(path.c_str(), &info) == 0) {
        // Devices and FIFOs may be written by several records at once.
        if (!S_ISREG(info.st_mode)) return id;
        id.dev = info.st_dev;
        id.ino = info.st_ino;
        id.known = true;
        return id;
    }
    if (errno != ENOENT) return id;
    std::string folder;
    std::string name;
    SplitPath(path, folder, name);
    if (name.empty() || ::stat(folder.c_str(), &info) != 0) return id;
    id.dev = info.st_dev;
    id.ino = info.st_ino;
    id.name = name;
    id.known = true;
    return id;
}

std::string SameFileConflict(const std::vector<std::string>& reads,
                             const std::vector<std::string>& writes) {
    std::vector<FileIdentity> written;
    for (const std::string& w : writes) {
        const FileIdentity id = IdentifyFile(w);
        for (const std::string& r : reads) {
            if (id == IdentifyFile(r)) {
                return Quoted(w) + " é o próprio arquivo lido " + Quoted(r) +
                       ": escolha outro nome para gravar (nada foi gravado)";
            }
        }
        for (std::size_t i = 0; i < written.size(); ++i) {
            if (id == written[i]) {
                return Quoted(writes[i]) + " e " + Quoted(w) +
                       " são o mesmo arquivo: cada um precisa de um arquivo próprio "
                       "(nada foi gravado)";
            }
        }
        written.push_back(id);
    }
    return {};
}

bool ReplacingFile::open(const std::string& path, std::string& error) {
    discard();
    path_ = path;
    target_ = path;
    writeError_ = 0;
    replacing_ = false;
    struct stat info{};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // The link stays; the file it leads to is the one replaced.
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target_ = real;
            std::free(real);  // NOLINT(cppcoreguidelines-no-malloc)
        }
    }
    const bool exists = ::stat(target_.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        writeError_ = EISDIR;
        error = "não foi possível criar " + Quoted(path) + ": " + reason();
        return false;
    }
    if (exists && (!S_ISREG(info.st_mode) || IsStandardStream(info))) {
        // A device or a FIFO, or the file standard output or error goes to
        // (--list /dev/stdout): nothing to replace, written as it is.
        file_ = std::fopen(path.c_str(), "w");
        if (file_ == nullptr) {
            writeError_ = errno;
            error = "não foi possível abrir " + Quoted(path) + ": " + reason();
            return false;
        }
        return true;
    }
    std::string folder;
    std::string name;
    SplitPath(target_, folder, name);
    std::string temp = (folder == "/" ? std::string() : folder) + "/." + name + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        writeError_ = errno;
        error = "não foi possível criar " + Quoted(path) + ": " + reason();
        return false;
    }
    // The new file gets the old one's permissions, or a new file's.
    ::fchmod(fd, exists ? static_cast<mode_t>(info.st_mode & 07777) : NewFileMode());
    file_ = ::fdopen(fd, "w");
    if (file_ == nullptr) {
        writeError_ = errno;
        error = "não foi possível criar " + Quoted(path) + ": " + reason();
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    temp_ = temp;
    replacing_ = exists;
    return true;
}

std::string ReplacingFile::reason() const {
    std::string text = FileErrorText(writeError_ != 0 ? writeError_ : EIO);
    if (replacing_) text += " (o arquivo anterior ficou como estava)";
    return text;
}

std::string ReplacingFile::failure() const {
    return "erro ao gravar " + Quoted(path_) + ": " + reason();
}

bool ReplacingFile::commit(std::string& error) {
    if (file_ == nullptr) {
        noteWriteError(EBADF);
        error = failure();
        return false;
    }
    if (std::fflush(file_) != 0) noteWriteError(errno);
    if (std::ferror(file_) != 0) noteWriteError(EIO);
    if (!temp_.empty() && writeError_ == 0 && ::fsync(fileno(file_)) != 0) noteWriteError(errno);
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) noteWriteError(errno);
    if (writeError_ == 0 && !temp_.empty() && ::rename(temp_.c_str(), target_.c_str()) != 0) {
        noteWriteError(errno);
    }
    if (writeError_ != 0) {
        error = failure();
        discard();
        return false;
    }
    temp_.clear();
    return true;
}

void ReplacingFile::discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

bool ReplaceFileContents(const std::string& path, const std::string& text, std::string& error) {
    ReplacingFile out;
    bool ok = out.open(path, error);
    if (ok && !text.empty() && std::fwrite(text.data(), 1, text.size(), out.stream()) != text.size()) {
        out.noteWriteError(errno);
    }
    ok = ok && out.commit(error);
    if (!ok) error = out.reason();
    return ok;
}

}  // namespace pm
