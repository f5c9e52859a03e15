#include "files/SafeFile.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>

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

std::string Quoted(const std::string& path) { return QuotedPath(path); }

// The temporary files a stop signal removes: a slot's name is complete
// before its flag is set, and the flag cleared before the name changes.
constexpr std::size_t kTempSlots = 8;
std::array<std::array<char, PATH_MAX>, kTempSlots> gTempNames{};
std::array<volatile std::sig_atomic_t, kTempSlots> gTempUsed{};

int NoteTemporaryFile(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (std::size_t i = 0; i < kTempSlots; ++i) {
        if (gTempUsed[i] != 0) continue;
        std::memcpy(gTempNames[i].data(), path.c_str(), path.size() + 1);
        gTempUsed[i] = 1;
        return static_cast<int>(i);
    }
    return -1;
}

void ForgetTemporaryFile(int& slot) {
    if (slot >= 0) gTempUsed[static_cast<std::size_t>(slot)] = 0;
    slot = -1;
}

// The descriptor N of "/dev/fd/N", "/proc/self/fd/N", "/proc/PID/fd/N"
// when N is 1 or 2; 0 otherwise.
int DescriptorName(const std::string& path) {
    const std::string pid = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string& folder : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                      std::string("/proc/thread-self/fd/"), pid}) {
        if (path == folder + "1") return 1;
        if (path == folder + "2") return 2;
    }
    return 0;
}

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

// The file a path leads to through its symbolic links: the path itself
// when it is no link; for a link that leads nowhere (yet), the name it
// leads to, so that the link stays and that name is created.
std::string LinkTarget(const std::string& path) {
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info{};
        if (::lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return at;
        if (char* real = ::realpath(at.c_str(), nullptr)) {
            std::string resolved = real;
            std::free(real);  // NOLINT(cppcoreguidelines-no-malloc)
            return resolved;
        }
        std::array<char, PATH_MAX> link{};
        const ssize_t n = ::readlink(at.c_str(), link.data(), link.size() - 1);
        if (n <= 0) return at;
        std::string next(link.data(), static_cast<std::size_t>(n));
        if (next.front() != '/') {
            std::string folder;
            std::string name;
            SplitPath(at, folder, name);
            folder += '/';
            next.insert(0, folder);
        }
        at = next;
    }
    return at;
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
        case EEXIST: return "o arquivo já existe";
        case EBUSY: return "o arquivo ou dispositivo está ocupado";
        case ETXTBSY: return "o arquivo está em uso por um programa";
        case EINVAL: return "pedido inválido para este arquivo";
        case ENXIO:
        case ENODEV: return "o dispositivo não existe ou não responde";
        case EAGAIN: return "o recurso está ocupado; tente de novo";
        case EINTR: return "a operação foi interrompida";
        case EXDEV: return "os arquivos estão em discos diferentes";
        case ENOTEMPTY: return "a pasta não está vazia";
        case EMLINK: return "ligações demais para o arquivo";
        case ESPIPE: return "o arquivo não permite posicionamento (é um pipe)";
        case EOVERFLOW: return "o arquivo é grande demais para ser lido";
        case EOPNOTSUPP: return "operação não suportada pelo sistema de arquivos";
        case ESTALE: return "o arquivo de rede não existe mais";
        case ETIMEDOUT: return "o tempo de espera acabou";
        case EFAULT: return "endereço inválido";
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
        default: return "erro do sistema número " + std::to_string(err);
    }
}

std::string ShownText(std::string_view text, bool keepLines) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    const auto escape = [&out](unsigned char ch) {
        out += "\\x";
        out += kHex[ch >> 4U];
        out += kHex[ch & 15U];
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        const bool control = (ch < 0x20 || ch == 0x7f) && !(keepLines && (ch == '\n' || ch == '\t'));
        if (control) {
            escape(ch);
        } else if (ch == 0xc2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            // A C1 control in UTF-8 (CSI among them).
            escape(ch);
            escape(static_cast<unsigned char>(text[++i]));
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out;
}

std::string QuotedPath(std::string_view path) { return "\"" + ShownText(path, false) + "\""; }

int StandardStreamOf(const std::string& path) {
    if (path == "-" || path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    if (const int fd = DescriptorName(path); fd != 0) return fd;
    struct stat file{};
    if (::stat(path.c_str(), &file) != 0) return 0;
    for (const int fd : {1, 2}) {
        struct stat info{};
        if (::fstat(fd, &info) == 0 && info.st_dev == file.st_dev && info.st_ino == file.st_ino) {
            return fd;
        }
    }
    return 0;
}

std::FILE* OpenRecordFile(const std::string& path, const char* mode, int& err) {
    err = 0;
    if (const int stream = StandardStreamOf(path); stream != 0) {
        // What the program wrote to the stream so far comes first.
        std::fflush(stream == 1 ? stdout : stderr);
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
        const int fd = ::fcntl(stream, F_DUPFD_CLOEXEC, 3);
        if (fd < 0) {
            err = errno;
            return nullptr;
        }
        // "w" on a descriptor neither empties the file nor moves it: the
        // record goes where the stream stands, as the stream's own output.
        std::FILE* f = ::fdopen(fd, "w");
        if (f == nullptr) {
            err = errno;
            ::close(fd);
        }
        return f;
    }
    std::FILE* f = std::fopen(path.c_str(), mode);
    if (f == nullptr) err = errno != 0 ? errno : EIO;
    return f;
}

void RemoveTemporaryFiles() {
    for (std::size_t i = 0; i < kTempSlots; ++i) {
        if (gTempUsed[i] != 0) ::unlink(gTempNames[i].data());
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
    // A standard stream is written as the stream: several records may go
    // there, as to a device.
    if (StandardStreamOf(path) != 0) return id;
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
    if (StandardStreamOf(path) != 0) {
        // Standard output or error by any name (--list /dev/stdout): written
        // as the stream, never replaced.
        int err = 0;
        file_ = OpenRecordFile(path, "w", err);
        if (file_ == nullptr) {
            writeError_ = err;
            error = "não foi possível abrir " + Quoted(path) + ": " + reason();
            return false;
        }
        return true;
    }
    target_ = LinkTarget(path);
    struct stat info{};
    const bool exists = ::stat(target_.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        writeError_ = EISDIR;
        error = "não foi possível criar " + Quoted(path) + ": " + reason();
        return false;
    }
    if (exists && !S_ISREG(info.st_mode)) {
        // A device or a FIFO: nothing to replace, written as it is.
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
    // A stop signal that comes between the file's making and its noting
    // waits, so that its handler finds the file.
    sigset_t stops;
    sigset_t before;
    sigemptyset(&stops);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
    ::pthread_sigmask(SIG_BLOCK, &stops, &before);
    const int fd = ::mkstemp(temp.data());
    const int made = errno;
    if (fd >= 0) tempSlot_ = NoteTemporaryFile(temp);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (fd < 0) {
        writeError_ = made;
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
        ForgetTemporaryFile(tempSlot_);
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
    ForgetTemporaryFile(tempSlot_);
    return true;
}

void ReplacingFile::discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    ForgetTemporaryFile(tempSlot_);
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
