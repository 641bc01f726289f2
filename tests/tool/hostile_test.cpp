// End to end on inputs and outputs that a careless run meets: binary files, NUL bytes, a
// field of 100 MB, files and streams that cannot be read, outputs that fill up or go away in
// the middle of an endless run. Each must end with exit status 1 and one clear message, or
// with the exact output; none may crash or hang. The built labmix runs in a child process
// that is killed, and the test failed, when it overruns a generous bound.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string binary = LABMIX_BINARY;

// Long enough for a loaded machine under AddressSanitizer; a run that would never end is
// killed at this point.
constexpr auto time_bound = std::chrono::seconds(60);

// A scratch directory of its own for every test, removed with everything in it.
class scratch {
public:
    scratch() {
        static std::atomic<int> counter{0};
        dir_ = fs::temp_directory_path() / ("labmix_hostile_test_" + std::to_string(::getpid()) +
                                            "_" + std::to_string(counter++));
        fs::create_directories(dir_);
    }
    ~scratch() {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    scratch(const scratch&) = delete;
    scratch& operator=(const scratch&) = delete;

    std::string file(const std::string& name, std::string_view text) const {
        const auto p = path(name);
        std::ofstream(p, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
        return p;
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

// Where a child's standard stream comes from or goes to: a file, or nothing (closed).
struct stream_end {
    std::string path;
    bool closed = false;
};

struct outcome {
    std::string err;
    int status = -1; // the exit status, or 128 + the signal that ended the run
    bool overran = false;
};

// Exit statuses of a child that could not become the program.
constexpr int cannot_attach = 99;
constexpr int cannot_exec = 98;
constexpr int cannot_drop = 97;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
constexpr bool sanitized = __has_feature(address_sanitizer);
#else
constexpr bool sanitized = false;
#endif

// Runs `argv` (argv[0] is the program's path) with the given standard streams, as the user
// `as_user` when given (root only), with at most `address_space` bytes of memory when given,
// and kills it when it overruns the time bound.
outcome run_program(const std::vector<std::string>& argv, const stream_end& in,
                    const stream_end& out, const std::string& err_path, uid_t as_user = 0,
                    rlim_t address_space = 0) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const auto attach = [](const stream_end& end, int fd, int flags) {
            if (end.closed) {
                ::close(fd);
                return;
            }
            const int opened = ::open(end.path.c_str(), flags, 0644);
            if (opened < 0 || ::dup2(opened, fd) < 0) ::_exit(cannot_attach);
            ::close(opened);
        };
        attach(in, 0, O_RDONLY);
        attach(out, 1, O_WRONLY | O_CREAT | O_TRUNC);
        attach({err_path}, 2, O_WRONLY | O_CREAT | O_TRUNC);
        if (as_user != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(as_user) != 0 || ::setuid(as_user) != 0))
            ::_exit(cannot_drop);
        if (address_space != 0) {
            const rlimit limit{address_space, address_space};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args.front(), args.data());
        ::_exit(cannot_exec);
    }
    outcome result;
    const auto start = std::chrono::steady_clock::now();
    int wait_status = 0;
    while (::waitpid(pid, &wait_status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > time_bound) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &wait_status, 0);
            result.overran = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) result.status = 128 + WTERMSIG(wait_status);
    result.err = slurp(err_path);
    return result;
}

// labmix with `args`, standard output into the file `out` (or closed), input from `in`.
outcome labmix(const scratch& s, std::vector<std::string> args, const stream_end& out,
               const stream_end& in = {"/dev/null"}) {
    args.insert(args.begin(), binary);
    return run_program(args, in, out, s.path("stderr"));
}

// The same, with standard output captured.
struct captured {
    std::string out;
    outcome run;
};
captured labmix_captured(const scratch& s, const std::vector<std::string>& args,
                         const stream_end& in = {"/dev/null"}) {
    const auto out_path = s.path("stdout");
    captured c;
    c.run = labmix(s, args, {out_path}, in);
    c.out = slurp(out_path);
    return c;
}

