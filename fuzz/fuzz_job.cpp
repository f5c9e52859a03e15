// A whole job on the simulated machine and the virtual clock, from any file.
// Input: one byte of settings (bit 0 "Ativar Motores", bits 1-2 the mode
// left by an earlier job, the rest the speed), then the divisor text up to
// the first line feed, then the plot file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzRig.h"
#include "job/Job.h"

namespace {

constexpr long long kPumpCap = 20000;
constexpr long long kStallLimit = 16;

long long countOf(std::string_view s, char ch) {
    long long n = 0;
    for (const char c : s) n += c == ch ? 1 : 0;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view in(reinterpret_cast<const char*>(data), size);
    if (in.empty()) return 0;
    const auto settings = static_cast<unsigned char>(in.front());
    in.remove_prefix(1);
    const std::size_t eol = in.find('\n');
    if (eol == std::string_view::npos || eol > 32) return -1;  // not a useful input
    const std::string divisor(in.substr(0, eol));
    const std::string_view file = in.substr(eol + 1);

    pm::fuzz::MemoryFile plot;
    plot.write(file);
    pm::fuzz::Rig rig;
    const long long x0 = rig.sim.x();
    const long long y0 = rig.sim.y();
    const long long z0 = rig.sim.z();
    const bool motors = (settings & 1) != 0;
    rig.run.motorsOn = motors;
    static const char* const kModes[] = {"", "M", "D", ""};
    rig.st.MoveMode = kModes[(settings >> 1) & 3];
    rig.run.speed = 1 + (settings >> 3) % 40;
    rig.run.divisor = divisor;
    rig.run.plotFile = plot.path();
    pm::fuzz::PumpWatch watch(rig, kPumpCap, kStallLimit);

    const pm::PlotRun run = pm::RunJob(rig.ctx);

    PM_FUZZ_CHECK(run.end == pm::PlotEnd::EndOfFile || run.end == pm::PlotEnd::Cancelled,
                  "the job ended neither at the end of the file nor by Cancelar");
    PM_FUZZ_CHECK(run.end == pm::PlotEnd::EndOfFile || watch.capped(),
                  "the job cancelled itself");
    PM_FUZZ_CHECK(rig.events.plotStartAllowed && rig.events.jogAllowed,
                  "a control left disabled after the job");
    PM_FUZZ_CHECK(rig.events.running == pm::Operation::None, "the job still marked as running");
    PM_FUZZ_CHECK(std::isfinite(rig.st.CurrentX) && std::isfinite(rig.st.CurrentY) &&
                      std::isfinite(rig.st.TargetX) && std::isfinite(rig.st.TargetY),
                  "a position or target that is not a number");
    PM_FUZZ_CHECK(rig.sim.missedSteps() == 0, "a coil pattern the motor could not follow");
    if (!motors) {
        PM_FUZZ_CHECK(rig.sim.x() == x0 && rig.sim.y() == y0 && rig.sim.z() == z0,
                      "a dry run moved the machine");
    }

    // Past here, a job that read its whole file undisturbed. (One stopped by
    // the cap may still meet the end of the file first, and end normally
    // short of its target.)
    if (run.end != pm::PlotEnd::EndOfFile || watch.capped()) {
        PM_FUZZ_CHECK(run.end != pm::PlotEnd::EndOfFile ||
                          (rig.sim.dataRegister() == 0 && rig.sim.controlRegister() == 11),
                      "coils left on at the end of the job");
        return 0;
    }

    // Every ";" made one listed statement, and the list holds the file up to
    // its last ";" exactly.
    PM_FUZZ_CHECK(static_cast<long long>(rig.events.list.size()) == countOf(file, ';'),
                  "statements listed and \";\" read differ");
    const std::size_t last = file.rfind(';');
    const std::string_view listed = last == std::string_view::npos ? std::string_view()
                                                                    : file.substr(0, last + 1);
    std::size_t at = 0;
    for (std::size_t i = 0; i < rig.events.list.size(); ++i) {
        const std::string_view entry = rig.events.list.at(i);
        PM_FUZZ_CHECK(listed.substr(at, entry.size()) == entry, "a listed statement not as read");
        at += entry.size();
    }
    PM_FUZZ_CHECK(at == listed.size(), "the list does not cover the file");

    PM_FUZZ_CHECK(rig.st.CurrentX == rig.st.TargetX && rig.st.CurrentY == rig.st.TargetY,
                  "the job ended short of its target");
    PM_FUZZ_CHECK(rig.sim.dataRegister() == 0 && rig.sim.controlRegister() == 11,
                  "coils left on at the end of the job");
    if (motors) {
        // The machine stands where the program believes it is, give or take
        // the rounding of a real target to a half-step, and the tool is back
        // down where it started.
        PM_FUZZ_CHECK(std::fabs(static_cast<double>(rig.sim.x() - x0) - rig.st.CurrentX) <= 3 &&
                          std::fabs(static_cast<double>(rig.sim.y() - y0) - rig.st.CurrentY) <= 3,
                      "the machine is not where the program believes it is");
        PM_FUZZ_CHECK(rig.sim.z() == z0, "the tool did not come back down");
    }
    return 0;
}
