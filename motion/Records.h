#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "motion/Clock.h"
#include "port/Port.h"
#include "port/TracePort.h"

namespace pm {

// One entry of List1 as a line of the list record: its CR and LF written as
// \r and \n, then a line feed.
void AppendListLine(std::string& out, std::string_view entry);

// The record files a run leaves for diagnosis, written alike by
// portmill-cli and the window:
//   trace  "<t_ns> <W|R> <address> <value>" a port access, on the run's clock
//   dots   "<x> <y> <colour>" a preview dot, in canvas twips
//   list   List1, an entry a line, its CR and LF written as \r and \n
// A path left empty asks for no record.
class RunRecords {
public:
    RunRecords() = default;
    RunRecords(const RunRecords&) = delete;
    RunRecords& operator=(const RunRecords&) = delete;
    ~RunRecords();

    // Creates every record asked for, so that a path that cannot be written
    // fails before the run. False with the reason in error.
    bool open(const std::string& tracePath, const std::string& dotsPath,
              const std::string& listPath, std::string& error);

    // The port to drive: inner itself, or inner behind the trace record.
    // The trace port lives as long as this.
    Port& port(Port& inner, const Clock& clock);
    // The same, the trace port owning inner (for an owner that takes the
    // port it drives).
    std::unique_ptr<Port> port(std::unique_ptr<Port> inner, const Clock& clock);

    bool wantsDots() const { return dots_ != nullptr; }
    void dot(float x, float y, std::uint32_t colour);

    bool wantsList() const { return !listPath_.empty(); }
    // Writes the list record anew with count entries, entry(i) each. False
    // with the reason when it could not be written.
    bool writeList(std::size_t count, const std::function<std::string_view(std::size_t)>& entry,
                   std::string& error);

    // Adds entries from..count-1 to the end of the list record.
    bool appendList(std::size_t from, std::size_t count,
                    const std::function<std::string_view(std::size_t)>& entry, std::string& error);

    // Hands what is buffered to the system, so a reader sees it while the
    // run goes on.
    void flush();
    // Closes the dots and the trace. False with one line a lost record in
    // error.
    bool close(std::string& error);

private:
    // Each trace line straight into the trace record.
    TracePort::Sink traceSink();
    bool putList(const char* mode, std::size_t from, std::size_t count,
                 const std::function<std::string_view(std::size_t)>& entry, std::string& error);

    std::FILE* trace_ = nullptr;
    std::FILE* dots_ = nullptr;
    std::string tracePath_;
    std::string dotsPath_;
    std::string listPath_;
    std::unique_ptr<Port> tracePort_;
};

}  // namespace pm
