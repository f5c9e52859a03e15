#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>

#include "FakeSysCalls.h"
#include "port/DirectIoPort.h"

namespace pm {
namespace {

struct Mapping {
    // cppcheck-suppress unusedStructMember ; names the case
    const char* what;
    // cppcheck-suppress unusedStructMember ; read through GetParam()
    unsigned base;
};

// Names the case in test listings.
void PrintTo(const Mapping& c, std::ostream* os) { *os << c.what; }

class DirectIoMapping : public ::testing::TestWithParam<Mapping> {};

TEST_P(DirectIoMapping, RegistersSitAtBaseAndTheNextTwo) {
    const unsigned base = GetParam().base;
    FakeSysCalls sys;
    const auto at = [base](unsigned k) { return static_cast<unsigned short>(base + k); };
    sys.io[at(1)] = 0x5F;
    {
        DirectIoPort port(base, sys);
        EXPECT_TRUE(sys.calls.empty()) << "nothing asked for before the first access";

        port.vbOut(kDataReg, 0x69);
        port.vbOut(kControlReg, 15);
        port.vbOut(kStatusReg, 0);  // read-only: ignored
        port.vbOut(900, 1);         // not ours: ignored
        EXPECT_EQ(port.vbInp(kStatusReg), 0x5F);
        EXPECT_EQ(port.vbInp(kDataReg), 0x69);
        EXPECT_EQ(port.vbInp(kControlReg), 15);
        EXPECT_EQ(port.vbInp(900), 0xFF);
        EXPECT_EQ(port.fault(), "");

        ASSERT_EQ(sys.calls.size(), 6u);
        EXPECT_EQ(sys.calls[0].fn, "ioperm");
        EXPECT_EQ(sys.calls[0].request, base);
        EXPECT_EQ(sys.calls[0].fd, 3) << "three registers";
        EXPECT_EQ(sys.calls[0].value, 1);
        EXPECT_EQ(sys.calls[1].request, at(0));
        EXPECT_EQ(sys.calls[1].value, 0x69);
        EXPECT_EQ(sys.calls[2].request, at(2));
        EXPECT_EQ(sys.calls[2].value, 15);
        EXPECT_EQ(sys.calls[3].request, at(1));
        EXPECT_EQ(sys.calls[4].request, at(0));
        EXPECT_EQ(sys.calls[5].request, at(2));
    }
    EXPECT_EQ(sys.calls.back().fn, "ioperm");
    EXPECT_EQ(sys.calls.back().value, 0) << "access given back at the end";
    EXPECT_EQ(sys.count("outb"), 2) << "nothing written at the end";
}

INSTANTIATE_TEST_SUITE_P(Bases, DirectIoMapping,
                         ::testing::Values(Mapping{"Lpt1", 0x378}, Mapping{"Lpt2", 0x278},
                                           Mapping{"Mono", 0x3BC}, Mapping{"PciCard", 0xD010}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(DirectIo, RefusedAccessFaultsOnceAndIdles) {
    FakeSysCalls sys;
    sys.iopermError = EPERM;
    {
        DirectIoPort port(0x378, sys);
        port.vbOut(kDataReg, 0x99);
        const std::string message = port.fault();
        EXPECT_NE(message.find("Sem permissão para E/S direta em 0x378"), std::string::npos)
            << message;
        EXPECT_EQ(port.vbInp(kStatusReg), 0x7F);
        EXPECT_EQ(port.vbInp(kDataReg), 0x7F);
        port.vbOut(kControlReg, 10);
        EXPECT_EQ(port.fault(), message);
        EXPECT_EQ(port.describe(), "E/S direta ausente: 0x378");
    }
    EXPECT_EQ(sys.count("ioperm"), 1) << "asked once, nothing to give back";
    EXPECT_EQ(sys.count("outb") + sys.count("inb"), 0);
}

TEST(DirectIo, WithoutPortIoItSaysNotAvailable) {
    FakeSysCalls sys;
    sys.portIo = false;
    DirectIoPort port(0x378, sys);
    EXPECT_NE(port.fault().find("não disponível"), std::string::npos) << port.fault();
    port.vbOut(kDataReg, 1);
    EXPECT_EQ(port.vbInp(kStatusReg), 0x7F);
    EXPECT_TRUE(sys.calls.empty());
}

}  // namespace
}  // namespace pm
