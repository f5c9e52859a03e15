#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "port/Port.h"

namespace pm::wiring {

// How the router hangs on the 25-pin parallel-port connector, and the coil
// patterns its motors take. The schematic drawn at build time, the wiring
// check of portmill-cli, the drive tables of the motion and the simulated
// machine all read these tables.

// One line of the connector: which register bit drives or reads which pin,
// and what hangs on it.
struct Line {
    std::int16_t address;  // kDataReg, kStatusReg or kControlReg
    int bit;               // bit of that register
    int pin;               // pin of the DB-25 connector
    const char* signal;    // the port's own name for the line
    char axis;             // 'X', 'Y', 'Z' for a coil line, 0 for a switch input
    int coil;              // 1..4 on a coil line
    const char* role;      // what the router connects there
    const char* name;      // a switch input in the wiring check's words
};

// X coils on data bits 0-3, Y coils on data bits 4-7; a line is driven while
// its bit is 1.
inline constexpr std::array<Line, 8> kDataLines{{
    {kDataReg, 0, 2, "D0", 'X', 1, "X bobina 1", ""},
    {kDataReg, 1, 3, "D1", 'X', 2, "X bobina 2", ""},
    {kDataReg, 2, 4, "D2", 'X', 3, "X bobina 3", ""},
    {kDataReg, 3, 5, "D3", 'X', 4, "X bobina 4", ""},
    {kDataReg, 4, 6, "D4", 'Y', 1, "Y bobina 1", ""},
    {kDataReg, 5, 7, "D5", 'Y', 2, "Y bobina 2", ""},
    {kDataReg, 6, 8, "D6", 'Y', 3, "Y bobina 3", ""},
    {kDataReg, 7, 9, "D7", 'Y', 4, "Y bobina 4", ""},
}};

// Z coils on the four control lines. The port inverts bits 0, 1 and 3: a
// line is driven while its bit is 0 there, 1 on bit 2.
inline constexpr std::array<Line, 4> kControlLines{{
    {kControlReg, 0, 1, "/STROBE", 'Z', 1, "Z bobina 1", ""},
    {kControlReg, 1, 14, "/AUTOFEED", 'Z', 2, "Z bobina 2", ""},
    {kControlReg, 2, 16, "/INIT", 'Z', 3, "Z bobina 3", ""},
    {kControlReg, 3, 17, "/SELECTIN", 'Z', 4, "Z bobina 4", ""},
}};

// The five switch inputs, active when held low (closed to ground); the port
// inverts bit 7.
inline constexpr std::array<Line, 5> kStatusLines{{
    {kStatusReg, 3, 15, "/ERROR", 0, 0, "chave home Y", "Y casa"},
    {kStatusReg, 4, 13, "SELECT", 0, 0, "chave home X", "X casa"},
    {kStatusReg, 5, 12, "PAPER END", 0, 0, "chave topo Z", "Z topo"},
    {kStatusReg, 6, 10, "/ACK", 0, 0, "entrada livre (LE 6)", "entrada livre"},
    {kStatusReg, 7, 11, "BUSY", 0, 0, "entrada livre (LE 7)", "entrada livre"},
}};

// Whether the switch input on `line` is active (held low) in a status
// register reading: its bit reads 0, or 1 on Busy, which the port inverts.
constexpr bool InputActive(const Line& line, int reading) {
    const bool bit = (reading >> line.bit & 1) != 0;
    return line.bit == 7 ? bit : !bit;
}

// Ground pins of the connector.
inline constexpr std::array<int, 8> kGroundPins{18, 19, 20, 21, 22, 23, 24, 25};

// The half-step cycle of the X motor's nibble (data bits 0-3); the Y motor
// takes the same nibble in bits 4-7 (times 16). Each index is one half-step
// past the one before; # marks an energised coil:
//
//   index  X   Y    coil 1  coil 2  coil 3  coil 4
//                   D0/D4   D1/D5   D2/D6   D3/D7
//                   pin 2/6 pin 3/7 pin 4/8 pin 5/9
//     0    9  144     #                       #
//     1    8  128                             #
//     2   12  192                     #       #
//     3    4   64                     #
//     4    6   96             #       #
//     5    2   32             #
//     6    3   48     #       #
//     7    1   16     #
inline constexpr std::array<int, 8> kHalfStepNibbles{9, 8, 12, 4, 6, 2, 3, 1};

// The four Z phases as the control register holds them, one coil each
// through the port's inverters; one phase forward is one full step up:
//
//   phase  value  bits    coil 1    coil 2     coil 3  coil 4
//                 3210    /STROBE   /AUTOFEED  /INIT   /SELECTIN
//                         pin 1     pin 14     pin 16  pin 17
//     1     10    1010      #
//     2      9    1001                #
//     3     15    1111                           #
//     4      3    0011                                    #
//   release 11    1011    (no coil)
//
// Any other value drives two lines at once (1 drives coils 2 and 4).
inline constexpr std::array<int, 4> kZPhases{10, 9, 15, 3};
inline constexpr int kZRelease = 11;

// Every coil off: no X or Y line driven (data 0), Z released (control 11).
inline constexpr int kDataAllOff = 0;
inline constexpr int kControlAllOff = kZRelease;
inline void SwitchAllCoilsOff(Port& port) {
    port.vbOut(kDataReg, kDataAllOff);
    port.vbOut(kControlReg, kControlAllOff);
}

// The status-register bits of the switch inputs, from kStatusLines. Bits 3
// to 6 read 0 while their line is held low (a switch closed); the port
// inverts bit 7.
inline constexpr int kYHomeStatusBit = 1 << kStatusLines[0].bit;  // 8
inline constexpr int kXHomeStatusBit = 1 << kStatusLines[1].bit;  // 16
inline constexpr int kZTopStatusBit = 1 << kStatusLines[2].bit;   // 32
inline constexpr int kPin10StatusBit = 1 << kStatusLines[3].bit;  // 64
inline constexpr int kPin11StatusBit = 1 << kStatusLines[4].bit;  // 128

// Each phase drives its coil's line alone: the release pattern with that
// line's bit turned over.
constexpr bool EachZPhaseDrivesOneLine() {
    for (std::size_t i = 0; i < kZPhases.size(); ++i) {
        if (kZPhases[i] != (kZRelease ^ (1 << kControlLines[i].bit))) return false;
    }
    return true;
}
static_assert(EachZPhaseDrivesOneLine());

}  // namespace pm::wiring
