// "Calcular Limites" on any file: it moves nothing, pumps twice a character,
// and writes the limits as whole numbers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzRig.h"
#include "job/Limits.h"

namespace {

bool wholeNumber(const std::string& s) {
    if (s.empty()) return false;
    for (const char ch : s) {
        if (ch < '0' || ch > '9') return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    pm::fuzz::MemoryFile plot;
    plot.write(file);
    pm::fuzz::Rig rig;
    rig.run.motorsOn = true;
    rig.run.plotFile = plot.path();
    rig.run.limitX = "old";
    rig.run.limitY = "old";
    const long long x0 = rig.sim.x();
    const long long y0 = rig.sim.y();
    const long long z0 = rig.sim.z();
    const long long cap = 2 * static_cast<long long>(size) + 4;
    pm::fuzz::PumpWatch watch(rig, cap + 1, 0);

    const pm::PlotRun run = pm::ScanLimits(rig.ctx);

    PM_FUZZ_CHECK(run.end == pm::PlotEnd::EndOfFile, "the scan did not reach the end of the file");
    PM_FUZZ_CHECK(watch.pumps() <= cap, "the scan pumped more than twice a character");
    PM_FUZZ_CHECK(rig.events.plotStartAllowed && rig.events.jogAllowed,
                  "a control left disabled after the scan");
    PM_FUZZ_CHECK(rig.events.running == pm::Operation::None, "the scan still marked as running");
    PM_FUZZ_CHECK(rig.sim.x() == x0 && rig.sim.y() == y0 && rig.sim.z() == z0 &&
                      rig.sim.dataRegister() == 0 && rig.sim.controlRegister() == 11,
                  "the scan wrote to the machine");
    PM_FUZZ_CHECK(rig.st.CurrentX == 0 && rig.st.CurrentY == 0, "the scan left a position");
    PM_FUZZ_CHECK(wholeNumber(rig.run.limitX) && wholeNumber(rig.run.limitY),
                  "a limit that is not a whole number");
    PM_FUZZ_CHECK(rig.events.list.empty() && rig.events.dotCount == 0, "the scan listed or drew");
    return 0;
}
