#include "motion/Records.h"

#include "files/SafeFile.h"
#include "port/TracePort.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

namespace pm {

namespace {

std::FILE* OpenRecord(const std::string& path, const char* mode, std::string& error) {
    // Standard output or error, by any name, is written as the stream.
    int err = 0;
    std::FILE* f = OpenRecordFile(path, mode, err);
    if (f == nullptr) {
        error = "não foi possível criar " + QuotedPath(path) + ": " + FileErrorText(err);
        return nullptr;
    }
    std::setvbuf(f, nullptr, _IOFBF, 1 << 20);
    return f;
}

// Closes a record; false, with the reason added to error, when anything
// written to it was lost.
bool CloseRecord(std::FILE*& f, const std::string& path, std::string& error) {
    if (f == nullptr) return true;
    const bool ok = std::ferror(f) == 0 && std::fclose(f) == 0;
    f = nullptr;
    if (!ok) error += (error.empty() ? "" : "\n") + std::string("erro ao gravar ") + QuotedPath(path);
    return ok;
}

}  // namespace

void AppendListLine(std::string& out, std::string_view entry) {
    for (const char ch : entry) {
        if (ch == '\r') {
            out += "\\r";
        } else if (ch == '\n') {
            out += "\\n";
        } else {
            out += ch;
        }
    }
    out += '\n';
}

RunRecords::~RunRecords() {
    if (dots_ != nullptr) std::fclose(dots_);
    if (trace_ != nullptr) std::fclose(trace_);
}

bool RunRecords::open(const std::string& tracePath, const std::string& dotsPath,
                      const std::string& listPath, std::string& error) {
    tracePath_ = tracePath;
    dotsPath_ = dotsPath;
    listPath_ = listPath;
    if (!tracePath_.empty()) {
        trace_ = OpenRecord(tracePath_, "w", error);
        if (trace_ == nullptr) return false;
    }
    if (!dotsPath_.empty()) {
        dots_ = OpenRecord(dotsPath_, "w", error);
        if (dots_ == nullptr) return false;
    }
    if (!listPath_.empty()) {
        std::FILE* list = OpenRecord(listPath_, "w", error);
        if (list == nullptr) return false;
        std::fclose(list);
    }
    return true;
}

Port& RunRecords::port(Port& inner, const Clock& clock) {
    if (trace_ == nullptr) return inner;
    tracePort_ = std::make_unique<TracePort>(inner, [&clock] { return clock.nowNs(); }, traceSink());
    return *tracePort_;
}

std::unique_ptr<Port> RunRecords::port(std::unique_ptr<Port> inner, const Clock& clock) {
    if (trace_ == nullptr) return inner;
    return std::make_unique<TracePort>(std::move(inner), [&clock] { return clock.nowNs(); }, traceSink());
}

TracePort::Sink RunRecords::traceSink() {
    return [out = trace_](std::string_view line) { std::fwrite(line.data(), 1, line.size(), out); };
}

void RunRecords::dot(float x, float y, std::uint32_t colour) {
    if (dots_ == nullptr) return;
    std::fprintf(dots_, "%.9g %.9g %" PRIu32 "\n", static_cast<double>(x),
                 static_cast<double>(y), colour);
}

bool RunRecords::writeList(std::size_t count,
                           const std::function<std::string_view(std::size_t)>& entry,
                           std::string& error) {
    return putList("w", 0, count, entry, error);
}

bool RunRecords::appendList(std::size_t from, std::size_t count,
                            const std::function<std::string_view(std::size_t)>& entry,
                            std::string& error) {
    return from >= count || putList("a", from, count, entry, error);
}

bool RunRecords::putList(const char* mode, std::size_t from, std::size_t count,
                         const std::function<std::string_view(std::size_t)>& entry,
                         std::string& error) {
    if (listPath_.empty()) return true;
    std::FILE* list = OpenRecord(listPath_, mode, error);
    if (list == nullptr) return false;
    std::string line;
    for (std::size_t i = from; i < count; ++i) {
        line.clear();
        AppendListLine(line, entry(i));
        std::fwrite(line.data(), 1, line.size(), list);
    }
    return CloseRecord(list, listPath_, error);
}

void RunRecords::flush() {
    if (dots_ != nullptr) std::fflush(dots_);
    if (trace_ != nullptr) std::fflush(trace_);
}

bool RunRecords::close(std::string& error) {
    bool ok = CloseRecord(dots_, dotsPath_, error);
    ok = CloseRecord(trace_, tracePath_, error) && ok;
    return ok;
}

}  // namespace pm