// A label holding every byte value except the tab and the line feed, NUL included; it
// neither starts nor ends with a blank or a carriage return, so it reads back as it stands.
std::string every_byte_label(int shift) {
    std::string label = "<";
    for (int k = 0; k < 256; ++k) {
        const char c = static_cast<char>((k + shift) % 256);
        if (c != '\t' && c != '\n') label += c;
    }
    return label + ">";
}

// Counts of every byte value: what a reshuffle must leave as it is.
std::array<std::size_t, 256> byte_counts(std::string_view text) {
    std::array<std::size_t, 256> counts{};
    for (const unsigned char c : text) ++counts[c];
    return counts;
}

// The lines of a listing file, each without its line feed.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find('\n', from)) != std::string::npos; from = at + 1)
        lines.push_back(text.substr(from, at - from));
    return lines;
}

} // namespace

// --- Binary input --------------------------------------------------------------------------

TEST(LabmixBinaryInput, AnExecutableIsAClearTableErrorAndPrintsNothing) {
    scratch s;
    const auto r = labmix_captured(s, {binary});
    EXPECT_FALSE(r.run.overran);
    EXPECT_EQ(r.run.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string head = "labmix: wrong number of fields: " + binary + ": line  ";
    ASSERT_EQ(r.run.err.substr(0, head.size()), head) << r.run.err;
    // One line: the message ends with the line number.
    const std::string number = r.run.err.substr(head.size());
    ASSERT_FALSE(number.empty());
    EXPECT_EQ(number.back(), '\n');
    EXPECT_EQ(number.find_first_not_of("0123456789"), number.size() - 1) << number;
}

TEST(LabmixBinaryInput, RandomBytesEndInOneMessage) {
    scratch s;
    std::mt19937 bits(42);
    std::string noise(1 << 20, '\0');
    for (auto& c : noise) c = static_cast<char>(bits());
    const auto ragged = labmix_captured(s, {s.file("noise.bin", noise)});
    EXPECT_EQ(ragged.run.status, 1);
    EXPECT_EQ(ragged.out, "");
    EXPECT_EQ(ragged.run.err.rfind("labmix: wrong number of fields: ", 0), 0u) << ragged.run.err;

    // Without line feeds or tabs the whole file is one row of one field: there is no second
    // column to permute, and the message says so.
    for (auto& c : noise)
        if (c == '\n' || c == '\t') c = 'x';
    const auto one_field = labmix_captured(s, {s.file("flat.bin", noise)});
    EXPECT_EQ(one_field.run.err, "labmix: range error: column 2 is beyond the 1 field of the table\n");
    EXPECT_EQ(one_field.run.status, 1);
    EXPECT_EQ(one_field.out, "");
}

// --- NUL bytes and every other byte ---------------------------------------------------------

TEST(LabmixBytes, NulBytesInsideFieldsComeOutByteForByte) {
    using namespace std::string_literals;
    scratch s;
    // NULs alone, first, last, doubled, beside blanks that are trimmed and a carriage return
    // that ends the line; labels that differ only after a NUL stay different labels.
    const std::string table = "a\0b\tx\0\0y\n"s
                              "\0\t\0\n"s
                              " \0 \t g\0a \r\n"s
                              "\0\0\0\tg\0b\n"s
                              "tail\0\tg\0a\0\n"s;
    const std::string expected = "a\0b\tx\0\0y\n"s
                                 "\0\t\0\n"s
                                 "\0\tg\0a\n"s
                                 "\0\0\0\tg\0b\n"s
                                 "tail\0\tg\0a\0\n\n"s;
    const auto t = s.file("nul.tsv", table);
    const auto r = labmix_captured(s, {t});
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.run.err, "");
    EXPECT_EQ(r.run.status, 0);
    // The same from standard input.
    EXPECT_EQ(labmix_captured(s, {"-"}, {t}).out, expected);

    // Reshuffled, the second column holds the same five labels, NULs and all.
    const auto shuffled = labmix_captured(s, {t, "-n", "30", "-s", "9"});
    ASSERT_EQ(shuffled.run.status, 0);
    const auto lines = lines_of(shuffled.out);
    ASSERT_EQ(lines.size(), 31u * 6);
    std::vector<std::string> want;
    for (std::size_t i = 0; i < 5; ++i) want.push_back(lines[i].substr(lines[i].find('\t') + 1));
    std::sort(want.begin(), want.end());
    for (std::size_t listing = 1; listing <= 30; ++listing) {
        std::vector<std::string> have;
        for (std::size_t i = 0; i < 5; ++i) {
            const auto& line = lines[listing * 6 + i];
            const auto tab = line.find('\t');
            EXPECT_EQ(line.substr(0, tab), lines[i].substr(0, lines[i].find('\t')));
            have.push_back(line.substr(tab + 1));
        }
        EXPECT_EQ(lines[listing * 6 + 5], "");
        std::sort(have.begin(), have.end());
        EXPECT_EQ(have, want) << "listing " << listing;
    }
}

