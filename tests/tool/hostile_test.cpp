// End to end on inputs and outputs that a careless run meets: NUL bytes and every other byte
// value, a field of 100 MB, a line of half a million fields, a file it may not read, and a
// pipe that closes in the middle of an endless run. None may crash, hang or change a byte.

#include "run_support.hpp"

#include <algorithm>
#include <array>

using namespace run_support;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
constexpr bool sanitized = __has_feature(address_sanitizer);
#else
constexpr bool sanitized = false;
#endif

std::array<std::size_t, 256> byte_counts(std::string_view text) {
    std::array<std::size_t, 256> counts{};
    for (const unsigned char c : text) ++counts[c];
    return counts;
}

// Lists `table` as read, expecting `listing`, and reshuffled, which must move labels whole.
void expect_listed(const std::string& table, const std::string& listing) {
    scratch s;
    const auto t = s.file("t.tsv", table);
    const auto r = run({t});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == listing) << "the listing differs from the table";
    const auto shuffled = run({t, "-n", "3", "-s", "4"});
    ASSERT_EQ(shuffled.out.size(), 4 * listing.size());
    EXPECT_FALSE(shuffled.out.substr(listing.size(), listing.size()) == listing);
    for (std::size_t k = 1; k < 4; ++k)
        EXPECT_EQ(byte_counts(shuffled.out.substr(k * listing.size(), listing.size())),
                  byte_counts(listing));
}

constexpr std::size_t big_size = std::size_t{100} << 20;

// Writes `pieces` to `path`, an empty piece standing for the 100 MB field: a cycle of 251
// byte values, NUL included, without tab, line feed, carriage return or blank, so that a
// piece moved to the wrong place does not match.
void write_pieces(const std::string& path, const std::vector<std::string>& pieces) {
    std::string block(251 * 4096, '\0');
    for (std::size_t k = 0; k < block.size(); ++k) {
        const char c = static_cast<char>(k % 251);
        block[k] = (c == '\t' || c == '\n' || c == '\r' || c == ' ') ? 'q' : c;
    }
    std::ofstream out(path, std::ios::binary);
    for (const auto& piece : pieces) {
        out << piece;
        for (std::size_t done = 0; piece.empty() && done < big_size; done += block.size())
            out.write(block.data(),
                      static_cast<std::streamsize>(std::min(block.size(), big_size - done)));
    }
}

} // namespace

// NULs inside fields; labels of every byte value but tab and line feed, of every short length,
// over several output buffers' worth, and one label longer than the whole output buffer.
TEST(LabmixBytes, NulsAndLabelsOfEveryByteValueAndAnyLengthComeOutByteForByte) {
    using namespace std::string_literals;
    // NULs alone, first, last, doubled, beside blanks that are trimmed and a carriage return
    // that ends the line; labels that differ only after a NUL stay different labels.
    expect_listed("a\0b\tx\0\0y\n\0\t\0\n \0 \t g\0a \r\n\0\0\0\tg\0b\ntail\0\tg\0a\0\n"s,
                  "a\0b\tx\0\0y\n\0\t\0\n\0\tg\0a\n\0\0\0\tg\0b\ntail\0\tg\0a\0\n\n"s);
    std::string bytes;
    for (int k = 0; k < 256; ++k)
        if (k != '\t' && k != '\n') bytes += static_cast<char>(k);
    std::string table;
    // Wrapped so that no label starts or ends with a blank or a carriage return.
    for (std::size_t i = 0; i < 40000; ++i)
        table += "<" + bytes.substr(i % 200, i % 71) + ">\t<" +
                 bytes.substr(i * 7 % 200, i * 7 % 67) + ">\n";
    table += std::string(3 << 20, 'h') + "\tz\n";
    expect_listed(table, table + "\n");
}

