#include "app/MachineThread.h"

#include "motion/SwitchPoll.h"
#include "motion/Motion.h"
#include "motion/RealTime.h"

namespace pm {

namespace {
// Running the window's pump costs far more than a step: in lockstep it runs
// at most once a millisecond of the clock.
constexpr std::int64_t kPumpIntervalNs = 1'000'000;
// The window's backlog at which the machine thread waits for it, and to
// which it must come down again: a list row or a lamp is an update, a dot
// an eighth of one. Far more than the window takes in a refresh at any
// paced speed, so only a job at speed 0 ever meets it.
constexpr std::size_t kDotsPerUpdate = 8;
constexpr std::size_t kMaxBacklog = 40'000;
constexpr std::size_t kResumeBacklog = 10'000;

std::size_t Backlog(const WindowBatch& b) { return b.updates.size() + b.dots.size() / kDotsPerUpdate; }
}  // namespace

void CoilGuard::vbOut(std::int16_t address, std::int16_t value) {
    inner_.vbOut(address, value);
    if (address == kDataReg) dataOn_ = value != wiring::kDataAllOff;
    if (address == kControlReg) controlOn_ = value != wiring::kControlAllOff;
}

MachineThread::MachineThread(MachineState& st, Port& port, Clock& clock, Options options,
                             Window window, RunSettings initial)
    : st_(st),
      guard_(port),
      clock_(clock),
      ctx_{st_, guard_, clock_, run_, *this, *this},
      options_(options),
      window_(std::move(window)),
      run_(std::move(initial)) {
    thread_ = std::thread([this] { loop(); });
}

MachineThread::~MachineThread() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        stopAsked_.store(true);
    }
    cv_.notify_all();
    thread_.join();
}

void MachineThread::notifyLocked() {
    if (notified_) return;
    notified_ = true;
    notify_.wake();
}

void MachineThread::serve() {
    notify_.drain();
    bool box = false;
    bool handOff = false;
    std::string text, title;
    {
        std::lock_guard lock(mutex_);
        notified_ = false;
        box = boxAsked_;
        boxAsked_ = false;
        handOff = handOffAsked_;
        handOffAsked_ = false;
        text = boxText_;
        title = boxTitle_;
    }
    window_.wake();
    if (box) {
        window_.box(text, title);
        {
            std::lock_guard lock(mutex_);
            boxAnswered_ = true;
        }
        cv_.notify_all();
    }
    if (handOff) {
        window_.handOff();
        {
            std::lock_guard lock(mutex_);
            handedBack_ = true;
        }
        cv_.notify_all();
    }
}

// ---- the window's thread ----

void MachineThread::queue(Gate gate, Event e) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({gate, std::move(e), false});
        queued_.store(true, std::memory_order_release);
    }
    cv_.notify_all();
}

void MachineThread::queueTick() {
    {
        std::lock_guard lock(mutex_);
        // Ticks that the machine could not take meanwhile (a message box is
        // open) are one tick: the poll reads the switches as they are now.
        if (tickQueued_) return;
        tickQueued_ = true;
        queue_.push_back({Gate::Always, {}, true});
        queued_.store(true, std::memory_order_release);
    }
    cv_.notify_all();
}

bool MachineThread::busy() const {
    std::lock_guard lock(mutex_);
    return applying_ || !queue_.empty();
}

WindowBatch MachineThread::take() {
    WindowBatch b;
    {
        std::lock_guard lock(mutex_);
        batchNoticed_ = false;
        std::swap(b, batch_);
        backlog_.store(0, std::memory_order_relaxed);
    }
    cv_.notify_all();  // a machine thread held by the backlog goes on
    return b;
}

bool MachineThread::releaseAndStop(std::int64_t timeoutMs) {
    std::unique_lock lock(mutex_);
    release_ = true;
    stopAsked_.store(true);
    cv_.notify_all();
    if (cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return released_; })) return true;
    // A machine thread that does not answer (a port that hangs in the
    // kernel) is left; the coils are switched off from here.
    lock.unlock();
    wiring::SwitchAllCoilsOff(guard_.inner());
    return false;
}