TEST(LabmixBytes, LabelsOfEveryByteValueAreKeptWhole) {
    scratch s;
    std::string table;
    for (int row = 0; row < 300; ++row)
        table += every_byte_label(row) + "\t" + every_byte_label(row % 7 * 31) + "\n";
    const auto t = s.file("bytes.tsv", table);
    const auto r = labmix_captured(s, {t});
    EXPECT_EQ(r.run.status, 0);
    EXPECT_TRUE(r.out == table + "\n") << "the listing differs from the table";
    // Seven distinct labels in the permuted column: a reshuffle keeps every byte.
    const auto shuffled = labmix_captured(s, {t, "-n", "1", "-s", "4"});
    ASSERT_EQ(shuffled.out.size(), 2 * (table.size() + 1));
    EXPECT_EQ(byte_counts(shuffled.out.substr(table.size() + 1)), byte_counts(table + "\n"));
}

// --- A field of 100 MB ----------------------------------------------------------------------

namespace {

constexpr std::size_t big_size = std::size_t{100} << 20;

// The bytes of the big field: a cycle of 251 values, NUL included, without tab, line feed,
// carriage return or blank, so that a piece moved to the wrong place does not match.
constexpr std::size_t cycle = 251;
char big_byte(std::size_t k) {
    const char c = static_cast<char>(k % cycle);
    return (c == '\t' || c == '\n' || c == '\r' || c == ' ') ? 'q' : c;
}

// Writes the big field to `out`.
void write_big(std::ofstream& out) {
    std::string block(cycle * 4096, '\0');
    for (std::size_t k = 0; k < block.size(); ++k) block[k] = big_byte(k);
    for (std::size_t done = 0; done < big_size; done += block.size())
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), big_size - done)));
}

// Reads the file at `path` and checks that it holds `pieces` in order, where an empty piece
// stands for the big field; returns the first difference, or "" when they match.
std::string compare_with_big(const std::string& path, const std::vector<std::string>& pieces) {
    std::ifstream in(path, std::ios::binary);
    std::string block(cycle * 4096, '\0');
    for (std::size_t k = 0; k < block.size(); ++k) block[k] = big_byte(k);
    std::string chunk(block.size(), '\0');
    std::size_t offset = 0;
    for (const auto& piece : pieces) {
        if (!piece.empty()) {
            std::string got(piece.size(), '\0');
            in.read(got.data(), static_cast<std::streamsize>(got.size()));
            if (got != piece) return "a short piece differs at byte " + std::to_string(offset);
            offset += piece.size();
            continue;
        }
        for (std::size_t done = 0; done < big_size; done += block.size()) {
            const std::size_t n = std::min(block.size(), big_size - done);
            in.read(chunk.data(), static_cast<std::streamsize>(n));
            if (static_cast<std::size_t>(in.gcount()) != n || std::memcmp(chunk.data(), block.data(), n) != 0)
                return "the big field differs within bytes " + std::to_string(offset + done) + " .. " +
                       std::to_string(offset + done + n);
        }
        offset += big_size;
    }
    if (in.peek() != std::char_traits<char>::eof()) return "more output after byte " + std::to_string(offset);
    return "";
}

} // namespace

