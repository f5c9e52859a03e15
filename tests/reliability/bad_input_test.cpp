// Plot files and box contents that no drawing program writes: each must end
// in a clear message or a listed-and-ignored statement, never in a crash, a
// hang or a move nobody asked for.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "importer/Hpgl.h"
#include "job/Job.h"
#include "job/Limits.h"
#include "job/PlotLoop.h"
#include "motion/HeadlessMachine.h"
#include "port/SimulatedMachine.h"

namespace pm {
namespace {

namespace fs = std::filesystem;

// A private folder for the test's plot files, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "portmill-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, ec);
        fs::remove_all(path_, ec);
    }
    std::string write(const std::string& name, std::string_view bytes) const {
        const fs::path p = path_ / name;
        std::ofstream out(p, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    fs::path path() const { return path_; }

private:
    fs::path path_;
};

// The machine, its events and pump and the clock as the headless runner has them,
// with the motors on so that a wrong move shows on the simulated machine.
struct Bench {
    HeadlessMachine machine;
    SimulatedMachine& sim = *machine.sim();
    MachineState& st = machine.state();
    RunSettings& run = machine.run();
    HeadlessEvents& events = machine.events();
    HeadlessPump& pump = machine.pump();
    Context& ctx = machine.context();
    long long pumps = 0;
    // A run that pumps more than this is stuck: it is cancelled, as the
    // operator would, and the test fails instead of hanging.
    long long pumpCap = 40'000'000;
    bool capped = false;
    long long x0;
    long long y0;

    Bench() : x0(sim.x()), y0(sim.y()) {
        run.motorsOn = true;
        run.speed = 1;
        run.divisor = "1";
        pump.onPump = [this] {
            if (++pumps > pumpCap) {
                capped = true;
                st.CancelRequested = true;
            }
        };
    }

    void mill(const std::string& path) {
        run.plotFile = path;
        RunJob(ctx);
    }

    // Where the machine really is, from the job's origin.
    double machineX() const { return static_cast<double>(sim.x() - x0); }
    double machineY() const { return static_cast<double>(sim.y() - y0); }

    // What every job must leave behind, however it ended.
    void expectSettled() const {
        EXPECT_FALSE(capped) << "still running after " << pumpCap << " pumps";
        EXPECT_TRUE(events.plotStartAllowed);
        EXPECT_TRUE(events.jogAllowed);
        EXPECT_EQ(events.running, Operation::None);
        EXPECT_TRUE(std::isfinite(st.CurrentX) && std::isfinite(st.CurrentY));
        EXPECT_TRUE(std::isfinite(st.TargetX) && std::isfinite(st.TargetY));
        EXPECT_EQ(sim.missedSteps(), 0);
    }
    // A job that read its file to the end: the coils are off and the machine
    // stands where the program believes it is.
    void expectFinishedAt(double x, double y) const {
        expectSettled();
        EXPECT_EQ(st.CurrentX, x);
        EXPECT_EQ(st.CurrentY, y);
        EXPECT_NEAR(machineX(), x, 1.0);
        EXPECT_NEAR(machineY(), y, 1.0);
        EXPECT_EQ(sim.dataRegister(), 0);
        EXPECT_EQ(sim.controlRegister(), 11);
        EXPECT_TRUE(events.messages.empty()) << events.messages.front();
    }
    std::vector<std::string> listed() const {
        std::vector<std::string> v;
        for (std::size_t i = 0; i < events.list.size(); ++i) v.emplace_back(events.list.at(i));
        return v;
    }
};

using namespace std::string_literals;

TEST(BadPlotFile, BinaryBytesAreListedAndIgnored) {
    TempDir dir;
    const std::string file = "\x00\x01\x1b[2J\x1b]0;"s          // an escape sequence with a ";"
                             + "\x07\xff\xfe\x80\xe9PU1,2;"s     // 8-bit bytes before a head
                             + "\x00PD\x00;"s                    // NUL before and after a head
                             + "PD3,4;"s                         // a good statement
                             + "PA5\x00"s + "9,6\xff;"s          // NUL and 8-bit inside a pair
                             + "\x1b\xc3\xa7"s;                  // no ";" after it
    Bench b;
    b.mill(dir.write("binario.red", file));

    const std::vector<std::string> want{"\x00\x01\x1b[2J\x1b]0;"s, "\x07\xff\xfe\x80\xe9PU1,2;"s,
                                        "\x00PD\x00;"s, "PD3,4;"s, "PA5\x00"s + "9,6\xff;"s};
    EXPECT_EQ(b.listed(), want);
    // The NUL ends the number, as any character that cannot continue it.
    b.expectFinishedAt(5, 6);
    EXPECT_EQ(b.st.MoveMode, "D");
}

// Up to 65 536 characters before its ";" a statement is listed whole, and
// blanks inside a pair count for nothing.
TEST(BadPlotFile, StatementAtItsBoundIsListedWhole) {
    TempDir dir;
    const std::string big = "PU" + std::string(kMaxStatementChars - 5, ' ') + "7,8;";
    Bench b;
    b.mill(dir.write("no-limite.red", big + "PD9,9;"));

    ASSERT_EQ(b.events.list.size(), 2u);
    EXPECT_EQ(b.events.list.at(0).size(), big.size());
    EXPECT_EQ(b.events.list.at(1), "PD9,9;");
    b.expectFinishedAt(9, 9);
}

// One character more and the job stops there, whatever follows: the line it
// starts on told, what came before listed and milled, every coil off, and
// the file read no further than the bound.
struct OverlongCase {
    const char* name;
    std::string text;
    std::uint64_t line;
    std::vector<std::string> listed;
    double x;
    double y;
};

void PrintTo(const OverlongCase& c, std::ostream* os) { *os << c.name; }

class Overlong : public ::testing::TestWithParam<OverlongCase> {};

TEST_P(Overlong, StopsTheJobWithItsLine) {
    const OverlongCase& c = GetParam();
    TempDir dir;
    Bench b;
    b.mill(dir.write("longo.red", c.text));

    b.expectSettled();
    EXPECT_EQ(b.listed(), c.listed);
    EXPECT_EQ(b.st.CurrentX, c.x);
    EXPECT_EQ(b.st.CurrentY, c.y);
    EXPECT_NEAR(b.machineX(), c.x, 1.0);
    EXPECT_EQ(b.sim.dataRegister(), 0);
    EXPECT_EQ(b.sim.controlRegister(), 11);
    ASSERT_EQ(b.events.messages.size(), 1u);
    EXPECT_EQ(b.events.messages[0], OverlongStatementMessage(c.line));
    EXPECT_LT(b.pumps, 3 * static_cast<long long>(kMaxStatementChars) + 100'000);
}

std::string Repeated(const std::string& piece, std::size_t size) {
    std::string out;
    out.reserve(size + piece.size());
    while (out.size() < size) out += piece;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Statements, Overlong,
    ::testing::Values(
        OverlongCase{"FiveMegabytesWithoutSemicolon", Repeated("PD100,200PU300,400\r\n", 5'000'000), 1, {}, 0, 0},
        OverlongCase{"TenMegabytesOfBlanks", "PU2,3;\nPU" + std::string(10'000'000, ' ') + "7,8;PD9,9;", 2,
                     {"PU2,3;"}, 2, 3},
        OverlongCase{"TenMillionDigits", "PU2,3;\r\n\r\nPD1" + std::string(10'000'000, '0') + ",5;", 3,
                     {"PU2,3;"}, 2, 3},
        OverlongCase{"OneCharacterPastTheBound",
                     "PU2,3;PU" + std::string(kMaxStatementChars - 4, ' ') + "7,8;", 1, {"PU2,3;"}, 2, 3}),
    [](const ::testing::TestParamInfo<OverlongCase>& info) { return std::string(info.param.name); });

TEST(BadPlotFile, CarriageReturnsAloneEndNoStatement) {
    TempDir dir;
    Bench b;
    b.mill(dir.write("cr.red", "PU4,4;\rPD5,5;\rPA6,6;\r"));

    // A carriage return after a ";" opens the next statement, whose head then
    // matches nothing; the one after the last ";" is dropped.
    EXPECT_EQ(b.listed(), (std::vector<std::string>{"PU4,4;", "\rPD5,5;", "\rPA6,6;"}));
    b.expectFinishedAt(4, 4);
    EXPECT_EQ(b.st.MoveMode, "M");
}

// A coordinate text that is no usable number, in a pair after "PU10,20;".
struct CoordinateCase {
    const char* text;
    bool ignored;  // the pair leaves the target at (10, 20)
    double value;  // otherwise both axes read this
};

void PrintTo(const CoordinateCase& k, std::ostream* os) { *os << '"' << k.text << '"'; }

class BadCoordinate : public ::testing::TestWithParam<CoordinateCase> {};

TEST_P(BadCoordinate, ListedAndReadOrIgnored) {
    const CoordinateCase& k = GetParam();
    TempDir dir;
    const std::string bad = "PD"s + k.text + "," + k.text + ";";
    Bench b;
    b.mill(dir.write("coordenada.red", "PU10,20;" + bad));

    EXPECT_EQ(b.listed(), (std::vector<std::string>{"PU10,20;", bad}));
    if (k.ignored) {
        b.expectFinishedAt(10, 20);
    } else {
        b.expectFinishedAt(k.value, k.value);
    }
    EXPECT_EQ(b.st.MoveMode, "D");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BadCoordinate,
    ::testing::Values(CoordinateCase{"1e999", true, 0}, CoordinateCase{"-1e999", true, 0},
                      CoordinateCase{"&HFFFFFFFFFFFF", true, 0},
                      CoordinateCase{"2000000000", true, 0},
                      CoordinateCase{"-1000000011", true, 0},  // 1,000,000,031 from 20
                      CoordinateCase{"1e", false, 1}, CoordinateCase{"-", false, 0},
                      CoordinateCase{".", false, 0}, CoordinateCase{"NaN", false, 0},
                      CoordinateCase{"Inf", false, 0}, CoordinateCase{"&H", false, 0},
                      CoordinateCase{"1e+", false, 1}, CoordinateCase{"-3e-400", false, 0}));

// A divisor in Text3 that reads as no usable number.
struct DivisorCase {
    const char* divisor;
    const char* statement;
    bool ignored;       // the pair leaves the target at (0, 0)
    double x, y;        // otherwise the target
    const char* after;  // Text3 after the job
};

void PrintTo(const DivisorCase& k, std::ostream* os) {
    *os << "divisor \"" << k.divisor << "\", " << k.statement;
}

class BadDivisor : public ::testing::TestWithParam<DivisorCase> {};

TEST_P(BadDivisor, CorrectedOrIgnored) {
    const DivisorCase& k = GetParam();
    TempDir dir;
    Bench b;
    b.run.divisor = k.divisor;
    b.mill(dir.write("divisor.red", k.statement));

    EXPECT_EQ(b.listed(), (std::vector<std::string>{k.statement}));
    EXPECT_EQ(b.run.divisor, k.after);
    if (k.ignored) {
        b.expectFinishedAt(0, 0);
    } else {
        b.expectFinishedAt(k.x, k.y);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BadDivisor,
    ::testing::Values(DivisorCase{"-0", "PD5,-6;", false, 5, -6, "1"},
                      DivisorCase{"&H0", "PD5,-6;", false, 5, -6, "1"},
                      DivisorCase{"0", "PD5,-6;", false, 5, -6, "1"},
                      DivisorCase{"", "PD5,-6;", false, 5, -6, "1"},
                      DivisorCase{"abc", "PD5,-6;", false, 5, -6, "1"},
                      DivisorCase{"1e-300", "PD5,-6;", true, 0, 0, "1e-300"},
                      DivisorCase{"1e-300", "PD0,0;", false, 0, 0, "1e-300"},
                      DivisorCase{"1e999", "PD5,-6;", false, 0, 0, "1e999"},
                      DivisorCase{"-1e999", "PD5,-6;", false, 0, 0, "-1e999"},
                      DivisorCase{"-1", "PD5,-6;", false, -5, 6, "-1"}));

// The chosen file gone, made unreadable or turned into a folder between
// "Abrir" and "Fresar" (or "Calcular Limites").
// A FIFO or a device in the file's place is refused before anything is read
// from it: a FIFO without a writer would hold the open up for ever, a device
// such as /dev/zero never ends.
enum class Spoil { Removed, Unreadable, Folder, Fifo, Device };

void PrintTo(Spoil k, std::ostream* os) {
    *os << static_cast<int>(k);
}

class SpoiledFile : public ::testing::TestWithParam<Spoil> {
protected:
    void SetUp() override {
        path_ = dir_.write("escolhido.red", "PU1,1;PD2,2;");
        switch (GetParam()) {
            case Spoil::Removed:
                fs::remove(path_);
                break;
            case Spoil::Unreadable:
                // Permissions do not stop the superuser (CI runs as root).
                if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
                fs::permissions(path_, fs::perms::none);
                break;
            case Spoil::Folder:
                fs::remove(path_);
                fs::create_directory(path_);
                break;
            case Spoil::Fifo:
                fs::remove(path_);
                ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
                break;
            case Spoil::Device:
                fs::remove(path_);
                fs::create_symlink("/dev/zero", path_);
                break;
        }
    }
    TempDir dir_;
    std::string path_;
};

TEST_P(SpoiledFile, JobSaysSoAndReturnsToIdle) {
    Bench b;
    b.mill(path_);

    ASSERT_EQ(b.events.messages.size(), 1u);
    EXPECT_NE(b.events.messages[0].find(path_), std::string::npos) << b.events.messages[0];
    EXPECT_NE(b.events.messages[0].find("arquivo"), std::string::npos) << b.events.messages[0];
    EXPECT_TRUE(b.events.list.empty());
    b.expectSettled();
    // Nothing was written to the machine.
    EXPECT_EQ(b.sim.dataRegister(), 0);
    EXPECT_EQ(b.sim.controlRegister(), 11);
    EXPECT_EQ(b.machineX(), 0);
    EXPECT_EQ(b.sim.z(), 0);
}

TEST_P(SpoiledFile, ScanSaysSoAndKeepsTheLimits) {
    Bench b;
    b.run.limitX = "12";
    b.run.limitY = "34";
    b.run.plotFile = path_;
    ScanLimits(b.ctx);

    ASSERT_EQ(b.events.messages.size(), 1u);
    EXPECT_NE(b.events.messages[0].find(path_), std::string::npos) << b.events.messages[0];
    EXPECT_EQ(b.run.limitX, "12");
    EXPECT_EQ(b.run.limitY, "34");
    b.expectSettled();
}

INSTANTIATE_TEST_SUITE_P(Ways, SpoiledFile,
                         ::testing::Values(Spoil::Removed, Spoil::Unreadable, Spoil::Folder,
                                           Spoil::Fifo, Spoil::Device),
                         [](const ::testing::TestParamInfo<Spoil>& i) {
                             switch (i.param) {
                                 case Spoil::Removed: return "Removed";
                                 case Spoil::Unreadable: return "Unreadable";
                                 case Spoil::Folder: return "Folder";
                                 case Spoil::Fifo: return "Fifo";
                                 case Spoil::Device: return "Device";
                             }
                             return "Unknown";
                         });

// The plot file changed by another program while the job or the scan reads
// it. A change of its contents stops the run as a failed read does, whatever
// was read before; moving or deleting it leaves the open file as it was.
enum class Change { Truncated, Rewritten, Appended, Moved, Deleted };

struct ChangeCase {
    const char* name;
    Change change;
    bool stops;
};

void PrintTo(const ChangeCase& k, std::ostream* os) { *os << k.name; }

class ChangedFile : public ::testing::TestWithParam<ChangeCase> {
protected:
    // Short moves back and forth, more than one 64 KiB block of them.
    static std::string Drawing(char y) {
        std::string text = "PU;PA 0,0;PD;";
        while (text.size() < 150 * 1024) text += std::string("PA 1,") + y + ";PA 2," + y + ";";
        return text;
    }

    void SetUp() override {
        path_ = dir_.write("plot.red", Drawing('1'));
        // An old time, so that a change in the same clock tick as the file's
        // making still shows in its modification time.
        const std::array<timespec, 2> old{{{1'000'000'000, 0}, {1'000'000'000, 0}}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path_.c_str(), old.data(), 0), 0);
    }

    // Runs op on b with the change made at the run's first pump.
    template <typename Op>
    void runChanged(Bench& b, Op op) {
        const auto pump = b.pump.onPump;
        bool changed = false;
        b.pump.onPump = [&] {
            pump();
            if (changed) return;
            changed = true;
            change();
        };
        b.run.plotFile = path_;
        op(b.ctx);
    }

    void change() const {
        switch (GetParam().change) {
            case Change::Truncated:
                fs::resize_file(path_, 10);
                break;
            case Change::Rewritten: {
                std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
                const std::string other = Drawing('3');
                f.write(other.data(), static_cast<std::streamsize>(other.size()));
                break;
            }
            case Change::Appended:
                std::ofstream(path_, std::ios::binary | std::ios::app) << "PA 5,5;";
                break;
            case Change::Moved:
                fs::rename(path_, path_ + ".old");
                break;
            case Change::Deleted:
                fs::remove(path_);
                break;
        }
    }

    void expectOutcome(const Bench& b) const {
        b.expectSettled();
        if (GetParam().stops) {
            ASSERT_EQ(b.events.messages.size(), 1u);
            EXPECT_NE(b.events.messages[0].find("o arquivo mudou durante a operação"),
                      std::string::npos)
                << b.events.messages[0];
            // Nothing of the new contents was taken for the drawing.
            for (std::size_t i = 0; i < b.events.list.size(); ++i) {
                EXPECT_EQ(std::string(b.events.list.at(i)).find(",3;"), std::string::npos);
            }
        } else {
            EXPECT_TRUE(b.events.messages.empty()) << b.events.messages.front();
        }
    }

    TempDir dir_;
    std::string path_;
};

TEST_P(ChangedFile, JobStopsOnlyWhenTheContentsChange) {
    Bench b;
    const PlotEnd expected = GetParam().stops ? PlotEnd::ReadFailed : PlotEnd::EndOfFile;
    runChanged(b, [expected](Context& c) { EXPECT_EQ(RunJob(c).end, expected); });
    expectOutcome(b);
}

TEST_P(ChangedFile, ScanStopsOnlyWhenTheContentsChange) {
    Bench b;
    const PlotEnd expected = GetParam().stops ? PlotEnd::ReadFailed : PlotEnd::EndOfFile;
    runChanged(b, [expected](Context& c) { EXPECT_EQ(ScanLimits(c).end, expected); });
    expectOutcome(b);
}

INSTANTIATE_TEST_SUITE_P(Ways, ChangedFile,
                         ::testing::Values(ChangeCase{"Truncated", Change::Truncated, true},
                                           ChangeCase{"Rewritten", Change::Rewritten, true},
                                           ChangeCase{"Appended", Change::Appended, true},
                                           ChangeCase{"Moved", Change::Moved, false},
                                           ChangeCase{"Deleted", Change::Deleted, false}),
                         [](const ::testing::TestParamInfo<ChangeCase>& i) {
                             return std::string(i.param.name);
                         });

// "Ir para o Limite" with a divisor or a limit that gives no usable target:
// a message, and the machine stays.
struct LimitCase {
    const char* x;
    const char* divisor;
};

void PrintTo(const LimitCase& k, std::ostream* os) {
    *os << "limit \"" << k.x << "\", divisor \"" << k.divisor << '"';
}

class BadLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(BadLimit, RefusedWithAMessage) {
    Bench b;
    b.run.limitX = GetParam().x;
    b.run.limitY = "1";
    b.run.divisor = GetParam().divisor;
    GoToLimit(b.ctx);

    EXPECT_EQ(b.events.messages.size(), 1u);
    EXPECT_EQ(b.st.CurrentX, 0);
    EXPECT_EQ(b.st.CurrentY, 0);
    EXPECT_EQ(b.events.dotCount, 0);
    EXPECT_EQ(b.machineX(), 0);
    b.expectSettled();
}

INSTANTIATE_TEST_SUITE_P(Texts, BadLimit,
                         ::testing::Values(LimitCase{"10", "0"}, LimitCase{"10", "-0"},
                                           LimitCase{"10", "&H0"}, LimitCase{"10", ""},
                                           LimitCase{"10", "1e-300"}, LimitCase{"1e999", "1"},
                                           LimitCase{"-1e999", "1"},
                                           LimitCase{"&HFFFFFFFFFFFF", "1"}));

// HPGL scaling whose type is far outside any int: the scaling is read as
// the default type, not converted out of range.
TEST(BadHpgl, ScalingTypeOutOfRange) {
    for (const std::string& type : {"104888888888"s, "-104888888888"s, "2147483648"s}) {
        const HpglResult r = ConvertHpgl("IN;IP0,0,4000,4000;SC0,100,0,100,"s + type +
                                         ";PU0,0;PD100,100;");
        EXPECT_TRUE(r.ok) << type << ": " << r.error;
        EXPECT_EQ(r.summary.statements, 2) << type;
    }
}

}  // namespace
}  // namespace pm
