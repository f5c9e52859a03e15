#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "port/Port.h"

namespace pm {

// Wraps any port and records every access with the time it happened.
class TracePort final : public Port {
public:
    struct Access {
        std::int64_t tNs;
        char kind;  // 'W' or 'R'
        std::int16_t address;
        std::int16_t value;
    };

    TracePort(Port& inner, std::function<std::int64_t()> now)
        : inner_(inner), now_(std::move(now)) {}

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
    Port& inner_;
    std::function<std::int64_t()> now_;
    std::vector<Access> log_;
    bool recordReads_ = true;
};

// Appends one access as a line of a trace record, the form of every trace
// this program writes: "<t_ns> <W|R> <address> <value>\n", all decimal.
void AppendTraceLine(std::string& out, const TracePort::Access& a);

}  // namespace pm
