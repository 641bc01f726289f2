// End to end: runs the built labmix and checks standard output, standard error and the exit
// status.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string binary = LABMIX_BINARY;

struct outcome {
    std::string out;
    std::string err;
    int status = -1; // the exit status, or 128 + the signal that ended the run
};

// A scratch directory of its own for every test.
class scratch {
public:
    scratch() {
        static std::atomic<int> counter{0};
        dir_ = fs::temp_directory_path() /
               ("labmix_run_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::create_directories(dir_);
    }
    ~scratch() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    scratch(const scratch&) = delete;
    scratch& operator=(const scratch&) = delete;

    // Writes `text` to a file of that name in the directory and returns its path.
    std::string file(const std::string& name, const std::string& text) const {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    [[nodiscard]] std::string path(const std::string& name) const { return (dir_ / name).string(); }

private:
    fs::path dir_;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int status_of(int wait_status) {
    if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
    return -1;
}

// Runs labmix with `args`. Standard input is `input` (or /dev/null); standard output goes to
// `stdout_path` when given (otherwise it is captured), or is closed when `close_stdout`.
outcome run(const std::vector<std::string>& args, const std::optional<std::string>& input = {},
            const std::string& stdout_path = "", bool close_stdout = false) {
    scratch io;
    const std::string in_path = input ? io.file("stdin", *input) : "/dev/null";
    const std::string out_path = stdout_path.empty() ? io.path("stdout") : stdout_path;
    const std::string err_path = io.path("stderr");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open(in_path.c_str(), O_RDONLY);
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) ::_exit(99);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (close_stdout) ::close(1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(binary.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
        ::_exit(98);
    }
    int wait_status = 0;
    ::waitpid(pid, &wait_status, 0);
    outcome result;
    result.status = status_of(wait_status);
    if (stdout_path.empty()) result.out = slurp(out_path);
    result.err = slurp(err_path);
    return result;
}

std::string usage() {
    return binary + " randomizes associations.\n\nUsage: " + binary +
           " [options] inputfile(s)\n\nOptions:\n"
           "  -f  Column to keep fixed.\n"
           "  -n  Randomly reshuffle taxon labels this number of times.\n"
           "  -p  Column to permute.\n"
           "  -s  Seed for random reshuffles.\n\n";
}

// Splits a run's output into its listings (each without its closing empty line).
std::vector<std::vector<std::string>> listings(const std::string& out) {
    std::vector<std::vector<std::string>> result(1);
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.empty())
            result.emplace_back();
        else
            result.back().push_back(line);
    }
    result.pop_back(); // after the last empty line
    return result;
}

const std::string abc = "a\tx\nb\ty\nc\tz\n";

} // namespace

TEST(LabmixUsage, NotExactlyOneInputGivesTheUsageText) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"-n", "2"}, {"a.tsv", "b.tsv"}, {"-x", "a.tsv"}, {"a.tsv", "-n5"}}) {
        const auto r = run(args);
        EXPECT_EQ(r.err, usage());
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 1);
    }
}

