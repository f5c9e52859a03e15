#pragma once
// Runs the built portmill-cli as a user would, for the tests that check what
// it prints, the files it writes and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace pm::test {

struct CliResult {
    int status = -1;  // the exit status, -1 when it did not exit on its own
    std::string out;  // standard output
    std::string err;  // standard error
};

// The whole file at path, byte for byte ("" when it cannot be read).
inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// word as one single-quoted shell word, its own quotes kept.
inline std::string ShellQuote(const std::string& word) {
    std::string q = "'";
    for (const char ch : word) q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return q + "'";
}

// A path in the test temporary folder that no other test process uses:
// prefix, the process, the running test's name (when one runs) and name.
inline std::string TempFilePath(const std::string& prefix, const std::string& name) {
    std::string path = ::testing::TempDir() + prefix + "_" + std::to_string(::getpid());
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
        std::string test = info->name();  // "Test/Row" for a table's rows
        std::replace(test.begin(), test.end(), '/', '_');
        path += "_" + test;
    }
    return path + "_" + name;
}

// Writes text to path, byte for byte, and gives the path back.
inline std::string WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Runs the program cli with words and no input. Standard error goes through
// the file errPath, which is removed once read.
inline CliResult RunCli(const std::string& cli, const std::vector<std::string>& words,
                        const std::string& errPath) {
    std::string command = ShellQuote(cli);
    for (const auto& w : words) command += " " + ShellQuote(w);
    command += " 2>" + ShellQuote(errPath) + " </dev/null";
    CliResult r;
    std::FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int raw = ::pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = Slurp(errPath);
    std::remove(errPath.c_str());
    return r;
}

// A private folder for one test, named from prefix, removed afterwards.
class Folder {
public:
    explicit Folder(const std::string& prefix) {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    // The names in the folder, hidden ones included.
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(path_)) out.insert(e.path().filename().string());
        return out;
    }

private:
    std::string path_;
};

}  // namespace pm::test
