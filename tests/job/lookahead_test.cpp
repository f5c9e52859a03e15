// Look-ahead over the job's moves, checked on random polylines from the
// port trace: the walk keeps within the acceleration from step to step,
// takes every junction without an axis jumping by more than the start rate,
// draws the same path as without ramps, and the estimate is the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "Rig.h"
#include "job/Estimate.h"
#include "homing/Homing.h"
#include "job/Job.h"
#include "jog/Jog.h"

namespace pm::test {
namespace {

struct Vertex {
    long x, y;
    bool up;  // reached with the pen up
};

// A seeded polyline: runs of gentle curves of short and long chords, sharp
// corners and reversals now and then, and a pen change every so often.
std::vector<Vertex> RandomPolyline(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<Vertex> v;
    double x = 0, y = 0, heading = 0;
    bool up = true;
    for (int i = 0; i < 80; ++i) {
        const double r = unit(rng);
        if (r < 0.15) heading += (unit(rng) - 0.5) * 2 * M_PI;       // any corner
        else heading += (unit(rng) - 0.5) * 0.1;                      // a gentle curve
        const double len = unit(rng) < 0.3 ? 1 + unit(rng) * 6 : 10 + unit(rng) * 300;
        x += len * std::cos(heading);
        y += len * std::sin(heading);
        if (i == 1 || unit(rng) < 0.05) up = !up;
        v.push_back({std::lround(x), std::lround(y), up});
    }
    return v;
}

std::string PlotText(const std::vector<Vertex>& v) {
    std::string s = "IN;";
    for (const Vertex& p : v) {
        s += (p.up ? "PU" : "PD") + std::to_string(p.x) + "," + std::to_string(p.y) + ";";
        if (p.x % 7 == 0) s += "SP1;";  // statements that move nothing lie between the moves
    }
    return s + "PU;";
}

struct Pass {
    double x, y;
    std::int64_t t;
};

struct JobTrace {
    std::vector<Pass> passes;  // one per dot, with the time of its write
    std::vector<std::string> dots;
    std::int64_t ns = 0;
    long long missed = 0;
    double endX = 0, endY = 0;  // CurrentX, CurrentY at the end
    long long movedX = 0, movedY = 0;  // the machine's own
};

// The job on `path` with these settings, motors on, preview scale 1.
JobTrace TracedJob(const std::string& path, const MachineSettings& m, int speed,
           const std::function<void(Rig&)>& script = {}, bool stalls = false) {
    Rig r;
    if (stalls) {  // motors that start and accelerate as the settings say, no better
        r.sim.setMotorLimits(m.startRate, m.accel);
        r.sim.setTimeSource([&r] { return r.clock.nowNs(); });
    }
    r.st.Settings = m;
    r.run.motorsOn = true;
    r.run.previewScale = 1;
    r.run.speed = speed;
    r.run.divisor = "1";
    r.run.plotFile = path;
    JobTrace out;
    std::vector<std::size_t> at;
    r.events.onDot = [&](float x, float y, std::uint32_t colour) {
        out.passes.push_back({static_cast<double>(x), kPreviewBase - static_cast<double>(y), 0});
        at.push_back(r.port.accesses().size());
        out.dots.push_back(std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(colour));
    };
    if (script) r.pump.onPump = [&] { script(r); };
    const long long x0 = r.sim.x(), y0 = r.sim.y();
    pm::RunJob(r.c);
    out.endX = r.st.CurrentX;
    out.endY = r.st.CurrentY;
    out.movedX = r.sim.x() - x0;
    out.movedY = r.sim.y() - y0;
    const auto& log = r.port.accesses();
    std::size_t k = 0;
    for (std::size_t i = 0; i < at.size(); ++i) {
        k = std::max(k, at[i]);
        while (k < log.size() && !(log[k].kind == 'W' && log[k].address == kDataReg)) ++k;
        EXPECT_LT(k, log.size());
        if (k < log.size()) out.passes[i].t = log[k].tNs;
    }
    out.ns = r.clock.nowNs();
    out.missed = r.sim.missedSteps();
    return out;
}

struct Step {
    double x, y;
    std::int64_t t;
    double rate;  // half-steps a second from the step before (major axis)
};

// The passes that moved the walk, with their rates.
std::vector<Step> Steps(const JobTrace& run) {
    std::vector<Step> s;
    for (std::size_t i = 1; i < run.passes.size(); ++i) {
        const Pass& a = run.passes[i - 1];
        const Pass& b = run.passes[i];
        if (a.x == b.x && a.y == b.y) continue;
        const std::int64_t prev = s.empty() ? a.t : s.back().t;
        s.push_back({b.x, b.y, b.t, b.t > prev ? 1e9 / static_cast<double>(b.t - prev) : 1e300});
    }
    return s;
}

// Within the acceleration from one step to the next, above the start rate
// (to the rounding of each period to a whole ns).
void ExpectWithinAcceleration(const std::vector<Step>& s, const MachineSettings& m) {
    for (std::size_t i = 1; i < s.size(); ++i) {
        // A motor at or below the start rate may take the start rate at once.
        const double a = std::max(s[i - 1].rate, m.startRate);
        const double b = s[i].rate;
        if (std::max(a, b) <= m.startRate * 1.0001) continue;
        const double rounding = 4 * std::max(a, b) * std::max(a, b) * std::max(a, b) / 1e9;
        ASSERT_LE(std::fabs(b * b - a * a), 2 * m.accel * 1.001 + rounding)
            << "step " << i << " at (" << s[i].x << ", " << s[i].y << "): " << a << " then " << b
            << " half-steps/s";
    }
}

// At every vertex between two moves of the same pen, the axes change their
// speed by no more than the start rate at the rate the walk passes it; where
// the pen changes, the walk is down to the start rate.
void ExpectJunctions(const std::vector<Step>& s, const std::vector<Vertex>& poly,
                     const MachineSettings& m) {
    std::vector<Vertex> v{{0, 0, true}};
    for (const Vertex& p : poly) {
        if (p.x != v.back().x || p.y != v.back().y) v.push_back(p);
    }
    std::size_t next = 1;
    int junctions = 0;
    for (std::size_t i = 0; i + 1 < s.size() && next + 1 < v.size(); ++i) {
        if (s[i].x != static_cast<double>(v[next].x) || s[i].y != static_cast<double>(v[next].y)) continue;
        const Vertex& a = v[next - 1];
        const Vertex& b = v[next];
        const Vertex& c = v[next + 1];
        ++next;
        const double rate = std::max(s[i].rate, s[i + 1].rate);
        if (b.up != c.up) {
            EXPECT_LE(s[i].rate, m.startRate * 1.001) << "stop at (" << b.x << ", " << b.y << ")";
            continue;
        }
        if (rate <= m.startRate * 1.001) continue;
        const double am = std::max(std::labs(b.x - a.x), std::labs(b.y - a.y));
        const double bm = std::max(std::labs(c.x - b.x), std::labs(c.y - b.y));
        const double jump = std::max(std::fabs((c.x - b.x) / bm - (b.x - a.x) / am),
                                     std::fabs((c.y - b.y) / bm - (b.y - a.y) / am));
        EXPECT_LE(rate * jump, m.startRate * 1.01)
            << "junction at (" << b.x << ", " << b.y << "), rate " << rate;
        ++junctions;
    }
    EXPECT_EQ(next + 1, v.size()) << "the walk did not pass every vertex";
    EXPECT_GT(junctions, 0);
}

MachineSettings Ramps(double accel, double start, int lookahead = 64) {
    MachineSettings m;
    m.accel = accel;
    m.startRate = start;
    m.lookahead = lookahead;
    return m;
}

class LookAheadPolyline : public ::testing::TestWithParam<unsigned> {};

TEST_P(LookAheadPolyline, KeepsTheConstraintsAndThePath) {
    const unsigned seed = GetParam();
    const std::vector<Vertex> poly = RandomPolyline(seed);
    const std::string path = WritePlotFile(PlotText(poly));
    const double accels[] = {5000, 20000, 200000};
    const double starts[] = {150, 400};
    const int speeds[] = {1, 2, 6};
    const MachineSettings m = Ramps(accels[seed % 3], starts[seed / 3 % 2]);
    const int speed = speeds[seed / 6 % 3];
    SCOPED_TRACE(testing::Message() << "seed " << seed << ", accel " << m.accel << ", start rate "
                                    << m.startRate << ", speed " << speed);

    const JobTrace planned = TracedJob(path, m, speed);
    const JobTrace off = TracedJob(path, MachineSettings{}, speed);
    EXPECT_EQ(planned.dots, off.dots);
    EXPECT_EQ(planned.missed, 0);

    const std::vector<Step> s = Steps(planned);
    ExpectWithinAcceleration(s, m);
    ExpectJunctions(s, poly, m);
    // No step faster than the set rate.
    for (const Step& st : s) ASSERT_LE(st.rate, 1e9 / (speed * 1e5) * 1.0001);

    const JobEstimate est = EstimateJob(path, {"1", speed, 1, true, {}, m});
    ASSERT_TRUE(est.ok) << est.error;
    EXPECT_EQ(est.durationNs, planned.ns);
}

INSTANTIATE_TEST_SUITE_P(Seeds, LookAheadPolyline, ::testing::Range(1u, 19u));

// Junctions add up on gentle curves of short chords: motors no better than
// the settings lose no step.
TEST(LookAhead, StallingMotorsMissNoStep) {
    const double pairs[][2] = {{400, 20000}, {300, 10000}, {150, 2000}};
    for (unsigned seed = 1; seed <= 12; ++seed) {
        const std::string path = WritePlotFile(PlotText(RandomPolyline(seed)));
        for (const auto& p : pairs) {
            EXPECT_EQ(TracedJob(path, Ramps(p[1], p[0]), 1, {}, true).missed, 0)
                << "seed " << seed << ", start rate " << p[0] << ", accel " << p[1];
        }
    }
}

// The operator's changes mid-job: a slower speed and back, and a pause.
TEST(LookAhead, SpeedChangeAndPauseKeepTheConstraints) {
    const std::vector<Vertex> poly = RandomPolyline(7);
    const std::string path = WritePlotFile(PlotText(poly));
    const MachineSettings m = Ramps(20000, 400);
    const JobTrace plain = TracedJob(path, m, 1);
    const JobTrace changed = TracedJob(path, m, 1, [t = plain.ns](Rig& r) {
        const std::int64_t now = r.clock.nowNs();
        r.run.speed = now > t / 5 && now < t / 3 ? 8 : 1;
        if (now > t / 2 && now < t * 6 / 10) PauseJob(r.c);
        if (now > t * 7 / 10) ContinueJob(r.c);
    });
    EXPECT_EQ(changed.dots, plain.dots);
    EXPECT_EQ(changed.missed, 0);
    EXPECT_GT(changed.ns, plain.ns);
    const std::vector<Step> s = Steps(changed);
    ExpectWithinAcceleration(s, m);
    // The slower speed was reached, through the acceleration.
    EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](const Step& st) {
        return std::fabs(st.rate - 1250) < 1;
    }));
}