TEST(LabmixUsage, BadOptionValuesAreOneMessageAndStatusOne) {
    scratch s;
    const auto t = s.file("t.tsv", abc);
    const auto r = run({"-f", "-n", "4", t});
    EXPECT_EQ(r.err, "labmix: range error: the value of option -f is not a whole number in "
                     "-2147483648 .. 2147483647: \"" + t + "\"\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(run({t, "-n"}).err, "labmix: range error: option -n has no value\n");
    const auto below = run({"-n", "-1", t});
    EXPECT_EQ(below.err, "labmix: range error: the value of option -n must be at least 0, not -1\n");
    EXPECT_EQ(below.status, 1);
    EXPECT_EQ(run({"-p", "0", t}).status, 1);
    EXPECT_EQ(run({"-s", "x", t}).status, 1);
}

TEST(LabmixListings, TableAsReadWithOptionsAnywhere) {
    scratch s;
    const auto t = s.file("t.tsv", abc);
    const std::string expected = "a\tx\nb\ty\nc\tz\n\n";
    for (const auto& args : std::vector<std::vector<std::string>>{
             {t}, {t, "-n", "0"}, {"-f", "1", t, "-p", "2"}}) {
        const auto r = run(args);
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
    // Both columns may be the same one, and any column may be fixed.
    EXPECT_EQ(run({"-f", "2", "-p", "2", t}).out, "x\tx\ny\ty\nz\tz\n\n");
    EXPECT_EQ(run({t, "-f", "2", "-p", "1"}).out, "x\ta\ny\tb\nz\tc\n\n");
    // Blanks around fields are gone, empty lines skipped, labels written as they stand.
    EXPECT_EQ(run({s.file("m.tsv", "\n  a b \t\"x\"\n\nc\t\n")}).out, "a b\t\"x\"\nc\t\n\n");
}

TEST(LabmixListings, ReshufflesKeepTheFixedColumnAndPermuteTheOther) {
    scratch s;
    const auto t = s.file("t.tsv", abc);
    const auto r = run({t, "-n", "20", "-s", "11", "-p", "2"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto all = listings(r.out);
    ASSERT_EQ(all.size(), 21u);
    std::set<std::string> seen;
    for (const auto& listing : all) {
        ASSERT_EQ(listing.size(), 3u);
        std::multiset<std::string> second;
        std::string order;
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(listing[i].substr(0, 2), std::string(1, "abc"[i]) + "\t");
            second.insert(listing[i].substr(2));
            order += listing[i].substr(2);
        }
        EXPECT_EQ(second, (std::multiset<std::string>{"x", "y", "z"}));
        seen.insert(order);
    }
    EXPECT_EQ(all.front()[1], "b\ty");
    // Twenty uniform reshuffles of three labels miss one of the six orders only rarely; the
    // old run of exchanges never left the two orders xyz and xzy and yxz.
    EXPECT_GE(seen.size(), 5u);
}

TEST(LabmixListings, TheSameSeedGivesTheSameBytes) {
    scratch s;
    std::string table;
    for (int i = 0; i < 200; ++i) table += "t" + std::to_string(i) + "\tg" + std::to_string(i % 7) + "\n";
    const auto t = s.file("t.tsv", table);
    const auto one = run({"-s", "2024", "-n", "5", t});
    const auto two = run({t, "-n", "5", "-s", "2024"});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, two.out);
    EXPECT_NE(one.out, run({"-s", "2025", "-n", "5", t}).out);
    // The seed only matters for reshuffles; a count of 0 never draws.
    EXPECT_EQ(run({"-s", "1", t}).out, run({t}).out);
}

TEST(LabmixListings, NoRowsGiveOneEmptyLinePerListing) {
    scratch s;
    const auto empty = s.file("e.tsv", "\n\n\n");
    EXPECT_EQ(run({empty}).out, "\n");
    const auto r = run({empty, "-n", "3"});
    EXPECT_EQ(r.out, "\n\n\n\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(run({s.file("z.tsv", ""), "-n", "2", "-f", "9"}).out, "\n\n\n");
}

TEST(LabmixInput, StandardInputWithAMinus) {
    scratch s;
    const auto from_stdin = run({"-", "-n", "3", "-s", "5"}, abc);
    EXPECT_EQ(from_stdin.status, 0);
    EXPECT_EQ(from_stdin.out, run({s.file("t.tsv", abc), "-n", "3", "-s", "5"}).out);
    const auto bad = run({"-"}, "a\tb\nc\n");
    EXPECT_EQ(bad.err, "labmix: wrong number of fields: standard input: line  2\n");
    EXPECT_EQ(bad.status, 1);
}

TEST(LabmixInput, WindowsLineEndsGiveTheSameRows) {
    scratch s;
    const auto lf = run({s.file("lf.tsv", "a\tx\n\nb\ty\n")});
    EXPECT_EQ(lf.out, "a\tx\nb\ty\n\n");
    // A line of only a carriage return is empty, and a last carriage return ends the line.
    const auto crlf = run({s.file("crlf.tsv", "a\tx\r\n\r\nb\ty\r")});
    EXPECT_EQ(crlf.out, lf.out);
    EXPECT_EQ(crlf.status, 0);
}

TEST(LabmixInput, LongLinesAreReadWhole) {
    scratch s;
    const std::string a(25000, 'a');
    const std::string b(10000 - 2, 'b'); // "b...b\tq" is exactly 10,000 characters
    const auto r = run({s.file("long.tsv", a + "\tp\n" + b + "\tq\n" + "c\tr\n")});
    EXPECT_EQ(r.out, a + "\tp\n" + b + "\tq\nc\tr\n\n");
    EXPECT_EQ(r.status, 0);
}

// Labels of every short length and a few long ones, over several output buffers' worth, with
// one label longer than the whole output buffer.
TEST(LabmixListings, LabelsOfAnyLengthComeOutWhole) {
    scratch s;
    std::string table;
    std::string expected;
    for (int i = 0; i < 40000; ++i) {
        const std::string left = "t" + std::string(static_cast<std::size_t>(i % 71), 'a');
        const std::string right(static_cast<std::size_t>((i * 7) % 67), static_cast<char>('k' + i % 5));
        table += left + "\t" + right + "\n";
        expected += left + "\t" + right + "\n";
    }
    const std::string huge(3 << 20, 'h');
    table += huge + "\tz\n";
    expected += huge + "\tz\n\n";
    const auto t = s.file("t.tsv", table);
    const auto r = run({t});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == expected) << "output differs from the table";
    EXPECT_EQ(run({"-f", "2", "-p", "1", t}).out.size(), expected.size());
    // Reshuffled listings hold the same labels.
    const auto shuffled = run({t, "-n", "1", "-s", "3"});
    ASSERT_EQ(shuffled.out.size(), 2 * expected.size());
    const std::string second = shuffled.out.substr(expected.size());
    EXPECT_FALSE(second == expected);
    std::vector<std::size_t> have(256), want(256);
    for (const unsigned char c : second) ++have[c];
    for (const unsigned char c : expected) ++want[c];
    EXPECT_EQ(have, want);
}

TEST(LabmixFailures, BadInputsAreInvalidFilenames) {
    scratch s;
    for (const auto& name : {s.path("missing.tsv"), s.path(""), std::string("-x"),
                             fs::temp_directory_path().string()}) {
        const auto r = run({name});
        EXPECT_EQ(r.err, "Invalid filename.\n") << name;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 1);
    }
}

TEST(LabmixFailures, TableErrorsNameTheErrorAndTheProblem) {
    scratch s;
    // The bad line is the fourth: the empty line counts.
    const auto ragged = s.file("ragged.tsv", "a\tx\n\nb\ty\nc\n");
    const auto r = run({ragged});
    EXPECT_EQ(r.err, "labmix: wrong number of fields: " + ragged + ": line  4\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);

    const auto t = s.file("t.tsv", abc);
    const auto wide = run({t, "-p", "3"});
    EXPECT_EQ(wide.err, "labmix: range error: column 3 is beyond the 2 fields of the table\n");
    EXPECT_EQ(wide.out, "");
    EXPECT_EQ(wide.status, 1);
    EXPECT_EQ(run({s.file("one.tsv", "a\nb\n"), "-f", "4", "-p", "1"}).err,
              "labmix: range error: column 4 is beyond the 1 field of the table\n");
}

TEST(LabmixFailures, OutputThatCannotBeWrittenIsAnError) {
    scratch s;
    const auto t = s.file("t.tsv", abc);
    const auto full = run({t, "-n", "3"}, {}, "/dev/full");
    EXPECT_EQ(full.err, "labmix: write error: standard output: No space left on device\n");
    EXPECT_EQ(full.status, 1);
    const auto closed = run({t}, {}, "", true);
    EXPECT_EQ(closed.err, "labmix: write error: standard output: Bad file descriptor\n");
    EXPECT_EQ(closed.status, 1);
}

// labmix -n 2147483647 t | head: the run ends as soon as the reader goes, and says nothing.
TEST(LabmixFailures, AClosedPipeEndsTheRunQuietly) {
    scratch s;
    const auto t = s.file("t.tsv", abc);
    const auto err_path = s.path("stderr");
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe_fds[0]);
        ::dup2(pipe_fds[1], 1);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, 2);
        ::execl(binary.c_str(), binary.c_str(), "-n", "2147483647", t.c_str(), nullptr);
        ::_exit(98);
    }
    ::close(pipe_fds[1]);
    char buffer[64];
    ASSERT_GT(::read(pipe_fds[0], buffer, sizeof buffer), 0);
    ::close(pipe_fds[0]);
    const auto start = std::chrono::steady_clock::now();
    int wait_status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(pid, &wait_status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &wait_status, 0);
        FAIL() << "labmix went on writing into a closed pipe";
    }
    const int status = status_of(wait_status);
    EXPECT_TRUE(status == 1 || status == 128 + SIGPIPE) << status;
    EXPECT_EQ(slurp(err_path), "");
}
