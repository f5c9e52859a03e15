// portmill-cli against what a hostile user tries: records sent to the
// program's own standard streams under every name, a statement that never
// ends, a stop in the middle of a conversion's output, links that lead
// nowhere, moves no machine can make, and file names that would drive the
// terminal. Each decides from the exit status, the messages and the files.
#include <sys/inotify.h>
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
    Folder() : pm::test::Folder("portmill-hostile") {}
};

// Runs a shell command line; the exit status, -1 when killed.
int Shell(const std::string& line) {
    const int raw = std::system(line.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The shell's memory limit for a command, none under the address sanitizer,
// whose shadow memory no such limit holds (./test.sh --sanitize).
std::string MemoryLimit() {
    return std::getenv("ASAN_OPTIONS") != nullptr ? std::string() : std::string("ulimit -v 140000; ");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// ---- standard streams by any name ----

struct StreamCase {
    const char* option;  // --trace, --dots, --list
    const char* path;    // a name of standard output or error
    bool error;          // the name is standard error's
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.option << " " << c.path; }

class StandardStream : public ::testing::TestWithParam<std::tuple<StreamCase, bool>> {};

// The record goes to the stream where it stands: a file opened to append
// keeps its older lines; one opened anew gets the record, then the last
// line after it, nothing written over.
TEST_P(StandardStream, IsWrittenAsTheStreamAppending) {
    const auto& [c, append] = GetParam();
    Folder dir;
    const std::string out = dir / "out.txt";
    const std::string err = dir / "err.txt";
    WriteFile(out, "older line\n");
    WriteFile(err, "older line\n");
    const std::string sample = kSamples + "/quadrado.red";
    const std::string redirect = append ? ">>" : ">";
    // The same run written to a file of its own, for comparison.
    const std::string expected = dir / "expected.txt";
    ASSERT_EQ(Shell(ShellQuote(kCli) + " run " + ShellQuote(sample) + " --motors on " + c.option + " " +
                    ShellQuote(expected) + " >/dev/null 2>&1"),
              0);
    const int status = Shell(ShellQuote(kCli) + " run " + ShellQuote(sample) + " --motors on " + c.option + " " +
                             c.path + " " + (c.error ? "2" : "1") + redirect + ShellQuote(c.error ? err : out) +
                             (c.error ? " >/dev/null" : " 2>/dev/null"));
    EXPECT_EQ(status, 0);
    const std::string record = Slurp(expected);
    ASSERT_FALSE(record.empty());
    const std::string got = Slurp(c.error ? err : out);
    const std::string before = append ? "older line\n" : "";
    ASSERT_EQ(got.substr(0, before.size() + record.size()), before + record);
    if (!c.error) {
        // Then the last line, once.
        const std::vector<std::string> tail = Lines(got.substr(before.size() + record.size()));
        ASSERT_EQ(tail.size(), 1u) << got;
        EXPECT_EQ(tail[0].rfind("CurrentX=", 0), 0u);
    } else {
        EXPECT_EQ(got.size(), before.size() + record.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, StandardStream,
    ::testing::Combine(::testing::Values(StreamCase{"--list", "-", false},
                                         StreamCase{"--list", "/dev/stdout", false},
                                         StreamCase{"--trace", "/dev/fd/1", false},
                                         StreamCase{"--dots", "/proc/self/fd/1", false},
                                         StreamCase{"--trace", "/dev/stderr", true},
                                         StreamCase{"--list", "/dev/fd/2", true},
                                         StreamCase{"--dots", "/proc/self/fd/2", true}),
                       ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<StreamCase, bool>>& info) {
        const StreamCase& c = std::get<0>(info.param);
        std::string name = std::string(c.option + 2) + "_";
        for (const char* p = c.path; *p != '\0'; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name + (std::get<1>(info.param) ? "_Appended" : "_New");
    });

// ---- a statement that never ends ----

class LongStatement : public ::testing::TestWithParam<const char*> {};

// 100 MB after "PD5," on line 3, under a memory limit (140 MB) that holds
// the program but not the statement twice over: the
// command stops at 64 KiB with the line, the coils off, the records whole.
TEST_P(LongStatement, StopsWithItsLineInBoundedMemory) {
    Folder dir;
    {
        std::ofstream f(dir / "big.red", std::ios::binary);
        f << "PU1,1;\n\nPD5,";
        const std::string block(1 << 20, '7');
        for (int i = 0; i < 100; ++i) f << block;
        f << ";PU;";
    }
    const std::string command = GetParam();
    const int status = Shell(MemoryLimit() + ShellQuote(kCli) + " " + command + " " +
                             ShellQuote(dir / "big.red") + " --motors on --trace " + ShellQuote(dir / "t") +
                             " --list " + ShellQuote(dir / "l") + " >" + ShellQuote(dir / "out") + " 2>" +
                             ShellQuote(dir / "err"));
    const std::string err = Slurp(dir / "err");
    EXPECT_EQ(status, 1) << err;
    EXPECT_NE(err.find("linha 3 passa de 65536 caracteres"), std::string::npos) << err;
    EXPECT_EQ(err.find("terminate"), std::string::npos) << err;
    EXPECT_EQ(Lines(Slurp(dir / "out")).size(), 1u);
    const std::vector<std::string> trace = Lines(Slurp(dir / "t"));
    if (command == std::string("run")) {
        EXPECT_EQ(Slurp(dir / "l"), "PU1,1;\n");
        // Every coil off at the end: the data lines 0, the Z coils released.
        ASSERT_GE(trace.size(), 2u);
        EXPECT_NE(trace[trace.size() - 2].find(" W 888 0"), std::string::npos);
        EXPECT_NE(trace.back().find(" W 890 11"), std::string::npos);
    } else {
        EXPECT_EQ(Slurp(dir / "l"), "");
    }
    EXPECT_EQ(dir.names(), (std::set<std::string>{"big.red", "t", "l", "out", "err"}));
}

INSTANTIATE_TEST_SUITE_P(Commands, LongStatement, ::testing::Values("run", "scan"));

// Memory that runs out is a message and status 1, never an exception that
// ends the program: five million statements fill the list past the limit.
// The coils are switched off on the way out, and the trace says so.
TEST(OutOfMemory, IsAMessageAndStatusOneWithTheCoilsOff) {
    if (MemoryLimit().empty()) GTEST_SKIP() << "no memory limit under the address sanitizer";
    Folder dir;
    {
        std::ofstream f(dir / "many.red", std::ios::binary);
        for (int i = 0; i < 5'000'000; ++i) f << "PU;";
    }
    const int status = Shell(MemoryLimit() + ShellQuote(kCli) + " run " + ShellQuote(dir / "many.red") +
                             " --motors on --trace " + ShellQuote(dir / "t") + " --list " + ShellQuote(dir / "l") +
                             " >/dev/null 2>" + ShellQuote(dir / "err"));
    const std::string err = Slurp(dir / "err");
    EXPECT_EQ(status, 1) << err;
    EXPECT_NE(err.find("memória insuficiente"), std::string::npos) << err;
    EXPECT_EQ(err.find("terminate"), std::string::npos) << err;
    const std::vector<std::string> trace = Lines(Slurp(dir / "t"));
    ASSERT_GE(trace.size(), 2u);
    EXPECT_NE(trace[trace.size() - 2].find(" W 888 0"), std::string::npos);
    EXPECT_NE(trace.back().find(" W 890 11"), std::string::npos);
    // The list that filled the memory is not written; nothing is left beside it.
    EXPECT_EQ(dir.names(), (std::set<std::string>{"many.red", "t", "err"}));
}

// ---- convert stopped while it writes ----

class ConvertStop : public ::testing::TestWithParam<int> {};

// The signal lands as the temporary output is made (watched with inotify):
// it is removed, and the status is 128 + the signal.
TEST_P(ConvertStop, RemovesItsTemporaryFile) {
    Folder dir;
    std::string drawing = "IN;PU0,0;";
    for (int i = 0; i < 5000; ++i) drawing += "CI900,0.5;";
    WriteFile(dir / "big.plt", drawing);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (dir / "").c_str(), IN_CREATE), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const std::string in = dir / "big.plt";
        const std::string out = dir / "big.red";
        ::execl(kCli.c_str(), kCli.c_str(), "convert", in.c_str(), out.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // The first file made in the folder is the temporary output.
    alignas(inotify_event) char buf[4096];
    ASSERT_GT(::read(watch, buf, sizeof buf), 0);
    ::close(watch);
    ::kill(pid, GetParam());
    int raw = 0;
    ASSERT_EQ(::waitpid(pid, &raw, 0), pid);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 128 + GetParam());
    const std::set<std::string> names = dir.names();
    for (const std::string& n : names) EXPECT_NE(n[0], '.') << n << " left behind";
}

INSTANTIATE_TEST_SUITE_P(Signals, ConvertStop, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

// ---- the smaller ones ----

// A symbolic link that leads nowhere stays a link: the file it names is made.
TEST(DanglingLink, StaysALink) {
    Folder dir;
    fs::create_symlink("list.txt", dir / "list-link");
    fs::create_symlink("conv.red", dir / "conv-link");
    EXPECT_EQ(Shell(ShellQuote(kCli) + " run " + ShellQuote(kSamples + "/quadrado.red") + " --list " +
                    ShellQuote(dir / "list-link") + " >/dev/null"),
              0);
    EXPECT_EQ(Shell(ShellQuote(kCli) + " convert " + ShellQuote(kSamples + "/desenho.plt") + " " +
                    ShellQuote(dir / "conv-link") + " >/dev/null"),
              0);
    for (const char* name : {"list-link", "conv-link"}) EXPECT_TRUE(fs::is_symlink(dir / name)) << name;
    EXPECT_EQ(Slurp(dir / "list.txt").substr(0, 7), "PU0,0;\n");
    EXPECT_FALSE(Slurp(dir / "conv.red").empty());
}

// 18 bytes that ask for a move of a billion half-steps on a machine of 300
// by 200 mm: the target is ignored, nothing is walked.
TEST(Travel, AMoveBeyondItIsRefused) {
    Folder dir;
    WriteFile(dir / "far.red", "PA3550000000,1;PU;");
    const auto r = pm::test::RunCli(
        kCli, {"run", dir / "far.red", "--travel", "300,200", "--dots", dir / "dots"}, dir / "err");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("TargetX=0 TargetY=0"), std::string::npos) << r.out;
    EXPECT_LT(Lines(Slurp(dir / "dots")).size(), 100u);
    const auto e = pm::test::RunCli(kCli, {"goto", "3550000000", "0", "--travel", "300,200"}, dir / "err");
    EXPECT_EQ(e.status, 2) << e.err;
}

// A name with an escape sequence, a bell and a carriage return is shown
// with them written out, never sent raw to the terminal.
TEST(ControlCharacters, AreShownEscaped) {
    Folder dir;
    const std::string name = dir / "a\x1b[2J\a\rb.red";
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"run", name}, std::vector<std::string>{"convert", name, dir / "x.red"},
          std::vector<std::string>{"run", kSamples + "/quadrado.red", "--list", name + "/x"}}) {
        const auto r = pm::test::RunCli(kCli, words, dir / "err");
        EXPECT_EQ(r.status, 1) << words[0];
        EXPECT_NE(r.err.find("a\\x1b[2J\\x07\\x0db.red"), std::string::npos) << r.err;
        for (const char raw : {'\x1b', '\a', '\r'}) EXPECT_EQ(r.err.find(raw), std::string::npos) << r.err;
    }
}

// convert takes "--name=VALUE" as every command does.
TEST(ConvertOptions, TakeTheirValueAfterAnEqualsSign) {
    Folder dir;
    WriteFile(dir / "peca.nc", "G21\nG0 X1 Y1\nM3\nG1 X2\nM5\n");
    const auto r = pm::test::RunCli(kCli, {"convert", dir / "peca.nc", dir / "peca.red", "--pen=spindle",
                                           "--z-threshold=-0.5", "--servo-below=30"},
                                    dir / "err");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Slurp(dir / "peca.red"), "PU40,40;PD80,40;");
}

}  // namespace
