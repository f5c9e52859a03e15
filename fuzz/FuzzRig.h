#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "motion/HeadlessMachine.h"

namespace pm::fuzz {

// A plot file in memory, reachable by a path, so that the job and the scan
// open it as they open any file, without touching the disk.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("plot", 0)) {
        PM_FUZZ_CHECK(fd_ >= 0, "memfd_create");
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile() { ::close(fd_); }

    void write(std::string_view bytes) {
        PM_FUZZ_CHECK(::ftruncate(fd_, 0) == 0, "ftruncate");
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                       static_cast<off_t>(done));
            PM_FUZZ_CHECK(n > 0, "pwrite");
            done += static_cast<std::size_t>(n);
        }
    }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

// The simulated machine as the headless runner sets it up, its parts by name.
struct Rig {
    HeadlessMachine machine;
    Clock& clock = machine.clock();
    SimulatedMachine& sim = *machine.sim();
    MachineState& st = machine.state();
    RunSettings& run = machine.run();
    HeadlessEvents& events = machine.events();
    HeadlessPump& pump = machine.pump();
    Context& ctx = machine.context();
};

// Stops a run that goes on too long by asking it to cancel, as the operator
// would, and fails when it then does not stop at once or when it pumps on
// while the clock stands still (stallLimit > 0: a run that waits on the
// clock between its pumps).
class PumpWatch {
public:
    PumpWatch(Rig& rig, long long cap, long long stallLimit)
        : rig_(rig), cap_(cap), stallLimit_(stallLimit) {
        rig_.pump.onPump = [this] { pump(); };
    }
    bool capped() const { return cappedAt_ >= 0; }
    long long pumps() const { return pumps_; }

private:
    void pump() {
        ++pumps_;
        const std::int64_t now = rig_.clock.nowNs();
        if (now != lastNow_) {
            lastNow_ = now;
            still_ = 0;
        } else if (stallLimit_ > 0) {
            ++still_;
            PM_FUZZ_CHECK(still_ <= stallLimit_, "pumping on while the clock stands still");
        }
        if (cappedAt_ < 0 && pumps_ >= cap_) {
            cappedAt_ = pumps_;
            rig_.st.CancelRequested = true;
        }
        if (cappedAt_ >= 0) {
            PM_FUZZ_CHECK(pumps_ - cappedAt_ <= 8, "still running after Cancelar");
        }
    }

    Rig& rig_;
    long long cap_;
    long long stallLimit_;
    long long pumps_ = 0;
    long long cappedAt_ = -1;
    std::int64_t lastNow_ = -1;
    long long still_ = 0;
};

}  // namespace pm::fuzz
