#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/WakePipe.h"
#include "motion/Clock.h"
#include "motion/Context.h"
#include "motion/MachineEvents.h"
#include "motion/MachineState.h"
#include "motion/Pump.h"
#include "motion/RunSettings.h"
#include "port/Port.h"

namespace pm {

// One thing the core told the window, kept until the window's thread shows it.
struct WindowUpdate {
    enum class Kind {
        ClearPreview, ListAdd, ListClear, Lamp, Text, Command1Enabled, MotorJogEnabled,
        Running, WaitCursor, Progress, PortStatus, JobPaused, JobEnded, Position
    };
    Kind kind = Kind::ListClear;
    int n = 0;                 // lamp or text number
    bool on = false;           // lamp shown, enabled, busy pointer
    Operation op = Operation::None;
    std::int64_t atNs = 0;     // Running: when, on the machine's clock
    unsigned long long read = 0, size = 0;  // Progress; JobPaused: read is the statement
    std::uint64_t statement = 0;  // Progress: the statement the job works on
    double x = 0, y = 0;          // Progress: where the tool stands from the job's origin
    StopPoint stop;            // JobEnded: where the job stopped
    MachinePosition position;  // Position: where the machine stands
    std::size_t dotsBefore = 0;  // ClearPreview: dots of the batch drawn before it
    std::string text;          // entry, text, running file, port description, steps' lateness
    std::string fault;         // PortStatus
};

struct Dot {
    float x, y;
    std::uint32_t colour;
};

// What the window's thread takes over at each refresh: the updates in the
// order the core made them, and the dots.
struct WindowBatch {
    std::vector<WindowUpdate> updates;
    std::vector<Dot> dots;
    bool empty() const { return updates.empty() && dots.empty(); }
};

// The port as the machine thread sees it: it tells whether a coil may still
// be energised, so that the program's end can switch every coil off.
class CoilGuard final : public Port {
public:
    explicit CoilGuard(Port& inner) : inner_(inner) {}
    void vbOut(std::int16_t address, std::int16_t value) override;
    std::int16_t vbInp(std::int16_t address) override { return inner_.vbInp(address); }
    std::string fault() const override { return inner_.fault(); }
    std::string describe() const override { return inner_.describe(); }
    // Something other than every coil off was written last.
    bool energised() const { return dataOn_ || controlOn_; }
    Port& inner() { return inner_; }

private:
    Port& inner_;
    bool dataOn_ = false;
    bool controlOn_ = false;
};

// The machine thread: it runs every core operation and is the only thread
// that touches the port. The window's thread queues what the core reads
// (run settings, clicks, "Cancelar", the tick, key presses) and the machine
// thread applies it at each turn of its pump, in order. What the machine
// tells goes into a batch the window's thread takes (take()). A message box
// is the one place this thread waits for the window's.
class MachineThread final : public MachineEvents, public Pump {
public:
    using Event = std::function<void(Context&)>;
    // When a queued click still applies: always, when no operation runs, or
    // when also "Fresar" or the jog pad is enabled.
    enum class Gate { Always, Idle, Command1, MotorJog };

    struct Options {
        // Tests on the virtual clock: the poll's tick follows the clock at
        // each turn of the pump, and at each pump the window's thread runs (handOff)
        // while this one waits, so every run repeats exactly.
        bool clockTicks = false;
        bool lockstep = false;
        // Take real-time priority where allowed, and sleep before a long
        // wait for as long as the measured wake-up latency allows.
        bool realTime = false;
    };

    // What the machine thread asks of the window's thread. It says so
    // through notifyFd(), which the window watches; the window then calls
    // serve() with these (on its own thread): wake (the batch or the idle
    // state changed), box (a modal message box; returns when answered),
    // handOff (lockstep: the window's pump).
    struct Window {
        std::function<void()> wake;
        std::function<void(const std::string&, const std::string&)> box;
        std::function<void()> handOff;
    };

    MachineThread(MachineState& st, Port& port, Clock& clock, Options options, Window window,
                  RunSettings initial);
    ~MachineThread() override;
    MachineThread(const MachineThread&) = delete;
    MachineThread& operator=(const MachineThread&) = delete;

    // ---- the window's thread ----
    // Readable when the machine thread asks for the window; serve() answers.
    int notifyFd() const { return notify_.readFd(); }
    void serve();
    void queue(Gate gate, Event e);
    // The 100 ms tick; one waits at most.
    void queueTick();
    // Whether the queue holds something or an event is being applied.
    bool busy() const;
    // Takes what the core showed since the last call.
    WindowBatch take();
    // The machine's clock as of its last pump.
    std::int64_t nowNs() const { return nowNs_.load(std::memory_order_relaxed); }
    long long pumpsRun() const { return pumpsRun_.load(std::memory_order_relaxed); }
    // How far the running job has read its file (benchmarks).
    unsigned long long bytesRead() const { return bytesRead_.load(std::memory_order_relaxed); }
    bool handingOff() const { return handingOff_.load(); }
    // Ends the machine thread at its next wait: every coil that may be on is
    // switched off (data 0, control 11) and nothing else is written. Returns
    // once done; false when the thread did not answer within the time, after
    // switching every coil off from the calling thread.
    bool releaseAndStop(std::int64_t timeoutMs);
    // Where the job stood when releaseAndStop() ended the thread inside it
    // (statement 0 when no job ran).
    StopPoint releasedJobPoint() const;
    // Whether the machine thread runs at real-time priority, and why not.
    bool realTime() const { return realTime_.load(); }
    std::string realTimeNote() const;

