#include "job/PlotFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace pm {

bool PlotFile::open(const std::string& path) {
    close();
    errno_ = 0;
    bytesRead_ = 0;
    size_ = 0;
    pos_ = len_ = 0;
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        errno_ = errno != 0 ? errno : EIO;
        return false;
    }
    struct stat info{};
    if (::fstat(fileno(file_), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            errno_ = EISDIR;
            close();
            return false;
        }
        if (S_ISREG(info.st_mode)) size_ = static_cast<std::uint64_t>(info.st_size);
    }
    // Our own buffer does the buffering.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    buffer_.resize(kBufferSize);
    return true;
}

void PlotFile::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    pos_ = len_ = 0;
}

bool PlotFile::refill() {
    if (file_ == nullptr || errno_ != 0) return false;
    pos_ = 0;
    len_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (len_ == 0 && std::ferror(file_)) errno_ = errno != 0 ? errno : EIO;
    return len_ > 0;
}

std::string PlotFile::reason() const {
    switch (errno_) {
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
        default: return std::string("erro do sistema ") + std::to_string(errno_) + " (" +
                        std::strerror(errno_) + ")";
    }
}

std::string OpenFailedMessage(const std::string& path, const PlotFile& file) {
    return "Não foi possível abrir o arquivo \"" + path + "\": " + file.reason() + ".";
}

std::string ReadFailedMessage(const std::string& path, const PlotFile& file) {
    return "Erro ao ler o arquivo \"" + path + "\": " + file.reason() +
           ". A operação foi interrompida.";
}

}  // namespace pm