TEST(LabmixBigField, AFieldOf100MBIsListedWholeInEitherColumn) {
    scratch s;
    const auto t = s.path("big.tsv");
    {
        std::ofstream out(t, std::ios::binary);
        out << "left\t";
        write_big(out);
        out << "\nshort\tright\n";
    }
    // As the permuted column, kept once among the distinct labels.
    const auto out_path = s.path("out");
    const auto as_read = labmix(s, {t, "-p", "2"}, {out_path});
    EXPECT_FALSE(as_read.overran);
    EXPECT_EQ(as_read.status, 0);
    EXPECT_EQ(as_read.err, "");
    EXPECT_EQ(fs::file_size(out_path), big_size + 5 + 1 + 12 + 1);
    EXPECT_EQ(compare_with_big(out_path, {"left\t", "", "\nshort\tright\n\n"}), "");

    // As the fixed column: the other one is copied beside it.
    const auto fixed = labmix(s, {t, "-f", "2", "-p", "1"}, {out_path});
    EXPECT_EQ(fixed.status, 0);
    EXPECT_EQ(fixed.err, "");
    EXPECT_EQ(fs::file_size(out_path), big_size + 6 + 12 + 1);
    EXPECT_EQ(compare_with_big(out_path, {"", "\tleft\nright\tshort\n\n"}), "");
}

// --- Very wide rows ------------------------------------------------------------------------

// Two rows of 500,001 fields (a megabyte of tabs): read with memory in proportion to the
// fields, not a hundred rows of that width made ready ahead. Outside AddressSanitizer, whose
// shadow memory needs a vast address space, the run gets 768 MB; the rows made ready ahead
// used to take 1.6 GB.
TEST(LabmixWideRows, HalfAMillionFieldsInALineAreReadInBoundedMemory) {
    scratch s;
    const std::string tabs(500000, '\t');
    const auto t = s.file("wide.tsv", tabs + "\nx" + tabs + "end\n");
    const rlim_t limit = sanitized ? 0 : rlim_t{768} << 20;
    const auto out_path = s.path("stdout");
    const auto r = run_program({binary, t, "-f", "1", "-p", "500001", "-n", "1"}, {"/dev/null"},
                               {out_path}, s.path("stderr"), 0, limit);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    const auto out = slurp(out_path);
    const std::string as_read = "\t\nx\tend\n\n";
    EXPECT_TRUE(out == as_read + as_read || out == as_read + "\tend\nx\t\n\n") << out;
    // A column past the last field is named with the number of fields.
    const auto beyond = run_program({binary, t, "-p", "500002"}, {"/dev/null"}, {out_path},
                                    s.path("stderr"), 0, limit);
    EXPECT_EQ(beyond.err, "labmix: range error: column 500002 is beyond the 500001 fields of the table\n");
    EXPECT_EQ(beyond.status, 1);
}

// --- Inputs that cannot be read -------------------------------------------------------------

// File permissions do not bind root, so a test run by root runs labmix as the user nobody.
TEST(LabmixUnreadable, AFileWithoutReadPermissionIsAnInvalidFilename) {
    constexpr uid_t nobody = 65534;
    const uid_t as_user = ::geteuid() == 0 ? nobody : 0;
    scratch s;
    const auto t = s.file("locked.tsv", "a\tx\n");
    const auto out_path = s.path("stdout");
    // Readable first: the same user reads the same file.
    const auto readable = run_program({binary, t}, {"/dev/null"}, {out_path}, s.path("stderr"), as_user);
    if (readable.status == cannot_drop || readable.status == cannot_exec)
        GTEST_SKIP() << "running as root, and labmix cannot be run as the user nobody here";
    EXPECT_EQ(slurp(out_path), "a\tx\n\n");
    EXPECT_EQ(readable.status, 0);

    fs::permissions(t, fs::perms::none);
    const auto r = run_program({binary, t}, {"/dev/null"}, {out_path}, s.path("stderr"), as_user);
    EXPECT_EQ(r.err, "Invalid filename.\n");
    EXPECT_EQ(slurp(out_path), "");
    EXPECT_EQ(r.status, 1);
}