StopPoint MachineThread::releasedJobPoint() const {
    std::lock_guard lock(mutex_);
    return releasedJobPoint_;
}

std::string MachineThread::realTimeNote() const {
    std::lock_guard lock(mutex_);
    return realTimeNote_;
}

// ---- the machine thread ----

void MachineThread::loop() {
    if (options_.realTime) {
        const RealTimeResult rt = EnterRealTime();
        {
            std::lock_guard lock(mutex_);
            realTimeNote_ = rt.note;
        }
        realTime_.store(rt.realTime);
        if (rt.realTime) realTimePriority_ = rt.priority;
        realTimeNow_ = rt.realTime;
        // The wake-up latency is measured at the priority the waits run at.
        clock_.calibrateSleep();
    }
    try {
        for (;;) {
            Queued q;
            {
                std::unique_lock lock(mutex_);
                if (queue_.empty()) {
                    // Idle: the window's thread may be waiting for this, and
                    // then finds everything the operation showed.
                    handOverLocked();
                    applying_ = false;
                    notifyLocked();
                }
                cv_.wait(lock, [this] { return stop_ || release_ || !queue_.empty(); });
                checkStop(lock);
                applying_ = true;
                q = std::move(queue_.front());
                queue_.pop_front();
                if (q.tick) tickQueued_ = false;
                queued_.store(!queue_.empty(), std::memory_order_release);
            }
            apply(q);
            handOver(true);  // between operations no step is waiting
        }
    } catch (const Stopped&) {
    }
}

void MachineThread::checkStop(std::unique_lock<std::mutex>& lock) {
    if (stop_) throw Stopped{};
    if (!release_) return;
    // The program ends: nothing more is written than every coil off, and
    // that only where one may be on.
    if (guard_.energised()) ReleaseMotors(ctx_);
    if (running_ == Operation::Job) releasedJobPoint_ = st_.JobPoint;
    released_ = true;
    lock.unlock();
    cv_.notify_all();
    throw Stopped{};
}

void MachineThread::apply(Queued& q) {
    if (q.tick) {
        tick();
        return;
    }
    // A click counts only where its button is enabled: a button that an
    // operation locked takes no click meanwhile.
    const bool idle = running_ == Operation::None;
    switch (q.gate) {
        case Gate::Always: break;
        case Gate::Idle:
            if (!idle) return;
            break;
        case Gate::Command1:
            if (!idle || !command1Enabled_) return;
            break;
        case Gate::MotorJog:
            if (!idle || !motorJogEnabled_) return;
            break;
    }
    q.event(ctx_);
    // What an operation or a setting changed of where the machine stands.
    publishPosition();
}

void MachineThread::applyQueue() {
    for (;;) {
        Queued q;
        {
            std::unique_lock lock(mutex_);
            checkStop(lock);
            if (queue_.empty()) {
                queued_.store(false, std::memory_order_release);
                return;
            }
            q = std::move(queue_.front());
            queue_.pop_front();
            if (q.tick) tickQueued_ = false;
        }
        apply(q);  // may run an operation, whose pumps take the rest
    }
}

void MachineThread::tick() {
    PollSwitches(ctx_);
    publishPortStatus();
    publishPosition();
}

void MachineThread::publishPosition() {
    const MachinePosition& p = st_.Position;
    const MachinePosition& q = shownPosition_;
    if (positionShown_ && p.X == q.X && p.Y == q.Y && p.Z == q.Z && p.HomedXY == q.HomedXY &&
        p.HomedZ == q.HomedZ && p.JobOriginKnown == q.JobOriginKnown && p.JobOriginX == q.JobOriginX &&
        p.JobOriginY == q.JobOriginY && p.WorkOriginSet == q.WorkOriginSet &&
        p.WorkOriginX == q.WorkOriginX && p.WorkOriginY == q.WorkOriginY)
        return;
    positionShown_ = true;
    shownPosition_ = p;
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::Position;
    u.position = p;
    push(std::move(u));
}

void MachineThread::publishPortStatus() {
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::PortStatus;
    u.text = guard_.describe();
    u.fault = guard_.fault();
    push(std::move(u));
}

