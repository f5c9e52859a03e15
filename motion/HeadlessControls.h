#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "motion/Clock.h"
#include "motion/Controls.h"
#include "motion/StatementList.h"

namespace pm {

// The window's controls as plain fields, for the headless runner and the
// core's tests. DoEvents() delivers the Timer1 tick when the clock says one
// is due (at most one per call), then whatever the owner scripted.
class HeadlessControls final : public Controls {
public:
    explicit HeadlessControls(Clock& clock) : clock_(clock) {}

    // Fields, as Form_Load leaves them.
    bool check1 = false;
    int slider1 = 5;
    int slider2 = 20;
    std::array<std::string, 4> text{"", "", "", "3.55"};  // [1..3]
    std::string caption;
    std::array<bool, 8> lamp{};  // [3..7]
    bool command1Enabled = true;
    bool motorJogEnabled = true;
    Operation running = Operation::None;
    bool waitCursor = false;
    StatementList list;
    long long selected = -1;  // selected List1 entry, -1 for none
    std::vector<std::string> messages;
    long long dotCount = 0;
    long long clearCount = 0;
    long long pumpCount = 0;
    std::vector<std::uint64_t> pauses;  // the statement shown at each pause
    bool paused = false;
    std::vector<StopPoint> jobEnds;

    // Hooks set by the owner.
    std::function<void()> onTick;                           // Timer1_Timer
    std::function<void()> onPump;                           // scripted events
    std::function<void(float, float, std::uint32_t)> onDot; // each dot
    std::function<void(const std::string&)> onMessage;      // each message box
    std::function<bool()> onQuitting;                       // the program is ending
    std::function<void(unsigned long long, unsigned long long)> onProgress;  // bytes read, file size

    bool Check1() override { return check1; }
    int Slider1() override { return slider1; }
    int Slider2() override { return slider2; }
    std::string Text(int n) override { return n >= 1 && n <= 3 ? text[n] : std::string(); }
    void SetText(int n, const std::string& t) override {
        if (n >= 1 && n <= 3) text[n] = t;
    }
    std::string Caption() override { return caption; }
    void SetCaption(const std::string& c) override { caption = c; }
    bool LampVisible(int i) override { return i >= 3 && i <= 7 && lamp[i]; }
    void SetLampVisible(int i, bool v) override {
        if (i >= 3 && i <= 7) lamp[i] = v;
    }
    void PSet(float x, float y, std::uint32_t colour) override {
        ++dotCount;
        if (onDot) onDot(x, y, colour);
    }
    void ClearPreview() override { ++clearCount; }
    void ListAdd(std::string_view entry) override {
        list.add(entry);
        selected = static_cast<long long>(list.size()) - 1;
    }
    void ListClear() override {
        list.clear();
        selected = -1;
    }
    void SetCommand1Enabled(bool e) override { command1Enabled = e; }
    void SetMotorJogEnabled(bool e) override { motorJogEnabled = e; }
    void SetOperationRunning(Operation op) override { running = op; }
    void SetWaitCursor(bool on) override { waitCursor = on; }
    void SetJobProgress(unsigned long long bytesRead, unsigned long long fileSize) override {
        if (onProgress) onProgress(bytesRead, fileSize);
    }
    void MsgBox(const std::string& t, const std::string& /*title*/) override {
        messages.push_back(t);
        if (onMessage) onMessage(t);
    }
    bool Quitting() override { return onQuitting && onQuitting(); }
    void SetJobPaused(bool p, std::uint64_t statement) override {
        paused = p;
        if (p) pauses.push_back(statement);
    }
    void JobEnded(const StopPoint& at) override { jobEnds.push_back(at); }
    void DoEvents() override {
        ++pumpCount;
        if (clock_.tickDue()) {
            clock_.takeTick();
            if (onTick) onTick();
        }
        if (onPump) onPump();
    }

private:
    Clock& clock_;
};

}  // namespace pm