// "Cancelar" at full speed: the walk slows down at the acceleration and
// stops at the start rate, on the path, and the machine is where the
// program counted it.
TEST(LookAhead, CancelAtFullSpeedSlowsDown) {
    const std::string path = WritePlotFile("PU0,0;PD20000,3000;PD0,0;");
    const MachineSettings m = Ramps(20000, 400);
    const JobTrace full = TracedJob(path, m, 1);
    bool cancelled = false;
    const JobTrace stopped = TracedJob(path, m, 1, [&](Rig& r) {
        if (!cancelled && r.clock.nowNs() > full.ns / 4) {
            CancelRun(r.c);
            cancelled = true;
        }
    });
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(stopped.missed, 0);
    const std::vector<Step> s = Steps(stopped);
    ASSERT_GT(s.size(), 3000u);
    ExpectWithinAcceleration(s, m);
    EXPECT_LE(s.back().rate, 400 * 1.001);
    // The path walked is the start of the whole job's path.
    ASSERT_LT(stopped.dots.size(), full.dots.size());
    EXPECT_TRUE(std::equal(stopped.dots.begin(), stopped.dots.end(), full.dots.begin()));
}

// Half-steps the job has walked from its origin, as the machine counts them.
long long WalkedX(const Rig& r) { return r.st.Position.X - r.st.Position.JobOriginX; }

