#include "job/LookAhead.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "job/LeadingNumber.h"
#include "job/Statement.h"
#include "motion/Motion.h"

namespace pm {

bool LookAhead::open(const std::string& path) {
    open_ = file_.open(path);
    return open_;
}

std::size_t LookAhead::dropThrough(std::uint64_t statement) {
    dropped_ = std::max(dropped_, statement);
    std::size_t n = 0;
    while (!items_.empty() && items_.front().statement <= dropped_) {
        items_.pop_front();
        ++n;
    }
    return n;
}

bool LookAhead::readOne() {
    if (!open_) return false;
    while (!file_.atEnd()) {
        const char ch = file_.get();
        text_ += ch;
        if (ch != ';') continue;
        ++statements_;
        const Statement st = CutStatement(text_);
        Item it;
        it.statement = statements_;
        it.penUp = st.penUp;
        it.penDown = st.penDown;
        it.hasPair = st.hasPair;
        if (st.hasPair) {
            it.x = LeadingNumber(st.xText);
            it.y = LeadingNumber(st.yText);
        }
        if (text_.capacity() > PlotFile::kBufferSize) text_ = std::string();
        text_.clear();
        // Statements the job has already handled, and those that neither
        // move nor change the tool, are passed over.
        if (it.statement <= dropped_ || !(it.penUp || it.penDown || it.hasPair)) continue;
        items_.push_back(it);
        return true;
    }
    return false;
}

namespace {

// The divisor as the job will read it: 0 (or no number) is 1.
double PlanDivisor(const std::string& text) {
    const double divisor = DivisorValue(text);
    return divisor == 0 ? 1 : divisor;
}

}  // namespace

void JobPlanner::restart(Context& c, const PlannedMove& front, std::uint64_t statement,
                         double divisor) {
    window_.clear();
    window_.push(front, statement);
    cursor_ = 0;
    backX_ = front.endX;
    backY_ = front.endY;
    divisor_ = divisor;
    divisorText_ = c.run.divisor;
    mode_ = c.st.MoveMode;
    stopped_ = false;
}

void JobPlanner::plan(Context& c, std::uint64_t statement) {
    MachineState& s = c.st;
    MotionPlan& p = s.Plan;
    const PlannedMove front{s.TargetX - s.CurrentX, s.TargetY - s.CurrentY,
                            MoveLength(s.TargetX - s.CurrentX, s.TargetY - s.CurrentY), s.TargetX,
                            s.TargetY};
    // A pass on the spot keeps the plan of the move before it.
    if (!(front.length > 0)) return;
    // The junction planned before this move bounds its first step.
    p.entryLimit = p.rate > 0 ? p.exitRate : 0;
    const double divisor = PlanDivisor(c.run.divisor);

    window_.setMachine(s.Settings);
    while (!window_.empty() && window_.frontTag() < statement) window_.pop();
    const std::size_t dropped = ahead_.dropThrough(statement);
    cursor_ -= std::min(cursor_, dropped);
    // The window follows the job unless the job went where it was not
    // planned to go: the divisor or the pen changed, or nothing is planned.
    if (window_.empty() || window_.frontTag() != statement || divisor != divisor_ ||
        s.MoveMode != mode_ || window_.front().dx != front.dx || window_.front().dy != front.dy) {
        restart(c, front, statement, divisor);
    }
    extend(c);
}

void JobPlanner::followDivisor(Context& c) {
    if (window_.empty() || c.run.divisor == divisorText_) return;
    divisorText_ = c.run.divisor;
    const double divisor = PlanDivisor(divisorText_);
    if (divisor == divisor_) return;
    // The move being walked keeps its target; what follows it is read again.
    const PlannedMove front = window_.front();
    restart(c, front, window_.frontTag(), divisor);
    extend(c);
}

void JobPlanner::runOut(Context& c) {
    MachineState& s = c.st;
    const MachineSettings& m = s.Settings;
    const double start = m.startRate >= 1 ? m.startRate : 1;
    while (s.CancelRequested && s.Plan.rate > start && window_.size() > 1 && !c.pump.quitting()) {
        s.TargetX = window_.next().endX;
        s.TargetY = window_.next().endY;
        plan(c, window_.nextTag());
        MoveToTarget(c);
    }
    // As the cancel left it.
    s.TargetX = 0;
    s.TargetY = 0;
}

void JobPlanner::extend(Context& c) {
    MachineState& s = c.st;
    MotionPlan& p = s.Plan;
    const MachineSettings& m = s.Settings;
    const double start = m.startRate >= 1 ? m.startRate : 1;
    const std::int64_t counts = static_cast<std::int64_t>(PassSpeed(c)) * kSpeedCounts;
    const double cap = counts > 0 ? 1e9 / static_cast<double>(counts * c.clock.countNs())
                                  : std::numeric_limits<double>::infinity();
    const bool mill = mode_ == "D";
    const bool travel = mode_ == "M";
    const auto wanted = static_cast<std::size_t>(m.lookahead) + 1;
    while (!stopped_) {
        // Enough: the moves asked for, and half-steps enough to slow down from
        // the set rate to the start rate (the slowest junction).
        if (window_.size() >= wanted &&
            start * start + 2 * m.accel * window_.lengthAfterFront() >= cap * cap) {
            break;
        }
        if (cursor_ == ahead_.size()) {
            if (ahead_.size() >= kMaxItems) break;
            if (!ahead_.readOne()) {
                stopped_ = true;  // the file's end
                break;
            }
        }
        const LookAhead::Item& it = ahead_[cursor_++];
        // A change of the pen lifts or lowers the tool: a stop.
        if ((it.penUp && !travel) || (it.penDown && !mill)) {
            stopped_ = true;
            break;
        }
        if (!it.hasPair) continue;
        const double tx = it.x / divisor_;
        const double ty = it.y / divisor_;
        // A pair the job will pass over leaves its move out, as the job does.
        if (!TargetAcceptable(tx, ty, backX_, backY_, m)) continue;
        const PlannedMove mv{tx - backX_, ty - backY_, MoveLength(tx - backX_, ty - backY_), tx, ty};
        backX_ = tx;
        backY_ = ty;
        if (mv.length > 0) window_.push(mv, it.statement);
    }
    p.stopAtEnd = stopped_ && window_.size() == 1;
    p.exitRate = p.stopAtEnd ? std::min(start, cap) : window_.exitRate(m);
}

}  // namespace pm
