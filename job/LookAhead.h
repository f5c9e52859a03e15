#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "job/PlotFile.h"
#include "motion/Context.h"
#include "motion/Planner.h"

namespace pm {

// The statements after the one the job runs, read from a reader of the plot
// file of their own, so that the job can plan its moves ahead without
// listing or drawing anything before its turn. Only what can move the
// machine or change the tool is kept: the pen statements and the pairs, in
// file units (the divisor may still change before their turn).
class LookAhead {
public:
    struct Item {
        std::uint64_t statement = 0;  // counted from 1, as the job counts them
        bool penUp = false;
        bool penDown = false;
        bool hasPair = false;
        double x = 0;  // LeadingNumber of the X and Y texts
        double y = 0;
    };

    // Opens the file from its start; false when it cannot be read (the job
    // then plans nothing ahead: every move ends at a stop).
    bool open(const std::string& path);
    bool isOpen() const { return open_; }

    // Forgets the statements up to `statement` (the one the job has handled).
    // Returns how many were kept until now.
    std::size_t dropThrough(std::uint64_t statement);
    // Reads on until one more statement is kept; false at the file's end.
    bool readOne();

    std::size_t size() const { return items_.size(); }
    const Item& operator[](std::size_t i) const { return items_[i]; }

private:
    PlotFile file_;
    bool open_ = false;
    std::string text_;
    std::uint64_t statements_ = 0;  // statements read
    std::uint64_t dropped_ = 0;     // statements the job has handled
    std::deque<Item> items_;
};

// The job's planner: the moves read ahead, as the planner's window, and
// what is needed to extend it. Before each move the job asks plan(), which
// sets the machine state's plan for the walk.
class JobPlanner {
public:
    // Opens the plot file for reading ahead; false when it cannot be read.
    bool open(const std::string& path) { return ahead_.open(path); }

    // Plans the move from (CurrentX, CurrentY) to (TargetX, TargetY) that the
    // job is about to walk for `statement`: the highest rate at which it may
    // end, from the moves that follow it in the same pen state (at least the
    // settings' look-ahead of them, and as many more as the steps to slow
    // down from the set rate take), and whether a stop follows it.
    void plan(Context& c, std::uint64_t statement);

    // Asked once a pass of the move being walked: when the divisor changed,
    // the moves after it are read again with the new one and the move's
    // exit rate follows them.
    void followDivisor(Context& c);

    // "Cancelar" with the walk above the start rate: it goes on along the
    // moves planned after the one it walked, slowing down at the
    // acceleration, and stops where it reaches the start rate. Nothing is
    // listed; the target is left cleared, as the cancel left it.
    void runOut(Context& c);

    // The most statements read ahead at once.
    static constexpr std::size_t kMaxItems = 65536;

private:
    void restart(Context& c, const PlannedMove& front, std::uint64_t statement, double divisor);
    // Reads on until the window holds what the plan needs, and sets the
    // walk's exit rate for the front.
    void extend(Context& c);

    LookAhead ahead_;
    PlanWindow window_;
    std::size_t cursor_ = 0;  // items of ahead_ already in the window (or passed over)
    double backX_ = 0;        // where the window's last move ends
    double backY_ = 0;
    double divisor_ = 1;
    std::string divisorText_;  // the divisor's text the window was read with
    std::string mode_;
    bool stopped_ = false;    // a stop follows the window's last move
};

}  // namespace pm