void MachineThread::handOff() {
    std::unique_lock lock(mutex_);
    handOverLocked();
    handedBack_ = false;
    handOffAsked_ = true;
    handingOff_.store(true);
    notifyLocked();
    cv_.wait(lock, [this] { return handedBack_ || stop_ || release_; });
    handingOff_.store(false);
    checkStop(lock);
}

void MachineThread::turn() {
    const std::int64_t now = clock_.nowNs();
    nowNs_.store(now, std::memory_order_relaxed);
    // The poll's tick on the clock is taken at the first pump it is due,
    // as the headless runner takes it, so that both make the same records.
    if (options_.clockTicks && clock_.tickDue()) {
        clock_.takeTick();
        tick();
    }
    if (options_.lockstep) {
        if (pumpedOnce_ && now - lastPumpNs_ < kPumpIntervalNs) return;
        pumpedOnce_ = true;
        lastPumpNs_ = now;
    }
    pumpsRun_.fetch_add(1, std::memory_order_relaxed);
    if (onMachinePump) onMachinePump();
    if (options_.lockstep) {
        handOff();
        applyQueue();
        return;
    }
    handOver(false);
    followRealTime();
    if (backlog_.load(std::memory_order_relaxed) > kMaxBacklog) waitForWindow();
    if (queued_.load(std::memory_order_acquire) || stopAsked_.load(std::memory_order_acquire)) applyQueue();
}

void MachineThread::push(WindowUpdate u) {
    staged_.updates.push_back(std::move(u));
    handOver(false);
}

void MachineThread::handOver(bool block) {
    if (staged_.empty()) return;
    std::unique_lock lock(mutex_, std::defer_lock);
    if (block) {
        lock.lock();
    } else if (!lock.try_lock()) {
        return;  // the window's thread holds it: the next call hands over
    }
    handOverLocked();
}

void MachineThread::handOverLocked() {
    if (staged_.empty()) return;
    if (batch_.empty()) {
        std::swap(batch_, staged_);
    } else {
        // A clear counts the dots before it within its batch.
        const std::size_t dotsBefore = batch_.dots.size();
        for (WindowUpdate& u : staged_.updates) {
            if (u.kind == WindowUpdate::Kind::ClearPreview) u.dotsBefore += dotsBefore;
            batch_.updates.push_back(std::move(u));
        }
        batch_.dots.insert(batch_.dots.end(), staged_.dots.begin(), staged_.dots.end());
        staged_.updates.clear();
        staged_.dots.clear();
    }
    backlog_.store(Backlog(batch_), std::memory_order_relaxed);
    wakeLocked();
}

void MachineThread::waitForWindow() {
    std::unique_lock lock(mutex_);
    handOverLocked();
    // A click queued meanwhile ("Cancelar") is taken at once.
    cv_.wait(lock, [this] {
        return Backlog(batch_) <= kResumeBacklog || stop_ || release_ || !queue_.empty();
    });
    checkStop(lock);
}

void MachineThread::wakeLocked() {
    // In lockstep the window takes the batch at each pump. Otherwise one
    // notice stands until the window has taken the batch.
    if (options_.lockstep || batchNoticed_) return;
    batchNoticed_ = true;
    notifyLocked();
}

void MachineThread::followRealTime() {
    if (realTimePriority_ == 0) return;
    bool paced = true;
    switch (running_) {
        case Operation::Scan: paced = false; break;
        case Operation::Job:
        case Operation::GoToLimit:
        case Operation::ReturnToOrigin:
            // Speed 0 steps as fast as the machine computes; a travel speed
            // of its own paces the tool-up moves all the same.
            paced = run_.speed > 0 || st_.Settings.travelSpeed > 0;
            break;
        default: break;
    }
    if (paced == realTimeNow_) return;
    if (SetRealTime(paced, realTimePriority_)) realTimeNow_ = paced;
}

void MachineThread::SwitchesRead(const std::array<std::int16_t, 8>& limitBits) {
    for (std::size_t i = 3; i <= 7; ++i) {
        const bool lit = limitBits[i] != 0;
        if (lamp_[i] == lit) continue;
        lamp_[i] = lit;
        WindowUpdate u;
        u.kind = WindowUpdate::Kind::Lamp;
        u.n = static_cast<int>(i);
        u.on = lit;
        push(std::move(u));
    }
}