TEST(LabmixBigField, AFieldOf100MBIsListedWholeInEitherColumn) {
    scratch s;
    const auto t = s.path("big.tsv"), want = s.path("want"), got = s.path("got");
    write_pieces(t, {"left\t", "", "\nshort\tright\n"});
    for (const auto& [args, pieces] :
         std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>>{
             {{t, "-p", "2"}, {"left\t", "", "\nshort\tright\n\n"}},
             {{t, "-f", "2", "-p", "1"}, {"", "\tleft\nright\tshort\n\n"}}}) {
        write_pieces(want, pieces);
        expect_runs({{args, "", "", 0, {.out = got}}});
        EXPECT_EQ(run({"-c", "cmp -s '" + got + "' '" + want + "'"}, {.program = "/bin/sh"}).status,
                  0)
            << args.back();
    }
}

// Two rows of 500,001 fields (a megabyte of tabs): read with memory in proportion to the
// fields, not a hundred rows of that width made ready ahead. Outside AddressSanitizer, whose
// shadow memory needs a vast address space, the run gets 768 MB; the rows made ready ahead
// used to take 1.6 GB.
TEST(LabmixWideRows, HalfAMillionFieldsInALineAreReadInBoundedMemory) {
    scratch s;
    const std::string tabs(500000, '\t');
    const auto t = s.file("wide.tsv", "a" + tabs + "\nx" + tabs + "end\n");
    const setup limited{.address_space = sanitized ? 0 : rlim_t{768} << 20};
    const auto r = run({t, "-f", "1", "-p", "500001", "-n", "1"}, limited);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    const std::string as_read = "a\t\nx\tend\n\n";
    EXPECT_TRUE(r.out == as_read + as_read || r.out == as_read + "a\tend\nx\t\n\n") << r.out;
    expect_runs({fails({t, "-p", "500002"},
                       "labmix: range error: column 500002 (option -p) is beyond the 500001 "
                       "fields of the rows of " +
                           t + "\n",
                       limited)});
}

// File permissions do not bind root, so a test run by root runs labmix as the user nobody,
// after making sure that user can read the file while it may.
TEST(LabmixUnreadable, AFileWithoutReadPermissionIsAnInvalidFilename) {
    const setup as{.as_user = ::geteuid() == 0 ? uid_t{65534} : uid_t{0}};
    scratch s;
    const auto t = s.file("locked.tsv", "a\tx\n");
    const auto readable = run({t}, as);
    if (readable.status == cannot_drop || readable.status == 98)
        GTEST_SKIP() << "running as root, and labmix cannot be run as the user nobody here";
    EXPECT_EQ(readable.out, "a\tx\n\n");
    fs::permissions(t, fs::perms::none);
    expect_runs({fails({t}, "Invalid filename.\nlabmix: " + t + ": Permission denied\n", as)});
}

// labmix -n 2147483647 table | head -n 3, run by the shell: it ends promptly and quietly,
// whether the closed pipe kills it or, with the signal ignored, its write fails.
TEST(LabmixOutputFailures, HeadEndsAnEndlessRunQuietly) {
    scratch s;
    const auto t = s.file("t.tsv", "a\tx\nb\ty\nc\tz\nd\tw\n");
    const auto status_path = s.path("status");
    for (const std::string trap : {"", "trap '' PIPE; "}) {
        const std::string script = trap + "{ '" + binary + "' -n 2147483647 -s 3 '" + t +
                                   "'; echo $? > '" + status_path + "'; } | head -n 3";
        expect_runs({{{"-c", script}, "a\tx\nb\ty\nc\tz\n", "", 0, {.program = "/bin/sh"}}});
        // Ended by the failed write with status 1 when the signal is ignored (as it may be
        // already when the tests start), otherwise killed by it (128 + 13).
        const auto status = slurp(status_path);
        if (trap.empty() && status != "1\n")
            EXPECT_EQ(status, std::to_string(128 + SIGPIPE) + "\n");
        else
            EXPECT_EQ(status, "1\n");
    }
}