// A file that opens but fails on reading (root included), and standard input closed or a
// directory: the reason is named, and a failed read never passes for the end of the table.
TEST(LabmixUnreadable, AFailingReadNamesTheInputAndTheReason) {
    scratch s;
    const auto mem = labmix_captured(s, {"/proc/self/mem"});
    EXPECT_EQ(mem.run.err, "labmix: read error: /proc/self/mem: Input/output error\n");
    EXPECT_EQ(mem.out, "");
    EXPECT_EQ(mem.run.status, 1);

    const auto closed = labmix_captured(s, {"-"}, {"", true});
    EXPECT_EQ(closed.run.err, "labmix: read error: standard input: Bad file descriptor\n");
    EXPECT_EQ(closed.out, "");
    EXPECT_EQ(closed.run.status, 1);

    const auto directory = labmix_captured(s, {"-"}, {fs::temp_directory_path().string()});
    EXPECT_EQ(directory.run.err, "labmix: read error: standard input: Is a directory\n");
    EXPECT_EQ(directory.run.status, 1);
}

// --- Outputs that fail during an endless run -------------------------------------------------

namespace {

// A table whose first listing is several times the output buffer, so that writes happen
// long before the end of the run.
std::string wide_table(const scratch& s) {
    std::string table;
    for (int i = 0; i < 100000; ++i)
        table += "taxon_" + std::to_string(i) + "\tgroup_" + std::to_string(i % 97) + "\n";
    return s.file("wide.tsv", table);
}

} // namespace

TEST(LabmixOutputFailures, AFullOrClosedOutputStopsAnEndlessRun) {
    scratch s;
    const auto t = wide_table(s);
    const auto full = labmix(s, {t, "-n", "2147483647"}, {"/dev/full"});
    EXPECT_FALSE(full.overran) << "labmix went on writing to a full device";
    EXPECT_EQ(full.err, "labmix: write error: standard output: No space left on device\n");
    EXPECT_EQ(full.status, 1);

    const auto closed = labmix(s, {t, "-n", "2147483647"}, {"", true});
    EXPECT_FALSE(closed.overran) << "labmix went on writing to a closed descriptor";
    EXPECT_EQ(closed.err, "labmix: write error: standard output: Bad file descriptor\n");
    EXPECT_EQ(closed.status, 1);
}

// labmix -n 2147483647 table | head -n 3, run by the shell: it ends promptly and quietly,
// whether the closed pipe kills it or, with the signal ignored, its write fails.
TEST(LabmixOutputFailures, HeadEndsAnEndlessRunQuietly) {
    scratch s;
    const auto t = wide_table(s);
    const auto status_path = s.path("status");
    for (const std::string trap : {"", "trap '' PIPE; "}) {
        const std::string script = trap + "{ '" + binary + "' -n 2147483647 -s 3 '" + t +
                                   "'; echo $? > '" + status_path + "'; } | head -n 3";
        const auto out_path = s.path("out");
        const auto r = run_program({"/bin/sh", "-c", script}, {"/dev/null"}, {out_path}, s.path("err"));
        ASSERT_FALSE(r.overran) << "the pipeline did not end" << (trap.empty() ? "" : " (SIGPIPE ignored)");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "") << trap;
        EXPECT_EQ(slurp(out_path), "taxon_0\tgroup_0\ntaxon_1\tgroup_1\ntaxon_2\tgroup_2\n");
        // Ended by the failed write with status 1 when the signal is ignored (as it may be
        // already when the tests start), otherwise killed by it (128 + 13).
        const auto status = slurp(status_path);
        if (trap.empty() && status != "1\n")
            EXPECT_EQ(status, std::to_string(128 + SIGPIPE) + "\n");
        else
            EXPECT_EQ(status, "1\n");
    }
}
