#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>

#include <cerrno>
#include <ostream>

#include "FakeSysCalls.h"
#include "port/PortFactory.h"
#include "port/SimulatedMachine.h"

namespace pm {
namespace {

struct Named {
    // cppcheck-suppress unusedStructMember ; names the case
    const char* what;
    const char* name;
    const char* describe;  // null: the name is refused
};

// Names the case in test listings.
void PrintTo(const Named& c, std::ostream* os) { *os << c.what; }

class PortNames : public ::testing::TestWithParam<Named> {};

TEST_P(PortNames, OpenNothingUntilUsed) {
    const Named& n = GetParam();
    FakeSysCalls sys;
    std::string error;
    const auto port = OpenPort(n.name, &error, sys);
    if (n.describe == nullptr) {
        EXPECT_EQ(port, nullptr);
        EXPECT_FALSE(error.empty());
        return;
    }
    ASSERT_NE(port, nullptr) << error;
    EXPECT_EQ(port->describe(), n.describe);
    EXPECT_EQ(port->fault(), "");
    EXPECT_TRUE(sys.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, PortNames,
    ::testing::Values(Named{"Sim", "sim", "Máquina simulada"},
                      Named{"Ppdev", "ppdev:/dev/parport2", "Porta paralela /dev/parport2"},
                      Named{"PpdevDefault", "ppdev", "Porta paralela /dev/parport0"},
                      Named{"Io", "io", "E/S direta 0x378"},
                      Named{"IoHex", "io:0x3bc", "E/S direta 0x3BC"},
                      Named{"IoDecimal", "io:888", "E/S direta 0x378"},
                      Named{"IoCard", "io:0xD010", "E/S direta 0xD010"},
                      Named{"IoGarbage", "io:0x37z", nullptr},
                      Named{"IoEmpty", "io:", nullptr},
                      Named{"IoZero", "io:0", nullptr},
                      Named{"IoTooHigh", "io:0xFFFE", nullptr},
                      Named{"IoLpt2", "io:0x278", "E/S direta 0x278"},
                      Named{"IoLowestCard", "io:0x400", "E/S direta 0x400"},
                      Named{"IoHighestCard", "io:0xFFFD", "E/S direta 0xFFFD"},
                      Named{"IoBelowPci", "io:0xCF5", "E/S direta 0xCF5"},
                      Named{"IoAbovePci", "io:0xD00", "E/S direta 0xD00"},
                      // Other devices' registers: the interrupt controller,
                      // the keyboard controller, near misses of the legacy
                      // bases, the PCI configuration ports.
                      Named{"IoInterruptController", "io:0x20", nullptr},
                      Named{"IoKeyboard", "io:0x64", nullptr},
                      Named{"IoOne", "io:0x1", nullptr},
                      Named{"IoNearLpt1", "io:0x379", nullptr},
                      Named{"IoBelowCards", "io:0x3FF", nullptr},
                      Named{"IoPciTouching", "io:0xCF6", nullptr},
                      Named{"IoPciAddress", "io:0xCF8", nullptr},
                      Named{"IoPciData", "io:0xCFC", nullptr},
                      Named{"IoPciLast", "io:0xCFF", nullptr},
                      Named{"PpdevEmpty", "ppdev:", nullptr},
                      Named{"Unknown", "lpt1", nullptr},
                      Named{"Empty", "", nullptr}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(AutoPort, NoDeviceGivesTheSimulatedMachine) {
    FakeSysCalls sys;
    std::string error;
    const auto port = OpenPort("auto", &error, sys);
    ASSERT_NE(port, nullptr);
    EXPECT_NE(dynamic_cast<SimulatedMachine*>(port.get()), nullptr);
    EXPECT_EQ(port->fault(), "");
    EXPECT_EQ(port->describe(), "Máquina simulada");
    EXPECT_EQ(error, "");
    ASSERT_EQ(sys.count("open"), 8);
    EXPECT_EQ(sys.calls.front().path, "/dev/parport0");
    EXPECT_EQ(sys.calls.back().path, "/dev/parport7");
}

TEST(AutoPort, NodesWithoutPortsGiveTheSimulatedMachine) {
    FakeSysCalls sys;
    sys.openError["/dev/parport0"] = ENXIO;
    sys.openError["/dev/parport1"] = ENODEV;
    const auto port = OpenPort("auto", nullptr, sys);
    EXPECT_EQ(port->describe(), "Máquina simulada");
}

TEST(AutoPort, TakesTheFirstThatOpensAndClaims) {
    FakeSysCalls sys;
    sys.devices = {"/dev/parport1", "/dev/parport3"};
    const auto port = OpenPort("auto", nullptr, sys);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->describe(), "Porta paralela /dev/parport1");
    EXPECT_EQ(sys.count("open"), 2) << "stops at the first that works";
    const std::size_t before = sys.calls.size();
    port->vbOut(kDataReg, 5);
    EXPECT_EQ(sys.calls.size(), before + 1) << "already open: no second open";
}

TEST(AutoPort, SkipsOneThatWillNotClaim) {
    FakeSysCalls sys;
    sys.devices = {"/dev/parport0"};
    sys.ioctlError[PPCLAIM] = EBUSY;
    const auto port = OpenPort("auto", nullptr, sys);
    // The only port there refuses: the operator is told why rather than
    // handed a simulation while the machine is plugged in.
    EXPECT_EQ(port->describe(), "Porta paralela ausente: /dev/parport0");
    EXPECT_NE(port->fault().find("/dev/parport0"), std::string::npos);
}

TEST(AutoPort, APortThatRefusesIsReportedUnlessAnotherWorks) {
    FakeSysCalls sys;
    sys.openError["/dev/parport0"] = EACCES;
    {
        const auto port = OpenPort("auto", nullptr, sys);
        EXPECT_EQ(port->describe(), "Porta paralela ausente: /dev/parport0");
        EXPECT_NE(port->fault().find("grupo lp"), std::string::npos);
    }
    sys.devices = {"/dev/parport2"};
    const auto port = OpenPort("auto", nullptr, sys);
    EXPECT_EQ(port->describe(), "Porta paralela /dev/parport2");
    EXPECT_EQ(port->fault(), "");
}

TEST(CheckPort, OpensAnUntouchedPortAndTellsItsFault) {
    FakeSysCalls sys;
    sys.openError["/dev/parport0"] = EACCES;
    const auto port = OpenPort("ppdev:/dev/parport0", nullptr, sys);
    EXPECT_EQ(port->fault(), "");
    EXPECT_NE(CheckPort(*port).find("Sem permissão"), std::string::npos);

    SimulatedMachine sim;
    EXPECT_EQ(CheckPort(sim), "");
}

}  // namespace
}  // namespace pm
