#pragma once
#include <array>

namespace pm::wiring {

// How the router is wired to the 25-pin parallel-port connector: which
// register bit drives or reads which pin, and what hangs on it. The
// schematic and the operator's guide are drawn from these tables.
struct Line {
    int address;        // 888 data, 889 status, 890 control
    int bit;            // bit of that register
    int pin;            // pin of the DB-25 connector
    const char* signal; // the port's own name for the line
    const char* role;   // what the router connects there
};

// X coils on data bits 0-3, Y coils on data bits 4-7.
inline constexpr std::array<Line, 8> kDataLines{{
    {888, 0, 2, "D0", "X bobina 1"},
    {888, 1, 3, "D1", "X bobina 2"},
    {888, 2, 4, "D2", "X bobina 3"},
    {888, 3, 5, "D3", "X bobina 4"},
    {888, 4, 6, "D4", "Y bobina 1"},
    {888, 5, 7, "D5", "Y bobina 2"},
    {888, 6, 8, "D6", "Y bobina 3"},
    {888, 7, 9, "D7", "Y bobina 4"},
}};

// Z coils on the four control lines (bits 0, 1 and 3 are inverted by the
// port; the Z patterns written assume that).
inline constexpr std::array<Line, 4> kControlLines{{
    {890, 0, 1, "/STROBE", "Z bobina 1"},
    {890, 1, 14, "/AUTOFEED", "Z bobina 2"},
    {890, 2, 16, "/INIT", "Z bobina 3"},
    {890, 3, 17, "/SELECTIN", "Z bobina 4"},
}};

// The five switch inputs, active when held low (closed to ground).
inline constexpr std::array<Line, 5> kStatusLines{{
    {889, 3, 15, "/ERROR", "chave home Y"},
    {889, 4, 13, "SELECT", "chave home X"},
    {889, 5, 12, "PAPER END", "chave topo Z"},
    {889, 6, 10, "/ACK", "entrada livre (LE 6)"},
    {889, 7, 11, "BUSY", "entrada livre (LE 7)"},
}};

// Ground pins of the connector.
inline constexpr std::array<int, 8> kGroundPins{18, 19, 20, 21, 22, 23, 24, 25};

}  // namespace pm::wiring
