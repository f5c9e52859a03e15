// portmill-cli as a user runs it, when things go wrong around it: Ctrl-C, kill
// or a dropped session in the middle of a motion, a record named after the
// file being read, a full disk, an output that cannot be written, a path that
// is not a file. Each must leave the machine released, the user's files whole
// and an exit status that tells the truth.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/CliRun.h"

namespace {

namespace fs = std::filesystem;
using pm::test::ShellQuote;
using pm::test::Slurp;
using pm::test::WriteFile;

const std::string kCli = PM_CLI;
const std::string kSamples = PM_SAMPLES;

// A private folder for one test, removed afterwards.
class Folder : public pm::test::Folder {
public:
    Folder() : pm::test::Folder("portmill-safety") {}
};

// The words with "D/" at their start standing for the folder.
std::vector<std::string> InFolder(std::vector<std::string> words, const Folder& dir) {
    for (auto& w : words) {
        if (w.rfind("D/", 0) == 0) w = dir / w.substr(2);
    }
    return words;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The port a real run drives: the kernel's driver is faked (fake_parport.cpp)
// and logs every register write to kernelLog.
const std::string kFakePort = "/nonexistent/fake-parport0";

// Starts portmill-cli with words, its output and errors going to files; with
// a kernelLog, on the faked parallel-port driver.
pid_t Start(const std::vector<std::string>& words, const std::string& out, const std::string& err,
            const std::string& kernelLog = "") {
    std::vector<std::string> all{kCli};
    all.insert(all.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (auto& w : all) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || o < 0 || e < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(o, 1);
        ::dup2(e, 2);
        if (!kernelLog.empty()) {
            ::setenv("LD_PRELOAD", PM_FAKE_PARPORT, 1);
            ::setenv("PM_FAKE_PARPORT", kFakePort.c_str(), 1);
            ::setenv("PM_FAKE_PARPORT_LOG", kernelLog.c_str(), 1);
            // A sanitized build checks that its runtime comes first; the
            // stand-in comes before it here, on purpose.
            const char* asan = std::getenv("ASAN_OPTIONS");
            const std::string options =
                std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
            ::setenv("ASAN_OPTIONS", options.c_str(), 1);
        }
        ::execv(kCli.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

// Whether process pid has a handler of its own for each of the stop signals.
bool CatchesStopSignals(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("SigCgt:", 0) != 0) continue;
        const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        const auto has = [mask](int s) { return ((mask >> (s - 1)) & 1U) != 0; };
        return has(SIGINT) && has(SIGTERM) && has(SIGHUP);
    }
    return false;
}

// The machine commands, each left in a motion far longer than the test: a
// move of 28 000 steps, Home XY 300 000 steps from its switches, a lift to a
// top that is far away, a coil line held for a minute.
struct StopCase {
    const char* name;
    std::vector<std::string> words;
    bool selftest;
    bool realPort = false;  // on the faked kernel driver, its writes logged
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

const std::vector<std::string> kReal{"--clock", "real", "--motors", "on"};

std::vector<std::string> With(std::vector<std::string> words, const std::vector<std::string>& more) {
    words.insert(words.end(), more.begin(), more.end());
    return words;
}

class StopSignal : public ::testing::TestWithParam<std::tuple<StopCase, int>> {};

// The signal lands once the program has set up its handlers: in the motion,
// or at worst before its first pass, which the same stop then ends.
TEST_P(StopSignal, ReleasesEveryCoilCompletesTheRecordsAndTells) {
    const auto& [c, signal] = GetParam();
    Folder dir;
    WriteFile(dir / "long.red", "PU;PA 100000,0;");
    std::vector<std::string> words = With(InFolder(c.words, dir), {"--trace", dir / "t.trace"});
    if (!c.selftest) words = With(words, {"--dots", dir / "d.dots", "--list", dir / "l.list"});

    const std::string kernelLog = c.realPort ? dir / "kernel.log" : "";
    const pid_t pid = Start(words, dir / "out.txt", dir / "err.txt", kernelLog);
    ASSERT_GT(pid, 0);
    int raw = 0;
    bool ready = false;
    // The handlers come before the motion; the motion lasts minutes.
    for (int i = 0; i < 60'000 && !ready; ++i) {
        ready = CatchesStopSignals(pid);
        if (!ready) {
            ASSERT_EQ(::waitpid(pid, &raw, WNOHANG), 0) << "ended before it was signalled";
            ::usleep(1000);
        }
    }
    ASSERT_TRUE(ready);
    ASSERT_EQ(::kill(pid, signal), 0);
    ASSERT_EQ(::waitpid(pid, &raw, 0), pid);

    ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << WTERMSIG(raw);
    EXPECT_EQ(WEXITSTATUS(raw), 128 + signal);
    // The last two writes release every coil, data then control.
    const std::vector<std::string> trace = Lines(Slurp(dir / "t.trace"));
    ASSERT_GE(trace.size(), 2u);
    EXPECT_NE(trace[trace.size() - 2].find(" W 888 0"), std::string::npos) << trace[trace.size() - 2];
    EXPECT_NE(trace.back().find(" W 890 11"), std::string::npos) << trace.back();
    if (c.realPort) {
        // What reached the kernel's driver, last: the same two writes.
        const std::vector<std::string> kernel = Lines(Slurp(kernelLog));
        ASSERT_GE(kernel.size(), 2u);
        EXPECT_EQ(kernel[kernel.size() - 2], "W 888 0");
        EXPECT_EQ(kernel.back(), "W 890 11");
    }
    // Every record ends with a whole line, and no temporary file is left.
    for (const std::string& name : dir.names()) {
        EXPECT_NE(name.front(), '.') << name;
        const std::string text = Slurp(dir / name);
        if (name != "long.red" && name != "kernel.log" && !text.empty()) {
            EXPECT_EQ(text.back(), '\n') << name;
        }
    }
    const std::string out = Slurp(dir / "out.txt");
    if (c.selftest) {
        EXPECT_NE(out.find("Interrompido"), std::string::npos) << out;
    } else {
        ASSERT_EQ(Lines(out).size(), 1u) << out;
        EXPECT_EQ(out.rfind("CurrentX=", 0), 0u) << out;
        EXPECT_NE(Slurp(dir / "err.txt").find("todas as bobinas foram desligadas"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, StopSignal,
    ::testing::Combine(
        ::testing::Values(
            StopCase{"Run", With({"run", "D/long.red", "--speed", "40"}, kReal), false},
            StopCase{"Goto", With({"goto", "100000", "0", "--divisor", "1", "--speed", "40"}, kReal),
                     false},
            StopCase{"HomeXY", With({"home-xy", "--sim-start", "300000,300000,0"}, kReal), false},
            StopCase{"HomeZ", With({"home-z", "--sim-ztop", "1000000"}, kReal), false},
            StopCase{"Selftest", {"selftest", "--port", "sim", "--hold", "60000"}, true},
            // A port that never shows a switch: the lift, Home XY and a coil
            // line run on until stopped.
            StopCase{"RunOnPort", With({"run", "D/long.red", "--port", "ppdev:" + kFakePort}, kReal),
                     false, true},
            StopCase{"HomeXYOnPort", With({"home-xy", "--port", "ppdev:" + kFakePort}, kReal),
                     false, true},
            StopCase{"SelftestOnPort",
                     {"selftest", "--port", "ppdev:" + kFakePort, "--hold", "60000"}, true, true}),
        ::testing::Values(SIGINT, SIGTERM, SIGHUP)),
    [](const ::testing::TestParamInfo<std::tuple<StopCase, int>>& info) {
        const int s = std::get<1>(info.param);
        return std::string(std::get<0>(info.param).name) +
               (s == SIGINT ? "Int" : s == SIGTERM ? "Term" : "Hup");
    });

// Writes that would land on the file being read, or on each other's file,
// under any name: refused before anything is opened for writing.
struct RefusalCase {
    const char* name;
    std::vector<std::string> words;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class SameFile : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SameFile, RefusedAndTheFilesStayAsTheyWere) {
    Folder dir;
    const std::string plot = Slurp(kSamples + "/casa.red");
    const std::string hpgl = Slurp(kSamples + "/desenho.plt");
    WriteFile(dir / "in.red", plot);
    WriteFile(dir / "in.plt", hpgl);
    fs::create_symlink("in.red", dir / "link.red");
    fs::create_symlink("in.plt", dir / "link.plt");
    fs::create_hard_link(dir / "in.red", dir / "hard.red");
    const std::set<std::string> before = dir.names();

    const auto r = pm::test::RunCli(kCli, InFolder(GetParam().words, dir),
                                     pm::test::TempFilePath("portmill_safety", "err.txt"));
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("nada foi gravado"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Slurp(dir / "in.red"), plot);
    EXPECT_EQ(Slurp(dir / "in.plt"), hpgl);
    EXPECT_EQ(dir.names(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SameFile,
    ::testing::Values(
        RefusalCase{"ListIsTheInput", {"run", "D/in.red", "--list", "D/in.red"}},
        RefusalCase{"TraceByAnotherPath", {"run", "D/in.red", "--trace", "D/./in.red"}},
        RefusalCase{"DotsOnAHardLink", {"run", "D/in.red", "--motors", "on", "--dots", "D/hard.red"}},
        RefusalCase{"ScanListThroughALink", {"scan", "D/in.red", "--list", "D/link.red"}},
        RefusalCase{"ScanReadThroughALink", {"scan", "D/link.red", "--trace", "D/in.red"}},
        RefusalCase{"TwoRecordsOneNewFile",
                    {"run", "D/in.red", "--trace", "D/rec.txt", "--list", "D/./rec.txt"}},
        RefusalCase{"GotoTwoRecords", {"goto", "1", "1", "--trace", "D/in.red", "--dots", "D/hard.red"}},
        RefusalCase{"HomeZTwoRecords", {"home-z", "--list", "D/rec.txt", "--dots", "D/rec.txt"}},
        RefusalCase{"ConvertOntoItsInput", {"convert", "D/in.plt", "D/in.plt"}},
        RefusalCase{"ConvertThroughALink", {"convert", "D/in.plt", "D/link.plt"}}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

// Paths that are not files to read, outputs that fail, a lift that gives up:
// each ends with its message and the status that says so.
struct StatusCase {
    const char* name;
    std::string command;  // shell words after the program; D/ is the folder
    int status;
    const char* err;
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class Status : public ::testing::TestWithParam<StatusCase> {};

TEST_P(Status, MessageAndStatus) {
    Folder dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    WriteFile(dir / "pu.red", "PU;");
    std::string command = GetParam().command;
    for (std::size_t at = command.find("D/"); at != std::string::npos; at = command.find("D/", at)) {
        command.replace(at, 2, dir.path() + "/");
        at += dir.path().size();
    }
    const std::string err = dir / "err.txt";
    // A FIFO must be refused, not waited on: ten seconds is a hang.
    const int raw = std::system(("timeout 10 " + ShellQuote(kCli) + " " + command + " 2>" +
                                 ShellQuote(err) + " </dev/null")
                                    .c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), GetParam().status) << Slurp(err);
    EXPECT_NE(Slurp(err).find(GetParam().err), std::string::npos) << Slurp(err);
    EXPECT_FALSE(fs::exists(dir / "x.red"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Status,
    ::testing::Values(
        StatusCase{"ConvertFolder", "convert " + kSamples + " D/x.red", 1, "pasta"},
        StatusCase{"ConvertFailingRead", "convert /proc/self/mem D/x.red", 1,
                   "erro de entrada e saída"},
        StatusCase{"ConvertDevice", "convert /dev/zero D/x.red", 1, "dispositivo"},
        StatusCase{"ConvertFifo", "convert D/fifo D/x.red", 1, "FIFO"},
        StatusCase{"RunFifo", "run D/fifo >/dev/null", 1, "FIFO"},
        StatusCase{"ScanDevice", "scan /dev/zero >/dev/null", 1, "dispositivo"},
        StatusCase{"LiftGivesUpInTheLastPass",
                   "run D/pu.red --motors on --sim-ztop 1000000 >/dev/null", 1,
                   "chave do topo do eixo Z"},
        StatusCase{"OutputFull", "run " + kSamples + "/quadrado.red >/dev/full", 1,
                   "erro ao escrever na saída padrão: o disco está cheio"},
        StatusCase{"OutputClosed", "run " + kSamples + "/quadrado.red >&-", 1,
                   "erro ao escrever na saída padrão: a saída não está aberta"},
        StatusCase{"ConvertOutputFull", "convert " + kSamples + "/desenho.plt D/y.red >/dev/full",
                   1, "saída padrão"},
        StatusCase{"IoInterruptController", "run " + kSamples + "/quadrado.red --port io:0x20", 2,
                   "não é o endereço de uma porta paralela"},
        StatusCase{"IoPciConfiguration", "home-z --port io:0xCF8", 2,
                   "não é o endereço de uma porta paralela"},
        StatusCase{"GotoLetterForADigit", "goto 1O0 200 >/dev/null", 2, "\"1O0\" não é um número"},
        StatusCase{"GotoWords", "goto abc def >/dev/null", 2, "\"abc\" não é um número"},
        StatusCase{"PpdevOnAFile", "home-z --port ppdev:D/pu.red", 1,
                   "não é um dispositivo de caractere"},
        StatusCase{"PpdevOnAFifo", "home-z --port ppdev:D/fifo", 1,
                   "não é um dispositivo de caractere"}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

// A full disk, on a small memory file system of the test's own: the old
// output and the old record stay whole, the run stops part-way, and each
// message says why. Skipped where the test may not mount one.
TEST(FullDisk, OldFilesStayWholeAndTheRunStops) {
    Folder dir;
    const std::string good = Slurp(kSamples + "/casa.red");
    WriteFile(dir / "good.red", good);
    // 400 000 half-steps of dots: far more than the disk holds.
    WriteFile(dir / "far.red", "PU;PD;PA 400000,0;");
    fs::create_directory(dir / "disk");
    const std::string d = dir.path() + "/";
    const std::string cli = ShellQuote(kCli);
    const std::string script =
        "mount -t tmpfs -o size=256k tmpfs " + d + "disk 2>/dev/null || exit 99\n"
        "cp " + d + "good.red " + d + "disk/out.red\n"
        "cp " + d + "good.red " + d + "disk/d.dots\n"
        "head -c 1M /dev/zero >" + d + "disk/fill 2>/dev/null\n" +
        cli + " convert " + kSamples + "/desenho.plt " + d + "disk/out.red >/dev/null 2>" + d +
        "conv.err; echo $? >" + d + "conv.rc\n" +
        cli + " run " + d + "far.red --divisor 1 --motors on --dots " + d + "disk/d.dots >" + d +
        "run.out 2>" + d + "run.err; echo $? >" + d + "run.rc\n"
        "cp " + d + "disk/out.red " + d + "out.after; cp " + d + "disk/d.dots " + d +
        "dots.after; ls -A " + d + "disk >" + d + "disk.ls\n";
    const std::string unshare = ::geteuid() == 0 ? "unshare -m" : "unshare -rm";
    const int raw = std::system((unshare + " sh -c " + ShellQuote(script) + " 2>/dev/null").c_str());
    if (!WIFEXITED(raw) || WEXITSTATUS(raw) != 0) GTEST_SKIP() << "no private tmpfs here";

    EXPECT_EQ(Slurp(d + "conv.rc"), "1\n");
    EXPECT_NE(Slurp(d + "conv.err").find("o disco está cheio"), std::string::npos)
        << Slurp(d + "conv.err");
    EXPECT_EQ(Slurp(d + "out.after"), good);

    EXPECT_EQ(Slurp(d + "run.rc"), "1\n");
    EXPECT_NE(Slurp(d + "run.err").find("o disco está cheio"), std::string::npos)
        << Slurp(d + "run.err");
    EXPECT_EQ(Slurp(d + "dots.after"), good);
    // The job stopped when the record failed, long before the end of its move.
    const std::string out = Slurp(d + "run.out");
    const std::size_t sim = out.find(" sim=");
    ASSERT_NE(sim, std::string::npos) << out;
    EXPECT_LT(std::stoll(out.substr(sim + 5)), 200000) << out;
    // Nothing but the two old files and the filler: no temporary file left.
    EXPECT_EQ(Slurp(d + "disk.ls"), "d.dots\nfill\nout.red\n");
}

}  // namespace
