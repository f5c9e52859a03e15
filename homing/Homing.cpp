#include "homing/Homing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "motion/Motion.h"
#include "motion/SwitchPoll.h"

namespace pm {

namespace {

// Status bits 3 and 4: 1 while the Y and the X switch are open.
constexpr int kYHomeBit = wiring::kYHomeStatusBit;
constexpr int kXHomeBit = wiring::kXHomeStatusBit;
// Home XY drives two Z lines at once, which holds the Z motor without
// turning it.
constexpr std::int16_t kHomeXYControl = 1;

// What a counter adds to pick its drive-table entry, so that the first
// pattern of the homing is the one the motor holds (the counter's own
// residue when the motor has held nothing since the program started).
int HomeShift(std::int32_t start, int held) {
    if (held < 0) return 0;
    return static_cast<int>(((held - start % 8) % 8 + 8) % 8);
}

}  // namespace

std::string HomeSwitchNotFound(bool x, bool y) {
    return HomeSwitchNotFound(x, y, kHomeSteps, kHomeSteps);
}

std::string HomeSwitchNotFound(bool x, bool y, std::int32_t stepsX, std::int32_t stepsY) {
    const std::string steps = std::to_string(x ? stepsX : stepsY);
    if (x && y) {
        const std::string both =
            stepsX == stepsY ? steps : std::to_string(stepsX) + " e " + std::to_string(stepsY);
        return "As chaves de origem dos eixos X e Y não foram encontradas: os eixos andaram " +
               both +
               " meios-passos sem que as chaves fechassem. Os motores foram desligados. "
               "Verifique as chaves e as suas ligações.";
    }
    return std::string("A chave de origem do eixo ") + (x ? "X" : "Y") +
           " não foi encontrada: o eixo andou " + steps +
           " meios-passos sem que a chave fechasse. Os motores foram desligados. "
           "Verifique a chave e a sua ligação.";
}

namespace {

// How a walk towards the home switches ended.
struct HomeWalk {
    bool lostX = false;
    bool lostY = false;
    std::int32_t allowX = 0;
    std::int32_t allowY = 0;
    // Where the program counted the axes when both switches closed (home).
    long long atX = 0;
    long long atY = 0;
};

// The passes of Home XY, `pause` counts after each, then every coil off.
HomeWalk WalkHome(Context& c, long pause) {
    HomeWalk w;
    w.allowX = HomeAllowanceSteps(c.st.Settings, AxisXY::X);
    w.allowY = HomeAllowanceSteps(c.st.Settings, AxisXY::Y);
    std::int32_t countX = w.allowX;
    std::int32_t countY = w.allowY;
    const int shiftX = HomeShift(countX, c.st.Position.PhaseX);
    const int shiftY = HomeShift(countY, c.st.Position.PhaseY);
    c.port.vbOut(kControlReg, kHomeXYControl);
    bool open = true;
    do {
        if (c.pump.quitting()) break;
        const bool stepY = (c.port.vbInp(kStatusReg) & kYHomeBit) != 0;
        const bool stepX = (c.port.vbInp(kStatusReg) & kXHomeBit) != 0;
        // A counter at 0 has walked the whole allowance: one more half-step
        // would need a pattern below the start of the tables.
        w.lostY = stepY && countY == 0;
        w.lostX = stepX && countX == 0;
        if (w.lostX || w.lostY) break;
        if (stepY) --countY;
        if (stepX) --countX;
        const int ix = (countX + shiftX) % 8;
        const int iy = (countY + shiftY) % 8;
        c.port.vbOut(kDataReg,
                     static_cast<std::int16_t>(c.st.PhaseTableX[ix] + c.st.PhaseTableY[iy]));
        CountXYWrite(c.st.Position, ix, iy);
        c.clock.SpinDelay(pause);
        const int first = c.port.vbInp(kStatusReg);
        const int second = c.port.vbInp(kStatusReg);
        open = (second & kXHomeBit) != 0 || (first & kYHomeBit) != 0;
    } while (open);
    w.atX = c.st.Position.X;
    w.atY = c.st.Position.Y;

    ReleaseMotors(c);
    if (w.lostX || w.lostY) {
        LostXY(c.st.Position);
    } else {
        HomedXYHere(c.st.Position);
    }
    return w;
}

}  // namespace

void HomeXY(Context& c) {
    if (!BeginOperation(c, Operation::HomeXY)) return;
    c.events.Blocking(true);
    const HomeWalk w = WalkHome(c, StepPause(c, kHomePause));
    c.events.Blocking(false);
    EndOperation(c);
    if (w.lostX || w.lostY) c.events.Message(HomeSwitchNotFound(w.lostX, w.lostY, w.allowX, w.allowY));
}

std::string PositionCheckText(const PositionCheck& check) {
    if (check.driftX == 0 && check.driftY == 0) return "Nenhum passo perdido";
    return "X perdeu " + std::to_string(std::llabs(check.driftX)) + " meios-passos, Y " +
           std::to_string(std::llabs(check.driftY));
}

PositionCheck CheckPosition(Context& c) {
    PositionCheck check;
    if (!BeginOperation(c, Operation::HomeXY)) return check;
    c.events.Blocking(true);
    // The play is taken up towards home first, as a walk down would, so
    // that each half-step counted moves the tool.
    c.port.vbOut(kControlReg, kHomeXYControl);
    TakeUpPlay(c, -1, -1);
    // Slowly: never faster than the start rate, ramps or not.
    const double startNs = 1e9 / std::max(1.0, c.st.Settings.startRate);
    const auto startCounts =
        static_cast<long>(std::ceil(startNs / static_cast<double>(c.clock.countNs())));
    const HomeWalk w = WalkHome(c, std::max(kHomePause, startCounts));
    c.events.Blocking(false);
    EndOperation(c);
    if (w.lostX || w.lostY) {
        c.events.Message(HomeSwitchNotFound(w.lostX, w.lostY, w.allowX, w.allowY));
        return check;
    }
    check.done = true;
    // The machine is at home; the program counts it where the walk left it.
    check.driftX = -w.atX;
    check.driftY = -w.atY;
    c.events.Message(PositionCheckText(check));
    return check;
}

void HomeZ(Context& c) {
    if (!BeginOperation(c, Operation::HomeZ)) return;
    // A cancel left over from an earlier job or scan would stop this homing
    // before its first cycle; only a "Cancelar" pressed while it runs should.
    c.st.CancelRequested = false;

    std::int16_t cycles = 0;
    const bool full = LiftToTop(c, kJogPause, cycles) == LiftEnd::Full;
    // Nothing is released: the last phase, 3, holds the tool at the top.
    if (ZTopClosed(c)) HomedZHere(c.st.Position);
    EndOperation(c);
    if (full) c.events.Message(kZTopNotFound);
}

}  // namespace pm
