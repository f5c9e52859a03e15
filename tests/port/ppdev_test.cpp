#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>

#include <cerrno>
#include <ostream>
#include <optional>

#include "FakeSysCalls.h"
#include "motion/HeadlessMachine.h"
#include "motion/Motion.h"
#include "port/PpdevPort.h"

namespace pm {
namespace {

const std::string kDev = "/dev/parport0";

struct PpdevFixture : ::testing::Test {
    FakeSysCalls sys;
    PpdevFixture() { sys.devices.insert(kDev); }
    // The calls after opening (open, claim, direction).
    std::vector<FakeSysCalls::Call> afterOpen() const {
        return {sys.calls.begin() + 3, sys.calls.end()};
    }
};

TEST_F(PpdevFixture, NothingOpenedUntilTheFirstAccess) {
    PpdevPort port(kDev, sys);
    EXPECT_TRUE(sys.calls.empty());
    EXPECT_EQ(port.fault(), "");
    EXPECT_EQ(port.describe(), "Porta paralela /dev/parport0");

    port.vbInp(kStatusReg);
    ASSERT_EQ(sys.calls.size(), 4u);
    EXPECT_EQ(sys.calls[0].fn, "open");
    EXPECT_EQ(sys.calls[0].path, kDev);
    EXPECT_EQ(sys.calls[1].request, static_cast<unsigned long>(PPCLAIM));
    EXPECT_EQ(sys.calls[2].request, static_cast<unsigned long>(PPDATADIR));
    EXPECT_EQ(sys.calls[2].value, 0) << "the data lines are driven forward";

    for (int i = 0; i < 50; ++i) {
        port.vbOut(kDataReg, static_cast<std::int16_t>(i));
        port.vbInp(kStatusReg);
    }
    EXPECT_EQ(sys.count("open"), 1);
    EXPECT_EQ(sys.count("ioctl"), 3 + 100);
}

struct Access {
    // cppcheck-suppress unusedStructMember ; names the case
    const char* what;
    char kind;  // 'W' or 'R'
    std::int16_t address;
    std::int16_t value;                   // written
    std::optional<unsigned long> request;  // the ioctl it becomes, if any
    int passed;                           // byte the ioctl carries
    std::int16_t read;                    // what vbInp returns
};

// Names the case in test listings.
void PrintTo(const Access& c, std::ostream* os) { *os << c.what; }

class RegisterMapping : public PpdevFixture, public ::testing::WithParamInterface<Access> {};

TEST_P(RegisterMapping, BecomesTheIoctl) {
    const Access& a = GetParam();
    sys.status = 0xA7;
    sys.data = 0x33;
    sys.control = 0x0B;
    PpdevPort port(kDev, sys);
    ASSERT_TRUE(port.open());
    const std::size_t before = sys.calls.size();
    if (a.kind == 'W') {
        port.vbOut(a.address, a.value);
    } else {
        EXPECT_EQ(port.vbInp(a.address), a.read);
    }
    if (a.request) {
        ASSERT_EQ(sys.calls.size(), before + 1);
        EXPECT_EQ(sys.calls.back().request, *a.request);
        EXPECT_EQ(sys.calls.back().fd, sys.calls.front().fd);
        EXPECT_EQ(sys.calls.back().value, a.passed);
    } else {
        EXPECT_EQ(sys.calls.size(), before) << "no register there";
    }
    EXPECT_EQ(port.fault(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Registers, RegisterMapping,
    ::testing::Values(
        Access{"XYcoils", 'W', 888, 0x96, PPWDATA, 0x96, 0},
        Access{"DataRelease", 'W', 888, 0, PPWDATA, 0, 0},
        Access{"DataLowByteOnly", 'W', 888, 0x1C3, PPWDATA, 0xC3, 0},
        // The control value goes as the register holds it: the port's
        // inverters on bits 0, 1 and 3 are what the coil values assume.
        Access{"ZPhase", 'W', 890, 10, PPWCONTROL, 10, 0},
        Access{"ZRelease", 'W', 890, 11, PPWCONTROL, 11, 0},
        Access{"ZPhase9", 'W', 890, 9, PPWCONTROL, 9, 0},
        Access{"StatusNotWritable", 'W', 889, 0x55, std::nullopt, 0, 0},
        Access{"StrayWrite", 'W', 891, 1, std::nullopt, 0, 0},
        Access{"Switches", 'R', 889, 0, PPRSTATUS, 0xA7, 0xA7},
        Access{"DataReadBack", 'R', 888, 0, PPRDATA, 0x33, 0x33},
        Access{"ControlReadBack", 'R', 890, 0, PPRCONTROL, 0x0B, 0x0B},
        Access{"StrayRead", 'R', 892, 0, std::nullopt, 0, 0xFF}),
    [](const auto& info) { return std::string(info.param.what); });

struct OpenFailure {
    // cppcheck-suppress unusedStructMember ; names the case
    const char* what;
    int err;
    const char* words;  // a part of the message
    bool absent;
};

// Names the case in test listings.
void PrintTo(const OpenFailure& c, std::ostream* os) { *os << c.what; }

class FailedOpen : public PpdevFixture, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(FailedOpen, OneMessageAndTheIdleReading) {
    const OpenFailure& f = GetParam();
    sys.openError[kDev] = f.err;
    PpdevPort port(kDev, sys);
    EXPECT_EQ(port.vbInp(kStatusReg), 0x7F);
    const std::string message = port.fault();
    EXPECT_NE(message.find(kDev), std::string::npos) << message;
    EXPECT_NE(message.find(f.words), std::string::npos) << message;
    EXPECT_EQ(port.absent(), f.absent);
    EXPECT_EQ(port.describe(), "Porta paralela ausente: /dev/parport0");

    for (int i = 0; i < 10; ++i) {
        port.vbOut(kDataReg, 0x99);
        port.vbOut(kControlReg, 10);
        EXPECT_EQ(port.vbInp(kDataReg), 0x7F);
        EXPECT_EQ(port.vbInp(kStatusReg), 0x7F);
        EXPECT_EQ(port.vbInp(kControlReg), 0x7F);
    }
    EXPECT_EQ(port.fault(), message) << "the message stays the same";
    EXPECT_EQ(sys.calls.size(), 1u) << "one try at opening, nothing after";
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, FailedOpen,
    ::testing::Values(OpenFailure{"NoPermission", EACCES, "grupo lp", false},
                      OpenFailure{"NoNode", ENOENT, "modprobe ppdev", true},
                      OpenFailure{"NoPortBehind", ENXIO, "parport_pc", true},
                      OpenFailure{"NoDevice", ENODEV, "parport_pc", true},
                      OpenFailure{"Busy", EBUSY, "ocupada", false},
                      OpenFailure{"Other", EIO, "Não foi possível abrir", false}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(PpdevFixture, PermissionMessageTellsTheFix) {
    sys.openError[kDev] = EACCES;
    PpdevPort port(kDev, sys);
    port.vbOut(kDataReg, 1);
    EXPECT_EQ(port.fault(),
              "Sem permissão para abrir /dev/parport0: acrescente o usuário ao grupo lp "
              "(sudo usermod -aG lp $USER) ou instale a regra udev do portmill.");
}

TEST_F(PpdevFixture, RefusedClaimClosesAndFaults) {
    sys.ioctlError[PPCLAIM] = ENXIO;
    {
        PpdevPort port(kDev, sys);
        port.vbOut(kControlReg, 10);
        EXPECT_NE(port.fault().find("Não foi possível tomar a porta /dev/parport0"),
                  std::string::npos)
            << port.fault();
        EXPECT_EQ(port.vbInp(kStatusReg), 0x7F);
    }
    ASSERT_EQ(sys.calls.size(), 3u);
    EXPECT_EQ(sys.calls[2].fn, "close");
    EXPECT_EQ(sys.count("ioctl"), 1) << "nothing to release after a refused claim";
}

TEST_F(PpdevFixture, RefusedDirectionIsNoFault) {
    sys.ioctlError[PPDATADIR] = EINVAL;
    PpdevPort port(kDev, sys);
    port.vbOut(kDataReg, 9);
    EXPECT_EQ(port.fault(), "");
    EXPECT_EQ(sys.data, 9);
}

TEST_F(PpdevFixture, FailedAccessStopsTheRest) {
    PpdevPort port(kDev, sys);
    port.vbOut(kDataReg, 9);
    sys.ioctlError[PPWCONTROL] = EIO;
    port.vbOut(kControlReg, 10);
    const std::string message = port.fault();
    EXPECT_NE(message.find("Falha ao escrever em /dev/parport0"), std::string::npos) << message;
    sys.ioctlError.clear();
    const std::size_t before = sys.calls.size();
    port.vbOut(kDataReg, 12);
    EXPECT_EQ(port.vbInp(kStatusReg), 0x7F);
    EXPECT_EQ(sys.calls.size(), before);
    EXPECT_EQ(sys.data, 9);
    EXPECT_EQ(port.fault(), message);
}

TEST_F(PpdevFixture, FailedReadGivesTheIdle) {
    sys.status = 0x47;
    sys.ioctlError[PPRSTATUS] = EIO;
    PpdevPort port(kDev, sys);
    EXPECT_EQ(port.vbInp(kStatusReg), 0x7F);
    EXPECT_NE(port.fault().find("Falha ao ler /dev/parport0"), std::string::npos) << port.fault();
}

TEST_F(PpdevFixture, ReleasedAndClosedAtTheEndWithoutWriting) {
    {
        PpdevPort port(kDev, sys);
        port.vbOut(kDataReg, 0x99);
        port.vbOut(kControlReg, 3);
    }
    const auto tail = afterOpen();
    ASSERT_EQ(tail.size(), 4u);
    EXPECT_EQ(tail[2].request, static_cast<unsigned long>(PPRELEASE));
    EXPECT_EQ(tail[3].fn, "close");
    EXPECT_EQ(tail[3].fd, sys.calls[0].fd);
    EXPECT_EQ(sys.data, 0x99) << "the coils keep their last pattern";
    EXPECT_EQ(sys.control, 3);
}

TEST_F(PpdevFixture, FaultedAfterOpeningStillReleases) {
    {
        PpdevPort port(kDev, sys);
        sys.ioctlError[PPWDATA] = EIO;
        port.vbOut(kDataReg, 1);
        sys.ioctlError.clear();
    }
    EXPECT_EQ(sys.calls[sys.calls.size() - 2].request, static_cast<unsigned long>(PPRELEASE));
    EXPECT_EQ(sys.calls.back().fn, "close");
}

TEST_F(PpdevFixture, NeverTouchedNeverOpened) {
    { PpdevPort port(kDev, sys); }
    EXPECT_TRUE(sys.calls.empty());
}

// The core refuses to start a move on a port that has failed, naming why.
TEST_F(PpdevFixture, FaultedPortRefusesAMove) {
    sys.openError[kDev] = EACCES;
    PpdevPort port(kDev, sys);
    VirtualClock clock;
    HeadlessMachine m(port, clock);
    port.vbInp(kStatusReg);
    EXPECT_FALSE(BeginOperation(m.context(), Operation::HomeXY));
    ASSERT_EQ(m.events().messages.size(), 1u);
    EXPECT_EQ(m.events().messages[0], port.fault());
}

}  // namespace
}  // namespace pm
