#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "motion/Clock.h"
#include "motion/MachineEvents.h"
#include "motion/Pump.h"
#include "motion/StatementList.h"

namespace pm {

// The machine's events kept as plain fields, for the headless runner and
// the core's tests, with a hook on those a records file or a test follows.
class HeadlessEvents final : public MachineEvents {
public:
    std::array<bool, 8> lamp{};  // [3..7]: the switches as last read
    bool plotStartAllowed = true;
    bool jogAllowed = true;
    Operation running = Operation::None;
    bool blocking = false;
    StatementList list;
    long long selected = -1;  // the newest statement listed, -1 for none
    std::vector<std::string> messages;
    long long dotCount = 0;
    long long clearCount = 0;
    std::vector<std::uint64_t> pauses;  // the statement shown at each pause
    bool paused = false;
    std::vector<StopPoint> jobEnds;

    std::function<void(float, float, std::uint32_t)> onDot;  // each dot, in its colour
    std::function<void(const std::string&)> onMessage;       // each message
    std::function<void(unsigned long long, unsigned long long)> onProgress;  // bytes read, file size

    void Dot(float x, float y, DotKind kind) override {
        ++dotCount;
        if (onDot) onDot(x, y, DotColour(kind));
    }
    void PreviewCleared() override { ++clearCount; }
    void StatementListed(std::string_view statement) override {
        list.add(statement);
        selected = static_cast<long long>(list.size()) - 1;
    }
    void ListCleared() override {
        list.clear();
        selected = -1;
    }
    void SwitchesRead(const std::array<std::int16_t, 8>& bits) override {
        for (std::size_t i = 3; i <= 7; ++i) lamp[i] = bits[i] != 0;
    }
    void OperationStarted(Operation op) override { running = op; }
    void OperationEnded() override { running = Operation::None; }
    void PlotStartAllowed(bool allowed) override { plotStartAllowed = allowed; }
    void JogAllowed(bool allowed) override { jogAllowed = allowed; }
    void Blocking(bool on) override { blocking = on; }
    void Progress(unsigned long long bytesRead, unsigned long long fileSize) override {
        if (onProgress) onProgress(bytesRead, fileSize);
    }
    void Paused(std::uint64_t statement) override {
        paused = true;
        pauses.push_back(statement);
    }
    void Continued(std::uint64_t /*statement*/) override { paused = false; }
    void JobEnded(const StopPoint& at) override { jobEnds.push_back(at); }
    void LimitsFound(const std::string& /*x*/, const std::string& /*y*/) override {}
    void DivisorReplaced(const std::string& /*divisor*/) override {}
    void Message(const std::string& text) override {
        messages.push_back(text);
        if (onMessage) onMessage(text);
    }
};

// The pump without a window: each turn delivers the poll's tick when the
// clock says one is due (at most one a turn), then whatever the owner
// scripted.
class HeadlessPump final : public Pump {
public:
    explicit HeadlessPump(Clock& clock) : clock_(clock) {}

    long long count = 0;  // turns so far

    std::function<void()> onTick;       // the switch poll
    std::function<void()> onPump;       // scripted input
    std::function<bool()> onQuitting;   // the program is ending

    void turn() override {
        ++count;
        if (clock_.tickDue()) {
            clock_.takeTick();
            if (onTick) onTick();
        }
        if (onPump) onPump();
    }
    bool quitting() override { return onQuitting && onQuitting(); }

private:
    Clock& clock_;
};

}  // namespace pm