    // Whether the port's fault has been shown in a message box; a new port
    // forgets it (the machine thread only).
    bool portFaultShown = false;

    // Runs on the machine thread at each pump (benchmarks).
    std::function<void()> onMachinePump;

    // ---- the machine thread: the machine's events and its pump ----
    void Dot(float x, float y, DotKind kind) override;
    void PreviewCleared() override;
    void StatementListed(std::string_view statement) override;
    void ListCleared() override;
    void SwitchesRead(const std::array<std::int16_t, 8>& limitBits) override;
    void OperationStarted(Operation op) override;
    void OperationEnded() override;
    void PlotStartAllowed(bool allowed) override;
    void JogAllowed(bool allowed) override;
    void Blocking(bool on) override;
    void Progress(unsigned long long bytesRead, unsigned long long fileSize) override;
    void Paused(std::uint64_t statement) override;
    void Continued(std::uint64_t statement) override;
    void JobEnded(const StopPoint& at) override;
    void LimitsFound(const std::string& x, const std::string& y) override;
    void DivisorReplaced(const std::string& divisor) override;
    void Message(const std::string& text) override;
    void turn() override;
    // The program is ending: a lower or Home XY, which pump nothing, stops
    // at its next pass, so that this thread reaches its next wait at once
    // and keeps the running job's stopping point there.
    bool quitting() override { return stopAsked_.load(std::memory_order_acquire); }

    // Tells the window what the port says of itself now.
    void publishPortStatus();
    // Tells the window where the machine stands, when that changed.
    void publishPosition();
    // The run settings as the machine thread sees them (only on that thread).
    RunSettings& run() { return run_; }
    Context& context() { return ctx_; }

private:
    struct Stopped {};
    struct Queued {
        Gate gate;
        Event event;
        bool tick;
    };
    void loop();
    void applyQueue();
    void apply(Queued& q);
    void tick();
    void handOff();
    void push(WindowUpdate u);
    void pushText(int n, const std::string& text);
    void pushPaused(bool paused, std::uint64_t statement);
    void operationChanged(Operation op);
    // Moves what this thread staged into the window's batch: at once when
    // the lock is free, else at a later call (a step never waits for the
    // window's thread); block waits for the lock.
    void handOver(bool block);
    void handOverLocked();
    // A window far behind (a job at speed 0 shows more than it can draw)
    // holds this thread at its pump until it has caught up a little.
    void waitForWindow();
    // Real time while the operation paces its steps, the ordinary
    // scheduling while it only computes (speed 0, the limit scan).
    void followRealTime();
    void wakeLocked();
    void notifyLocked();
    // At every wait: ends the thread when asked to (lock held).
    void checkStop(std::unique_lock<std::mutex>& lock);

    MachineState& st_;
    CoilGuard guard_;
    Clock& clock_;
    Context ctx_;
    Options options_;
    Window window_;
    RunSettings run_;

    // Machine-thread state.
    std::array<bool, 8> lamp_{};
    bool command1Enabled_ = true;
    bool motorJogEnabled_ = true;
    Operation running_ = Operation::None;
    bool pumpedOnce_ = false;
    std::int64_t lastPumpNs_ = 0;
    int realTimePriority_ = 0;  // 0: real time not allowed
    // How late the running job's steps come, on the real clock.
    std::unique_ptr<StepLateness> lateness_;
    bool realTimeNow_ = false;

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Queued> queue_;
    std::atomic<bool> queued_{false};
    bool applying_ = true;  // until the thread first waits
    bool tickQueued_ = false;
    bool boxAsked_ = false;
    bool boxAnswered_ = false;
    std::string boxText_, boxTitle_;
    bool handOffAsked_ = false;
    bool handedBack_ = false;
    bool notified_ = false;
    bool batchNoticed_ = false;
    WakePipe notify_;
    bool stop_ = false;       // destruction
    bool release_ = false;    // the program ends
    bool released_ = false;
    MachinePosition shownPosition_;  // as last told to the window
    bool positionShown_ = false;
    StopPoint releasedJobPoint_;
    WindowBatch batch_;
    // What the window's thread has not taken yet, in updates (a dot counts
    // as a fraction); read at every pump without the lock.
    std::atomic<std::size_t> backlog_{0};
    WindowBatch staged_;  // machine thread only: not yet handed over

    std::atomic<std::int64_t> nowNs_{0};
    std::atomic<long long> pumpsRun_{0};
    std::atomic<unsigned long long> bytesRead_{0};
    std::atomic<bool> handingOff_{false};
    std::atomic<bool> stopAsked_{false};
    std::atomic<bool> realTime_{false};
    std::string realTimeNote_;
    std::thread thread_;
};

}  // namespace pm
