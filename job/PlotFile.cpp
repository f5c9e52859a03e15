#include "job/PlotFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/SafeFile.h"

namespace pm {

bool PlotFile::open(const std::string& path) {
    close();
    errno_ = 0;
    openReason_.clear();
    bytesRead_ = 0;
    size_ = 0;
    pos_ = len_ = 0;
    fd_ = OpenRegularFile(path, openReason_);
    if (fd_ < 0) {
        errno_ = kNotRegular;
        return false;
    }
    struct stat info{};
    if (::fstat(fd_, &info) != 0) {
        errno_ = errno != 0 ? errno : EIO;
        close();
        return false;
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
    mtimeSec_ = info.st_mtim.tv_sec;
    mtimeNsec_ = info.st_mtim.tv_nsec;
    buffer_.resize(kBufferSize);
    return true;
}

void PlotFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pos_ = len_ = 0;
}

bool PlotFile::refill() {
    if (fd_ < 0 || errno_ != 0) return false;
    pos_ = 0;
    len_ = 0;
    // A file rewritten, cut short or added to under the job would mix two
    // drawings, or end one part-way as if it were complete.
    struct stat info{};
    if (::fstat(fd_, &info) != 0) {
        errno_ = errno != 0 ? errno : EIO;
        return false;
    }
    if (static_cast<std::uint64_t>(info.st_size) != size_ || info.st_mtim.tv_sec != mtimeSec_ ||
        info.st_mtim.tv_nsec != mtimeNsec_) {
        errno_ = kChanged;
        return false;
    }
    ssize_t n = 0;
    do {
        n = ::read(fd_, buffer_.data(), buffer_.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        errno_ = errno != 0 ? errno : EIO;
        return false;
    }
    len_ = static_cast<std::size_t>(n);
    return len_ > 0;
}

std::string PlotFile::reason() const {
    if (!openReason_.empty()) return openReason_;
    switch (errno_) {
        case kChanged: return "o arquivo mudou durante a operação";
        case ENOENT: return "o arquivo não existe";
        case EACCES:
        case EPERM: return "sem permissão para ler o arquivo";
        case EISDIR: return "o caminho é uma pasta, não um arquivo";
        case ENOTDIR: return "uma parte do caminho não é uma pasta";
        case ENAMETOOLONG: return "o nome do arquivo é longo demais";
        case EIO: return "erro de leitura no disco";
        case EMFILE:
        case ENFILE: return "arquivos abertos demais no sistema";
        case ENOMEM: return "memória insuficiente";
        default: return FileErrorText(errno_);
    }
}

std::string OpenFailedMessage(const std::string& path, const PlotFile& file) {
    return "Não foi possível abrir o arquivo " + QuotedPath(path) + ": " + file.reason() + ".";
}

std::string ReadFailedMessage(const std::string& path, const PlotFile& file) {
    return "Erro ao ler o arquivo " + QuotedPath(path) + ": " + file.reason() +
           ". A operação foi interrompida.";
}

}  // namespace pm