// "Cancelar" at full speed shortly before a junction passed fast: the walk
// slows down across it, within the acceleration and the junction's rate,
// and stops where the program counts it.
TEST(LookAhead, CancelNearAMoveEndSlowsDownAcrossTheJunction) {
    const std::string path = WritePlotFile("PU0,0;PD20000,0;PD40000,1000;PD60000,2000;");
    const MachineSettings m = Ramps(20000, 400);
    bool cancelled = false;
    const JobTrace t = TracedJob(path, m, 1, [&](Rig& r) {
        if (!cancelled && WalkedX(r) >= 19000) {
            CancelRun(r.c);
            cancelled = true;
        }
    });
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(t.missed, 0);
    const std::vector<Step> s = Steps(t);
    ExpectWithinAcceleration(s, m);
    const auto at = [&](double x) {
        return std::find_if(s.begin(), s.end(), [x](const Step& st) { return st.x == x; });
    };
    ASSERT_NE(at(20000), s.end());
    EXPECT_NEAR(at(19000)->rate, 10000, 1);  // full speed at the cancel
    // The junction turns Y by 1/20 of the pass rate: at most the start rate.
    EXPECT_LE(std::max(at(20000)->rate, std::next(at(20000))->rate) / 20, 400 * 1.01);
    EXPECT_GT(s.back().x, 20000);
    EXPECT_LE(s.back().rate, 400 * 1.001);
    EXPECT_EQ(t.endX, s.back().x);
    EXPECT_EQ(t.endY, s.back().y);
    EXPECT_EQ(static_cast<double>(t.movedX), t.endX);
    EXPECT_EQ(static_cast<double>(t.movedY), t.endY);
}

