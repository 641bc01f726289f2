#include <phylo/taxonomy/table.hpp>

#include <generics/current_io.hpp>

#include "../../test_support.hpp"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using test_support::expect_error;

using phylo::taxonomy::group_name_vector;
using phylo::taxonomy::nf_error;
namespace taxonomy = phylo::taxonomy;

using rows_t = std::vector<std::vector<std::string>>;

group_name_vector read(const std::string& text, char separator = '\t') {
    test_support::text_input in(text);
    return taxonomy::get(in, separator, "t.tsv");
}

// The table as plain rows, checking on the way that the table and every row are indexed from 0.
rows_t rows_of(const group_name_vector& table) {
    EXPECT_EQ(table.first(), 0);
    rows_t rows;
    for (const auto& row : table) {
        EXPECT_TRUE(row && row->first() == 0);
        rows.emplace_back(row->begin(), row->end());
    }
    return rows;
}

std::string written(const group_name_vector& table, char separator = '\t') {
    std::ostringstream out;
    taxonomy::put(out, table, separator);
    return out.str();
}

TEST(TableGet, FieldsBlanksAndLineEnds) {
    const struct {
        std::string text;
        char separator;
        rows_t rows;
    } cases[] = {// Only blanks are trimmed; a field of blanks is empty; a trailing separator gives
                 // an empty field.
                 {"  x  \t \n\t\v b\f \n", '\t', {{"x", ""}, {"", "\v b\f"}}},
                 {"a\tb\t\nc\t\t\n", '\t', {{"a", "b", ""}, {"c", "", ""}}},
                 {"a;b c;d\n", ';', {{"a", "b c", "d"}}},
                 {"only\nrow", '\t', {{"only"}, {"row"}}}, // the last line needs no line end
                 {"a\tb\r\n\r\nc\td\r\n", '\t', {{"a", "b"}, {"c", "d"}}},
                 // A carriage return at the very end belongs to the line end, with or without a
                 // line feed before it.
                 {"a\tb\r\nc\td\r", '\t', {{"a", "b"}, {"c", "d"}}},
                 {"a\tb\n\r", '\t', {{"a", "b"}}},
                 // Elsewhere it is an ordinary character.
                 {"a\r\tb\r\r\n", '\t', {{"a\r", "b\r"}}}};
    for (const auto& c : cases) EXPECT_EQ(rows_of(read(c.text, c.separator)), c.rows) << c.text;
    for (const std::string text : {"", "\n", "\n\n\n", "\r\n\r\n", "\r"}) {
        const auto table = read(text);
        EXPECT_TRUE(table.empty() && table.last() == -1 && written(table).empty()) << text.size();
    }
    const auto from_crlf = rows_of(read(test_support::data_file("table_crlf.tsv")));
    EXPECT_EQ(from_crlf.size(), 4u);
    EXPECT_EQ(from_crlf, rows_of(read(test_support::data_file("table_lf.tsv"))));
}

TEST(TableGet, LongLinesAndManyRowsAreReadWhole) {
    // Lines longer than any read block, and lines that straddle block boundaries.
    const std::string long_label(1'000'003, 'x');
    EXPECT_EQ(rows_of(read("a\t" + long_label + "\r\n" + long_label + "\tb\n")),
              (rows_t{{"a", long_label}, {long_label, "b"}}));
    // A CR LF split between two blocks of input (blocks are 256 KiB).
    for (std::size_t cr_at = (1u << 18) - 3; cr_at <= (1u << 18) + 2; ++cr_at) {
        const std::string filler(cr_at - 2, 'f');
        EXPECT_EQ(rows_of(read("a\t" + filler + "\r\nb\tc\r\n")),
                  (rows_t{{"a", filler}, {"b", "c"}}));
    }
    std::string text;
    rows_t expected;
    for (int i = 0; i < 40'000; ++i) {
        std::string label(static_cast<std::size_t>(i % 97), static_cast<char>('a' + i % 26));
        text += std::to_string(i) + "\t" + label + (i % 3 == 0 ? "\r\n" : "\n");
        expected.push_back({std::to_string(i), label});
    }
    EXPECT_EQ(rows_of(read(text)), expected);
}

