#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "port/Port.h"

namespace pm {

// Wraps any port and records every access with the time it happened: kept
// in memory (tests), or, given a sink, handed over at once as one trace line
// an access (the trace records of the window and of portmill-cli, whatever
// kind of file each writes to), and then not kept.
class TracePort final : public Port {
public:
    struct Access {
        std::int64_t tNs;
        char kind;  // 'W' or 'R'
        std::int16_t address;
        std::int16_t value;
    };
    // Takes each line of the record, "\n" included.
    using Sink = std::function<void(std::string_view line)>;

    TracePort(Port& inner, std::function<std::int64_t()> now, Sink sink = nullptr)
        : inner_(inner), now_(std::move(now)), sink_(std::move(sink)) {}
    // The same, owning the port it wraps.
    TracePort(std::unique_ptr<Port> inner, std::function<std::int64_t()> now, Sink sink)
        : owned_(std::move(inner)), inner_(*owned_), now_(std::move(now)), sink_(std::move(sink)) {}

    void vbOut(std::int16_t address, std::int16_t value) override;
    std::int16_t vbInp(std::int16_t address) override;
    std::string fault() const override { return inner_.fault(); }
    std::string describe() const override { return inner_.describe(); }

    const std::vector<Access>& accesses() const { return log_; }
    void clear() { log_.clear(); }
    // Values written to one register, in order.
    std::vector<int> writes(std::int16_t address) const;
    // The record, one AppendTraceLine line an access.
    std::string text() const;
    // Keep reads out of the record (the poll reads ten times a second).
    void setRecordReads(bool on) { recordReads_ = on; }

private:
    void record(char kind, std::int16_t address, std::int16_t value);

    std::unique_ptr<Port> owned_;  // null unless the port was handed over
    Port& inner_;
    std::function<std::int64_t()> now_;
    Sink sink_;
    std::vector<Access> log_;
    std::string line_;  // the sink's line, reused
    bool recordReads_ = true;
};

// Appends one access as a line of a trace record, the form of every trace
// this program writes: "<t_ns> <W|R> <address> <value>\n", all decimal.
void AppendTraceLine(std::string& out, const TracePort::Access& a);

}  // namespace pm
