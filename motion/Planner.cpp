#include "motion/Planner.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pm {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// A start rate below one half-step a second is no rate at all.
double StartRate(const MachineSettings& m) { return m.startRate >= 1 ? m.startRate : 1; }

}  // namespace

double MoveLength(double dx, double dy) {
    const double major = std::max(std::fabs(dx), std::fabs(dy));
    return std::isfinite(major) ? major : 0;
}

double JunctionRate(double startRate, double ax, double ay, double bx, double by) {
    const double am = std::max(std::fabs(ax), std::fabs(ay));
    const double bm = std::max(std::fabs(bx), std::fabs(by));
    if (!(am > 0) || !(bm > 0)) return kInf;
    const double jump = std::max(std::fabs(bx / bm - ax / am), std::fabs(by / bm - ay / am));
    if (!(jump > 1e-12)) return kInf;
    // A corner may always be taken as a stop is: at the start rate.
    return std::max(startRate / jump, startRate);
}

void PlanWindow::setMachine(const MachineSettings& m) {
    const double start = StartRate(m);
    if (keyed_ && twoAccel_ == 2 * m.accel && start_ == start) return;
    clear();
    twoAccel_ = 2 * m.accel;
    start_ = start;
    keyed_ = true;
}

void PlanWindow::clear() {
    moves_.clear();
    bounds_.clear();
    serial_ = 0;
    frontSerial_ = 0;
}

void PlanWindow::push(const PlannedMove& mv, std::uint64_t tag) {
    const double before = moves_.empty() ? 0 : moves_.back().endLength;
    if (!moves_.empty()) {
        const PlannedMove& b = moves_.back().move;
        const double j = std::min(JunctionRate(start_, b.dx, b.dy, mv.dx, mv.dy), spreadRate(mv));
        if (j < kInf) {
            const double key = j * j + twoAccel_ * before;
            while (!bounds_.empty() && bounds_.back().key >= key) bounds_.pop_back();
            bounds_.push_back({serial_ - 1, key});
        }
    }
    moves_.push_back({mv, tag, before + mv.length});
    ++serial_;
}

void PlanWindow::pop() {
    if (moves_.empty()) return;
    moves_.pop_front();
    ++frontSerial_;
    while (!bounds_.empty() && bounds_.front().serial < frontSerial_) bounds_.pop_front();
    if (moves_.empty()) clear();
}

double PlanWindow::spreadRate(const PlannedMove& mv) const {
    const double accel = kSpreadShare * twoAccel_ / 2;
    const double junction = moves_.back().endLength;
    const double first = moves_.front().endLength - moves_.front().move.length;
    const double ux = mv.dx / mv.length;
    const double uy = mv.dy / mv.length;
    double best = kInf;
    std::size_t last = moves_.size() - 1;  // the move before the junction: JunctionRate's
    for (int k = 0; k < 64; ++k) {
        const double back = std::ldexp(1.0, k);
        if (!(junction - back > first)) break;
        // The move that the point `back` half-steps before the junction lies on.
        const auto it = std::upper_bound(moves_.begin(), moves_.end(), junction - back,
                                         [](double at, const Entry& e) { return at < e.endLength; });
        const auto i = static_cast<std::size_t>(it - moves_.begin());
        if (i >= last) continue;
        last = i;
        const PlannedMove& a = moves_[i].move;
        const double jump = std::max(std::fabs(ux - a.dx / a.length), std::fabs(uy - a.dy / a.length));
        if (!(jump > 1e-12)) continue;
        // v * jump <= start rate + accel * between / v, the largest v.
        const double between = junction - moves_[i].endLength;
        best = std::min(best, (start_ + std::sqrt(start_ * start_ + 4 * jump * accel * between)) / (2 * jump));
    }
    return std::max(best, start_);
}

double PlanWindow::lengthAfterFront() const {
    if (moves_.empty()) return 0;
    return moves_.back().endLength - moves_.front().endLength;
}

double PlanWindow::exitRate(const MachineSettings& m) const {
    const double start = StartRate(m);
    if (moves_.empty()) return start;
    const double origin = twoAccel_ * moves_.front().endLength;
    double best2 = start * start + twoAccel_ * lengthAfterFront();
    if (!bounds_.empty()) best2 = std::min(best2, bounds_.front().key - origin);
    return std::sqrt(std::max(best2, 0.0));
}

std::int64_t MotionPlan::periodNs(const MachineSettings& m, std::int64_t setPeriodNs,
                                  double distance, double bound, double remaining, double cap) {
    const double start = StartRate(m);
    const double twoAd = 2 * m.accel * distance;
    if (setPeriodNs < 0) setPeriodNs = 0;
    const double set = setPeriodNs > 0 ? 1e9 / static_cast<double>(setPeriodNs) : kInf;
    double v = 0;
    if (rate <= 0) {
        v = std::min(start, set);  // from rest
    } else if (set >= rate) {
        v = std::min(set, std::sqrt(rate * rate + twoAd));
    } else {
        // Slower than now: down by the acceleration, but a rate at or below
        // the start rate may drop at once.
        v = std::max(set, rate > start ? std::max(std::sqrt(std::max(rate * rate - twoAd, 0.0)), start)
                                       : 0.0);
    }
    // Leave room to come down to the bound.
    if (bound > 0) v = std::min(v, std::sqrt(bound * bound + 2 * m.accel * std::max(remaining, 0.0)));
    if (cap > 0) v = std::min(v, cap);
    if (!(v > 0)) v = start;
    rate = v;
    const auto period = static_cast<std::int64_t>(std::llround(distance * 1e9 / v));
    // At the set rate the rounding must not make a pass sooner than it.
    if (v <= set) {
        return std::max(period, static_cast<std::int64_t>(
                                    std::llround(distance * static_cast<double>(setPeriodNs))));
    }
    return period;
}

}  // namespace pm