void MachineThread::pushText(int n, const std::string& text) {
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::Text;
    u.n = n;
    u.text = text;
    push(std::move(u));
}

void MachineThread::LimitsFound(const std::string& x, const std::string& y) {
    pushText(1, x);
    pushText(2, y);
}

void MachineThread::DivisorReplaced(const std::string& divisor) { pushText(3, divisor); }

void MachineThread::Dot(float x, float y, DotKind kind) {
    staged_.dots.push_back({x, y, DotColour(kind)});
    handOver(false);
}

void MachineThread::PreviewCleared() {
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::ClearPreview;
    u.dotsBefore = staged_.dots.size();
    push(std::move(u));
}

void MachineThread::StatementListed(std::string_view statement) {
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::ListAdd;
    u.text = std::string(statement);
    push(std::move(u));
}

void MachineThread::ListCleared() {
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::ListClear;
    push(std::move(u));
}

void MachineThread::PlotStartAllowed(bool allowed) {
    command1Enabled_ = allowed;
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::Command1Enabled;
    u.on = allowed;
    push(std::move(u));
}

void MachineThread::JogAllowed(bool allowed) {
    motorJogEnabled_ = allowed;
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::MotorJogEnabled;
    u.on = allowed;
    push(std::move(u));
}

void MachineThread::OperationStarted(Operation op) { operationChanged(op); }

void MachineThread::OperationEnded() { operationChanged(Operation::None); }

void MachineThread::operationChanged(Operation op) {
    running_ = op;
    // A job on the real clock measures how late its steps come.
    if (op == Operation::Job && dynamic_cast<RealClock*>(&clock_) != nullptr) {
        lateness_ = std::make_unique<StepLateness>();
        clock_.setStepTiming(lateness_.get());
    }
    followRealTime();
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::Running;
    u.op = op;
    u.atNs = clock_.nowNs();
    nowNs_.store(u.atNs, std::memory_order_relaxed);
    // The file the operation reads: a job and a scan open the chosen one.
    if (op == Operation::Job || op == Operation::Scan) u.text = run_.plotFile;
    push(std::move(u));
}

void MachineThread::Blocking(bool on) {
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::WaitCursor;
    u.on = on;
    push(std::move(u));
}

void MachineThread::Progress(unsigned long long bytesRead, unsigned long long fileSize) {
    bytesRead_.store(bytesRead, std::memory_order_relaxed);
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::Progress;
    u.read = bytesRead;
    u.size = fileSize;
    u.statement = st_.JobPoint.statement;
    u.x = st_.CurrentX;
    u.y = st_.CurrentY;
    u.atNs = clock_.nowNs();
    push(std::move(u));
}

void MachineThread::Paused(std::uint64_t statement) { pushPaused(true, statement); }

void MachineThread::Continued(std::uint64_t statement) { pushPaused(false, statement); }

void MachineThread::pushPaused(bool paused, std::uint64_t statement) {
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::JobPaused;
    u.on = paused;
    u.read = statement;
    push(std::move(u));
}

void MachineThread::JobEnded(const StopPoint& at) {
    WindowUpdate u;
    u.kind = WindowUpdate::Kind::JobEnded;
    u.stop = at;
    if (lateness_) {
        clock_.setStepTiming(nullptr);
        if (lateness_->count() > 0) u.text = lateness_->summary();
        lateness_.reset();
    }
    push(std::move(u));
}

void MachineThread::Message(const std::string& text) {
    nowNs_.store(clock_.nowNs(), std::memory_order_relaxed);
    std::unique_lock lock(mutex_);
    handOverLocked();  // what came before the box shows before it
    boxAnswered_ = false;
    boxAsked_ = true;
    boxText_ = text;
    boxTitle_ = kMsgTitle;
    notifyLocked();
    cv_.wait(lock, [this] { return boxAnswered_ || stop_ || release_; });
    checkStop(lock);
}

}  // namespace pm
