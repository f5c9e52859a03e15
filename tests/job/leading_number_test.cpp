#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "job/LeadingNumber.h"
#include "job/Statement.h"

namespace pm {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct NumberCase {
    std::string text;
    double value;
};

// Shows the case's text, escaped, in the test log.
void PrintTo(const NumberCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class LeadingNumberTable : public ::testing::TestWithParam<NumberCase> {};

TEST_P(LeadingNumberTable, ReadsTheLeadingNumber) {
    const auto& p = GetParam();
    const double v = LeadingNumber(p.text);
    if (std::isinf(p.value)) {
        EXPECT_EQ(v, p.value) << '"' << p.text << '"';
    } else {
        EXPECT_DOUBLE_EQ(v, p.value) << '"' << p.text << '"';
    }
    EXPECT_FALSE(v == 0 && std::signbit(v)) << "negative zero for \"" << p.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LeadingNumberTable,
    ::testing::Values(
        // no number at all
        NumberCase{"", 0}, NumberCase{"abc", 0}, NumberCase{".", 0}, NumberCase{"-", 0},
        NumberCase{"+.", 0}, NumberCase{"NaN", 0}, NumberCase{"inf", 0}, NumberCase{"0x10", 0},
        NumberCase{"\r5", 0},  // a carriage return is not skipped
        NumberCase{"-0", 0}, NumberCase{",5", 0},
        // plain decimals, ended by the first character that cannot continue
        NumberCase{"12", 12}, NumberCase{"3.55", 3.55}, NumberCase{".5", 0.5}, NumberCase{"5.", 5},
        NumberCase{"12abc", 12}, NumberCase{"1.5.5", 1.5}, NumberCase{"1,5", 1},
        NumberCase{"-3", -3}, NumberCase{"+4", 4}, NumberCase{"--4", 0},
        NumberCase{"0012.50", 12.5},
        // blanks, tabs and line feeds wherever they stand
        NumberCase{" 1 2 . 5 ", 12.5}, NumberCase{"\t-3", -3}, NumberCase{"- 5", -5},
        NumberCase{"\n\n7", 7}, NumberCase{"1\t0", 10}, NumberCase{"1 e 2", 100},
        NumberCase{"&\tH 1 F", 31},
        // exponents: E or D, either case, optional sign, needs a digit
        NumberCase{"1e3", 1000}, NumberCase{"1E3", 1000}, NumberCase{"1D3", 1000},
        NumberCase{"2d-2", 0.02}, NumberCase{"1E+2", 100}, NumberCase{"1e", 1},
        NumberCase{"1e+", 1}, NumberCase{"1ex", 1}, NumberCase{"2.5e1x", 25},
        // hexadecimal and octal whole numbers
        NumberCase{"&H1F", 31}, NumberCase{"&hff", 255}, NumberCase{"&O17", 15},
        NumberCase{"&o8", 0}, NumberCase{"&H", 0}, NumberCase{"&X1", 0}, NumberCase{"&H1G", 1},
        NumberCase{"&HFFFFFFFFFFFF", 281474976710655.0}, NumberCase{"-&H10", 0},
        // beyond a double
        NumberCase{"1e999", kInf}, NumberCase{"-1e999", -kInf}, NumberCase{"1e-999", 0},
        NumberCase{"1e99999999999999999999", kInf}, NumberCase{"0e99999", 0},
        NumberCase{"1" + std::string(400, '0'), kInf},
        NumberCase{"0." + std::string(400, '0') + "1", 0},
        NumberCase{"0." + std::string(400, '0') + "1e420", 1e19},
        NumberCase{"123456789012345678901234567890", 1.2345678901234568e29}));

// The divisor reads a decimal comma as a point; the same text with a point
// in its place reads the same, and a text without a comma as LeadingNumber.
TEST(DivisorValue, ReadsADecimalCommaAsAPoint) {
    const std::vector<std::pair<std::string, double>> cases{
        {"0,3", 0.3}, {"3,55", 3.55}, {",5", 0.5}, {"1,5.2", 1.5}, {"1,5,2", 1.5}, {"-0,125", -0.125},
        {" 2 , 5 ", 2.5}, {"1,5e1", 15}, {"abc", 0}, {"0,0", 0}, {"&H1,5", 1}};
    for (const auto& [text, value] : cases) EXPECT_DOUBLE_EQ(DivisorValue(text), value) << '"' << text << '"';
    for (const std::string t : {"3.55", "1e3", "12abc", "", "&H1F", " 1 2 . 5 "})
        EXPECT_EQ(DivisorValue(t), LeadingNumber(t)) << '"' << t << '"';
}

TEST(LeadingNumber, LongTextStaysLinear) {
    // Ten million digits read in one go (a quadratic reader would not end).
    std::string digits;
    digits.resize(10'000'000, '7');
    EXPECT_EQ(LeadingNumber(digits), kInf);
    EXPECT_DOUBLE_EQ(LeadingNumber("0." + digits), 0.7777777777777778);
}

struct CutCase {
    std::string text;
    bool penUp, penDown, hasPair;
    std::string x, y;
};

// Shows the case's text, escaped, in the test log.
void PrintTo(const CutCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class CutStatementTable : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutStatementTable, CutsHeadAndPair) {
    const auto& p = GetParam();
    const Statement s = CutStatement(p.text);
    EXPECT_EQ(s.penUp, p.penUp);
    EXPECT_EQ(s.penDown, p.penDown);
    EXPECT_EQ(s.hasPair, p.hasPair);
    EXPECT_EQ(std::string(s.xText), p.x);
    EXPECT_EQ(std::string(s.yText), p.y);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, CutStatementTable,
    ::testing::Values(CutCase{"PU0,0;", true, false, true, "0", "0"},
                      CutCase{"PD1000,710;", false, true, true, "1000", "710"},
                      CutCase{"PA12.5,-3;", false, false, true, "12.5", "-3"},
                      CutCase{"PD10,20,30,40;", false, true, true, "10", "20,30,40"},
                      CutCase{"PU,;", true, false, true, "", ""},
                      CutCase{"PA1,;", false, false, true, "1", ""},
                      CutCase{"PU;", true, false, false, "", ""},
                      CutCase{"PD;", false, true, false, "", ""},
                      CutCase{"PA;", false, false, false, "", ""},
                      CutCase{"PD100;", false, true, false, "", ""},  // no ",": mode only
                      CutCase{"pu10,10;", false, false, false, "", ""},
                      CutCase{" PU1,2;", false, false, false, "", ""},
                      CutCase{"\r\nPD5,5;", false, false, false, "", ""},
                      CutCase{"IN;", false, false, false, "", ""},
                      CutCase{"P;", false, false, false, "", ""},
                      CutCase{";", false, false, false, "", ""}));

// Where the machine's travel is known, no move on an axis may be longer than
// it plus 10 %; the move counts, not the place.
TEST(TargetAcceptable, KeepsToTheTravelWhereItIsKnown) {
    MachineSettings m;
    m.TravelX = 100;
    m.TravelY = 50;
    m.StepsPerMmX = 10;
    m.StepsPerMmY = 10;
    EXPECT_TRUE(TargetAcceptable(1100, -550, 0, 0, m));
    EXPECT_FALSE(TargetAcceptable(1101, 0, 0, 0, m));
    EXPECT_FALSE(TargetAcceptable(0, -551, 0, 0, m));
    EXPECT_TRUE(TargetAcceptable(1600, 0, 500, 0, m));
    EXPECT_TRUE(TargetAcceptable(1e9, 0, 0, 0, MachineSettings{}));
    EXPECT_FALSE(TargetAcceptable(kInf, 0, 0, 0, MachineSettings{}));
}

TEST(TargetAcceptable, RefusesNonNumbersAndMovesBeyondAnyDrawing) {
    EXPECT_TRUE(TargetAcceptable(1e9, -1e9, 0, 0));
    EXPECT_FALSE(TargetAcceptable(1e9 + 1, 0, 0, 0));
    EXPECT_TRUE(TargetAcceptable(1.5e9, 0, 1e9, 0));  // the move counts, not the place
    EXPECT_FALSE(TargetAcceptable(0, -2e9, 0, 0));
    EXPECT_FALSE(TargetAcceptable(kInf, 0, 0, 0));
    EXPECT_FALSE(TargetAcceptable(0, std::nan(""), 0, 0));
}

}  // namespace
}  // namespace pm
