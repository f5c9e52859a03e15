#pragma once
#include <cstdint>
#include <deque>
#include <functional>

#include "motion/MachineSettings.h"

namespace pm {

// Look-ahead over the moves of a job with ramps on. The job knows the moves
// that follow the one it runs (up to a pen change, a pause or the file's
// end); from them it plans the highest rate at which each move may end so
// that every move after it can still slow down at the acceleration to each
// junction's rate and, at the end of what it knows, to the start rate.
// The walk then keeps its rate through a junction instead of stopping.
//
// Rates are pass rates: passes (half-steps of the move's major axis) per
// second. An axis runs at the pass rate times its share of the major axis,
// so no axis ever goes faster, or changes its speed faster, than the pass
// rate does.

// One move as the planner sees it: its deltas in half-steps and its length,
// the major delta: about as many steps as the walk takes along it (a move
// shorter than a half-step may still take one where its rounding crosses);
// and where it ends, the walk's target.
struct PlannedMove {
    double dx = 0;
    double dy = 0;
    double length = 0;
    double endX = 0;
    double endY = 0;
};

// The length of a move of these deltas: the larger of |dx| and |dy| (0 when
// not finite).
double MoveLength(double dx, double dy);

// The highest pass rate at which the walk may pass from a move of deltas
// (ax, ay) to one of (bx, by) with neither axis changing its speed by more
// than the start rate: startRate / max(|ux - vx|, |uy - vy|), u and v the
// two directions scaled so that their major axis is 1; but never below the
// start rate, at which a motor may stop, start and reverse, so that a sharp
// corner is taken as a stop takes it. A straight continuation has no limit
// (infinity).
double JunctionRate(double startRate, double ax, double ay, double bx, double by);

// The moves a job has read ahead of the one it walks, in order: the front
// is the move the walk is on. Each junction between two of them gets its
// rate (JunctionRate, and spreadRate for the changes that add up over short
// moves before it); the front may end no faster than the rate from which
// the walk can still slow down, at the acceleration, to every junction's
// rate after it and to the start rate after the last move known. Pushing at
// the back and popping at the front cost O(1) (amortized): the smallest
// bound is kept in a queue of increasing bounds, each raised by the
// half-steps from a fixed origin.
class PlanWindow {
public:
    void clear();
    // Moves of no length are passed over by the caller.
    void push(const PlannedMove& mv, std::uint64_t tag);
    void pop();
    bool empty() const { return moves_.empty(); }
    std::size_t size() const { return moves_.size(); }
    const PlannedMove& front() const { return moves_.front().move; }
    std::uint64_t frontTag() const { return moves_.front().tag; }
    // The move after the front (size() > 1).
    const PlannedMove& next() const { return moves_[1].move; }
    std::uint64_t nextTag() const { return moves_[1].tag; }
    const PlannedMove& back() const { return moves_.back().move; }
    // Half-steps of the moves after the front.
    double lengthAfterFront() const;
    // The highest rate at which the front may end (startRate and accel from m).
    double exitRate(const MachineSettings& m) const;

private:
    // The share of the acceleration a junction's speed changes may take over
    // the moves before it; the rest is left to the changes of the rate.
    static constexpr double kSpreadShare = 0.8;
    struct Entry {
        PlannedMove move;
        std::uint64_t tag = 0;
        double endLength = 0;  // half-steps from the origin to the move's end
    };
    struct Bound {
        std::uint64_t serial = 0;  // of the move before the junction
        double key = 0;            // junction rate^2 + 2a x half-steps to the junction
    };
    // The highest rate of the junction between the back move and mv at which
    // every axis' speed change from a point before it (1, 2, 4, ... half-steps
    // back, within the window) is no more than the start rate plus what
    // kSpreadShare of the acceleration adds over the moves between; never
    // below the start rate. O(log^2 n).
    double spreadRate(const PlannedMove& mv) const;
    std::deque<Entry> moves_;
    std::deque<Bound> bounds_;
    std::uint64_t serial_ = 0;      // of the next move pushed
    std::uint64_t frontSerial_ = 0;
    double twoAccel_ = 0;
    double start_ = 1;
    bool keyed_ = false;  // twoAccel_ and start_ set
public:
    // The settings the keys are taken with; a change clears the window.
    void setMachine(const MachineSettings& m);
};

// What the running job tells the XY walk about the moves around the one it
// walks, and the walk's rate that carries from one move to the next.
struct MotionPlan {
    // The job plans ahead: the ramps are on and the look-ahead is not 0.
    bool active = false;
    // The highest rate of the next move's last step: the rate of the
    // junction after it, or the start rate when a stop follows.
    double exitRate = 0;
    // The next move ends at a stop (a lift or lower, a pause, the file's end).
    bool stopAtEnd = true;
    // The walk's rate, 0 at rest.
    double rate = 0;
    // The highest rate at the start of the next move: the rate planned for
    // the junction before it (0: none, the walk is at rest).
    double entryLimit = 0;
    // What is left of the last move after its last pass, in half-steps: the
    // fraction of a real delta, walked before the next move's first pass.
    double pending = 0;
    // When the walk's last paced pass was written (-1: none yet).
    std::int64_t lastPassNs = -1;
    // Asked by the walk once a pass, after the pump: the job plans again
    // when the operator changed what its plan was made from (the divisor),
    // so that the move being walked ends at the new plan's rate.
    std::function<void()> replan;

    // The time in ns from the last paced pass to the next, `distance`
    // half-steps further along, given the set period in ns as it stands now
    // (0: no limit). The rate rises from the walk's by at most the
    // acceleration over that distance (from rest: the start rate), falls by
    // at most as much down to the start rate and at once below it, and
    // leaves room to come down to `bound` in `remaining` half-steps more
    // (no bound when 0); never above `cap` (none when 0).
    std::int64_t periodNs(const MachineSettings& m, std::int64_t setPeriodNs, double distance,
                          double bound, double remaining, double cap);
};

}  // namespace pm