TEST(TableGet, WrongFieldCountNamesInputAndLine) {
    // Empty lines count, with or without a carriage return; so does a last line without a line end.
    const std::pair<std::string, int> cases[] = {{"a\tb\t\na\tb\n", 2},
                                                 {"\na\tb\n\r\nc\td\ne\n", 5},
                                                 {"a\tb\n\nc\td\ne\tf\tg\n", 4},
                                                 {"a\tb\nc\td\nx", 3}};
    for (const auto& c : cases)
        expect_error<nf_error>([&] { read(c.first); }, "t.tsv: line  " + std::to_string(c.second));
    test_support::text_input in("a\tb\n" + std::string(20'000, 'y') + "\n");
    expect_error<nf_error>([&] { taxonomy::get(in, '\t', "/data/long name.tsv"); },
                           "/data/long name.tsv: line  2");
    EXPECT_STREQ(nf_error("x").name(), "wrong number of fields");
    // Through the current input, under the name it was given.
    test_support::text_input bad("x\t1\ny\n");
    generics::input_redirect redirect(bad, "/home/u/bad.tsv");
    expect_error<nf_error>([] { taxonomy::get('\t'); }, "/home/u/bad.tsv: line  2");
}

TEST(TableGet, ReadsTheRestOfTheStreamOrFails) {
    test_support::text_input in("header line\na\tb\nc\td\n");
    std::string skipped;
    std::getline(in, skipped);
    EXPECT_EQ(rows_of(taxonomy::get(in, '\t', "t")), (rows_t{{"a", "b"}, {"c", "d"}}));
    EXPECT_TRUE(taxonomy::get(in, '\t', "t").empty());
    // A directory or a broken stream is an error, not an empty table.
    std::ifstream directory(LABMIX_TEST_DATA);
    expect_error<phylo::use_error>([&] { taxonomy::get(directory, '\t', "data"); },
                                   "data: cannot be read");
    test_support::text_input broken("a\tb\n");
    broken.setstate(std::ios::badbit);
    EXPECT_THROW(taxonomy::get(broken, '\t', "b"), phylo::use_error);
}

TEST(TableRows, TheVisitorSeesTheRowsOfGetAndChecksEveryLine) {
    const std::string texts[] = {"  x  \t y\n\n\ta\r\n", "a;b\nc;d", "", "\n\n", "one\n"};
    for (const auto& text : texts) {
        test_support::text_input in(text);
        rows_t seen;
        const auto count = taxonomy::for_each_row(
            in, '\t', "t", [&seen](std::span<const std::string_view> fields) {
                seen.emplace_back(fields.begin(), fields.end());
            });
        EXPECT_EQ(seen, rows_of(read(text))) << text;
        EXPECT_EQ(count, static_cast<phylo::index_type>(seen.size()));
    }
    // The rows before a bad line have been handed over when the error comes.
    test_support::text_input in("a\tb\nc\td\n\ne\n");
    std::size_t rows = 0;
    expect_error<nf_error>(
        [&] { taxonomy::for_each_row(in, '\t', "t.tsv", [&rows](auto) { ++rows; }); },
        "t.tsv: line  4");
    EXPECT_EQ(rows, 2u);
}

TEST(TablePut, RoundTripsAndStopsAtTheFirstBadRow) {
    const std::string text = "a\tb\tc\n\td\t\nx y\tz\t!\n";
    auto table = read(text);
    EXPECT_EQ(written(table), text);
    EXPECT_EQ(written(read("a;b\nc;d\n", ';'), ','), "a,b\nc,d\n");
    std::ostringstream out;
    {
        generics::output_redirect redirect(out);
        taxonomy::put(table, '|');
    }
    EXPECT_EQ(out.str(), "a|b|c\n|d|\nx y|z|!\n");
    table[1].reset();
    expect_error<phylo::range_error>([&] { (void)written(table); }, "row 1 is null");
    table[1] = std::make_unique<phylo::taxon_labels>();
    std::ostringstream partial;
    expect_error<phylo::range_error>([&] { taxonomy::put(partial, table, '\t'); },
                                     "row 1 has no fields");
    EXPECT_EQ(partial.str(), "a\tb\tc\n");
    std::ostream nowhere(nullptr);
    expect_error<phylo::use_error>([&] { taxonomy::put(nowhere, read("a\n"), '\t'); },
                                   "the table cannot be written");
}

// A text read from a file descriptor: a pipe that a writer fills in pieces of 1, 2, 3, 5 and
// 7 bytes, read in blocks of LABMIX_TEST_INPUT bytes when that is a number, so that the ends
// of reads and of blocks fall everywhere.
class pipe_source {
public:
    explicit pipe_source(std::string text) {
        std::signal(SIGPIPE, SIG_IGN); // a reader that stops early ends the writer
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("no pipe");
        fd_ = fds[0];
        writer_ = std::thread([fd = fds[1], text = std::move(text)] {
            static constexpr std::size_t pieces[] = {1, 2, 3, 5, 7};
            for (std::size_t at = 0, k = 0; at < text.size(); ++k) {
                const ssize_t n =
                    ::write(fd, text.data() + at, std::min(pieces[k % 5], text.size() - at));
                if (n <= 0) break;
                at += static_cast<std::size_t>(n);
            }
            ::close(fd);
        });
        source_.emplace(fd_, "pipe", block());
    }
    pipe_source(const pipe_source&) = delete;
    pipe_source& operator=(const pipe_source&) = delete;
    ~pipe_source() {
        source_.reset();
        ::close(fd_);
        writer_.join();
    }
    generics::byte_source& source() { return *source_; }

private:
    static std::size_t block() {
        const char* how = std::getenv("LABMIX_TEST_INPUT");
        const std::string mode = how == nullptr ? "" : how;
        return !mode.empty() && std::isdigit(static_cast<unsigned char>(mode[0])) != 0
                   ? std::max<std::size_t>(1, std::stoul(mode))
                   : generics::byte_source::default_block;
    }
    int fd_ = -1;
    std::thread writer_;
    std::optional<generics::byte_source> source_;
};

// The rows a read hands over, or the message of the error that ended it.
template <class Read>
std::string outcome(Read&& read) {
    std::string seen;
    try {
        read([&seen](std::span<const std::string_view> fields) {
            for (const auto field : fields) seen.append(field).append("|");
            seen += "\n";
        });
    } catch (const std::exception& e) {
        seen += std::string("error: ") + e.what();
    }
    return seen;
}

TEST(TableRows, DescriptorsAndPickedFieldsReadAsTheWholeTable) {
    const std::string long_line(300'000, 'w');
    const std::string texts[] = {
        "  x  \t y\n\n\ta\r\n", "a\tb\nc\td", "", "\n\n", "\r", "a\tb\r\nc\td\r",
        // A last line without a line end, longer than what came before it in the block.
        "ab\tc\ncdef\tg\nghijklmnop\tqrstuvwxyz", "ab\ncdef\nghijkl", "a\t\t\n\t\t\n \t \t \n",
        long_line + "\t1\n2\t" + long_line,
        // Wrong field counts, the first of them after an empty line; an extra field at the end.
        "a\tb\n\nc\n", "a\tb\tc\nd\te\tf\tg\n", "a\tb\nc\td\te"};
    const std::vector<std::vector<std::size_t>> choices = {{}, {0}, {1, 0, 1}, {2}};
    for (const auto& text : texts) {
        const std::string whole = outcome([&](auto row) {
            std::istringstream in(text);
            taxonomy::for_each_row(in, '\t', "t", row);
        });
        EXPECT_EQ(outcome([&](auto row) {
                      pipe_source in(text);
                      taxonomy::for_each_row(in.source(), '\t', "t", row);
                  }),
                  whole)
            << text.substr(0, 30);
        // Picking: the wanted fields of every row as the whole rows hold them, and the same
        // field-count errors; positions past the first row's fields are asked for none.
        for (const auto& wanted : choices) {
            std::string expected;
            std::size_t count = 0;
            const std::string picked_whole = outcome([&](auto row) {
                std::istringstream in(text);
                taxonomy::for_each_row(in, '\t', "t", [&](std::span<const std::string_view> f) {
                    if (count == 0) count = f.size();
                    std::vector<std::string_view> picked;
                    for (const std::size_t p : wanted)
                        if (p < count) picked.push_back(f[p]);
                    if (picked.size() < wanted.size()) picked.clear();
                    row(picked);
                });
            });
            const auto choose = [&](std::size_t n, std::span<const std::string_view> all) {
                EXPECT_TRUE(all.empty());
                return std::ranges::all_of(wanted, [n](std::size_t p) { return p < n; })
                           ? std::span<const std::size_t>(wanted)
                           : std::span<const std::size_t>();
            };
            EXPECT_EQ(outcome([&](auto row) {
                          pipe_source in(text);
                          taxonomy::for_each_picked_row(in.source(), '\t', "t", false, choose, row);
                      }),
                      picked_whole)
                << text.substr(0, 30) << " / " << wanted.size();
            EXPECT_EQ(outcome([&](auto row) {
                          test_support::text_input in(text);
                          taxonomy::for_each_picked_row(in, '\t', "t", false, choose, row);
                      }),
                      picked_whole)
                << text.substr(0, 30) << " / " << wanted.size();
        }
    }
    // The first row whole, when asked for, and a read error of the descriptor.
    std::istringstream in("a\t b \nc\td\n");
    std::vector<std::string> first;
    const std::size_t at[] = {1};
    std::string seconds;
    taxonomy::for_each_picked_row(
        in, '\t', "t", true,
        [&](std::size_t n, std::span<const std::string_view> all) {
            EXPECT_EQ(n, 2u);
            first.assign(all.begin(), all.end());
            return std::span<const std::size_t>(at);
        },
        [&](std::span<const std::string_view> f) { seconds.append(f[0]); });
    EXPECT_EQ(first, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(seconds, "bd");
    generics::byte_source closed(-1, "nowhere");
    expect_error<generics::read_error>(
        [&] { taxonomy::for_each_row(closed, '\t', "t", [](auto) {}); },
        "nowhere: Bad file descriptor");
}

} // namespace
