// The window's records sent to its own standard output: written as the
// stream, where it stands, nothing of the file emptied or replaced.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "motion/Records.h"

namespace pm {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class RecordOnStream : public ::testing::TestWithParam<const char*> {};

// In a child whose standard output is a log opened to append: the list
// written anew, then added to, lands after the log's older line.
TEST_P(RecordOnStream, AppendsToTheStream) {
    const std::string log = ::testing::TempDir() + "portmill_records_" + std::to_string(::getpid()) + ".log";
    std::ofstream(log) << "older line\n";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
        if (fd < 0 || ::dup2(fd, 1) < 0) ::_exit(2);
        const std::vector<std::string_view> entries{"PU0,0;", "PD1,1;", "PU;"};
        const auto entry = [&entries](std::size_t i) { return entries[i]; };
        RunRecords records;
        std::string error;
        const bool ok = records.open("", "", GetParam(), error) && records.writeList(2, entry, error) &&
                        records.appendList(2, 3, entry, error) && records.close(error);
        ::_exit(ok ? 0 : 1);
    }
    int raw = 0;
    ASSERT_EQ(::waitpid(pid, &raw, 0), pid);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    EXPECT_EQ(Slurp(log), "older line\nPU0,0;\nPD1,1;\nPU;\n");
    std::remove(log.c_str());
}

INSTANTIATE_TEST_SUITE_P(Names, RecordOnStream, ::testing::Values("-", "/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"));

}  // namespace
}  // namespace pm
