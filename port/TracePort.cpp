#include "port/TracePort.h"

namespace pm {

void TracePort::vbOut(std::int16_t address, std::int16_t value) {
    inner_.vbOut(address, value);
    record('W', address, value);
}

std::int16_t TracePort::vbInp(std::int16_t address) {
    const std::int16_t v = inner_.vbInp(address);
    if (recordReads_) record('R', address, v);
    return v;
}

void TracePort::record(char kind, std::int16_t address, std::int16_t value) {
    const Access a{now_(), kind, address, value};
    if (!sink_) {
        log_.push_back(a);
        return;
    }
    line_.clear();
    AppendTraceLine(line_, a);
    sink_(line_);
}

std::vector<int> TracePort::writes(std::int16_t address) const {
    std::vector<int> out;
    for (const auto& a : log_) {
        if (a.kind == 'W' && a.address == address) out.push_back(a.value);
    }
    return out;
}

std::string TracePort::text() const {
    std::string s;
    s.reserve(log_.size() * 24);
    for (const auto& a : log_) AppendTraceLine(s, a);
    return s;
}

void AppendTraceLine(std::string& out, const TracePort::Access& a) {
    out += std::to_string(a.tNs);
    out += ' ';
    out += a.kind;
    out += ' ';
    out += std::to_string(a.address);
    out += ' ';
    out += std::to_string(a.value);
    out += '\n';
}

}  // namespace pm