// A new divisor mid-move turns the next junction into a reversal: the move
// being walked slows down to it.
TEST(LookAhead, NewDivisorReplansTheMoveBeingWalked) {
    const std::string path = WritePlotFile("PU0,0;PD20000,0;PD40000,0;PD60000,0;");
    const MachineSettings m = Ramps(20000, 400);
    const JobTrace t = TracedJob(path, m, 1, [](Rig& r) {
        if (WalkedX(r) >= 5000) r.run.divisor = "4";
    });
    const std::vector<Step> s = Steps(t);
    ExpectWithinAcceleration(s, m);
    const auto turn = std::find_if(s.begin(), s.end(), [](const Step& st) { return st.x == 20000; });
    ASSERT_NE(turn, s.end());
    ASSERT_NE(std::next(turn), s.end());
    EXPECT_LE(std::max(turn->rate, std::next(turn)->rate), 400 * 1.001);
    EXPECT_EQ(s.back().x, 15000);
}

// A straight line of many short chords runs at the set rate in its middle,
// where stopping at every chord would crawl; look-ahead 0 does that.
TEST(LookAhead, ShortChordsInALineKeepTheSetRate) {
    std::string text = "PU0,0;";
    for (int i = 1; i <= 2000; ++i) text += "PD" + std::to_string(i * 5) + "," + std::to_string(i * 2) + ";";
    const std::string path = WritePlotFile(text);
    const JobTrace planned = TracedJob(path, Ramps(20000, 400), 1);
    const JobTrace corners = TracedJob(path, Ramps(20000, 400, 0), 1);
    const std::vector<Step> s = Steps(planned);
    ASSERT_GT(s.size(), 1000u);
    EXPECT_NEAR(s[s.size() / 2].rate, 10000, 1);
    EXPECT_LT(planned.ns * 3, corners.ns);
}

// With the ramps on, the moves without a ramp of their own keep within the
// start rate: every write of Home XY, Home Z, the lift and lower of a job
// and the jog pad comes at least one start period after the one before on
// its register. With the ramps off they keep their fixed pauses.
TEST(LookAhead, UnrampedMotionsKeepWithinTheStartRate) {
    const std::string path = WritePlotFile("PU0,0;PD40,0;PU;");
    for (const double accel : {0.0, 20000.0}) {
        SCOPED_TRACE(testing::Message() << "accel " << accel);
        Rig r;
        r.st.Settings = Ramps(accel, 150);
        r.run.motorsOn = true;
        r.run.plotFile = path;
        HomeXY(r.c);
        HomeZ(r.c);
        JogZUp(r.c);  // the jog pad
        JogZDownAndRelease(r.c);
        pm::RunJob(r.c);
        std::int64_t shortest[2] = {INT64_MAX, INT64_MAX};
        std::int64_t last[2] = {-1, -1};
        for (const auto& a : r.port.accesses()) {
            if (a.kind != 'W') continue;
            const int reg = a.address == kDataReg ? 0 : 1;
            // Coils off (data 0, Z release) end a move; they are no step.
            if (a.value == 0 || (reg == 1 && a.value == kZRelease)) {
                last[reg] = -1;
                continue;
            }
            if (last[reg] >= 0 && a.tNs > last[reg]) shortest[reg] = std::min(shortest[reg], a.tNs - last[reg]);
            last[reg] = a.tNs;
        }
        const std::int64_t start = 1'000'000'000 / 150 - 1;
        if (accel > 0) {
            EXPECT_GE(shortest[1], start);  // Z
            EXPECT_GE(shortest[0], std::min<std::int64_t>(start, 20 * 100'000));  // XY, speed 20 is slower
        } else {
            EXPECT_LT(shortest[1], start);
        }
    }
}

}  // namespace
}  // namespace pm::test
