#include <phylo/taxonomy/table.hpp>

#include <generics/current_io.hpp>

#include "../../test_support.hpp"

#include <cctype>
#include <optional>
#include <span>
#include <string_view>
#include <tuple>
#include <vector>

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

// A byte source over a pipe_writer's pipe, read in blocks of LABMIX_TEST_INPUT bytes when
// that is a number, so that the ends of reads and of blocks fall everywhere.
struct pipe_source {
    explicit pipe_source(std::string text) : pipe(std::move(text)) {
        const char* how = std::getenv("LABMIX_TEST_INPUT");
        const bool blocks = how != nullptr && std::isdigit(static_cast<unsigned char>(*how)) != 0;
        source.emplace(pipe.read_end, "pipe",
                       blocks ? std::max<std::size_t>(1, std::stoul(how))
                              : generics::byte_source::default_block);
    }
    ~pipe_source() {
        source.reset();
        ::close(pipe.read_end);
    }
    test_support::pipe_writer pipe;
    std::optional<generics::byte_source> source;
};

// The rows a read hands over, a line of "field|" each, and "error: " with the message of the
// field-count error that ended it ("other error: " for any other error).
template <class Read>
std::string outcome(Read&& read) {
    std::string seen;
    try {
        read([&seen](std::span<const std::string_view> fields) {
            for (const auto field : fields) seen.append(field).append("|");
            seen += "\n";
        });
    } catch (const nf_error& e) {
        seen += std::string("error: ") + e.what();
    } catch (const std::exception& e) {
        seen += std::string("other error: ") + e.what();
    }
    return seen;
}

// f(input) with `text` as the input of a text_input, or of a pipe_source.
template <class F>
void on_input(const std::string& text, bool pipe, F&& f) {
    if (!pipe) {
        test_support::text_input in(text);
        f(in);
    } else {
        pipe_source in(text);
        f(*in.source);
    }
}

// What the row visitor hands over from `text`, checked against every other way of reading it:
// get (the same rows, or only the error), the visitor on a pipe, and the picking visitor on a
// stream and a pipe (the picked fields of the same rows, and the same errors).
std::string read_every_way(const std::string& text, char separator) {
    const auto rows = [&](bool pipe, auto&& row) {
        on_input(text, pipe, [&](auto& in) {
            phylo::index_type seen = 0;
            const auto count = taxonomy::for_each_row(in, separator, "t.tsv", [&](auto fields) {
                ++seen;
                row(fields);
            });
            EXPECT_EQ(count, seen);
        });
    };
    const std::string whole = outcome([&](auto row) { rows(false, row); });
    EXPECT_EQ(outcome([&](auto row) { rows(true, row); }), whole);
    const auto error = whole.find("error: ");
    EXPECT_EQ(outcome([&](auto row) {
                  for (const auto& r : rows_of(read(text, separator)))
                      row(std::vector<std::string_view>(r.begin(), r.end()));
              }),
              error == std::string::npos ? whole : whole.substr(error));
    // Positions past the first row's fields are asked for none.
    const std::vector<std::vector<std::size_t>> choices = {{}, {0}, {1, 0, 1}, {2}};
    for (const auto& wanted : choices) {
        std::size_t count = 0;
        const std::string picked_whole = outcome([&](auto row) {
            rows(false, [&](std::span<const std::string_view> f) {
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
        for (const bool pipe : {false, true}) {
            EXPECT_EQ(outcome([&](auto row) {
                          on_input(text, pipe, [&](auto& in) {
                              taxonomy::for_each_picked_row(in, separator, "t.tsv", false, choose,
                                                            row);
                          });
                      }),
                      picked_whole)
                << pipe << " " << wanted.size();
        }
    }
    return whole;
}

} // namespace

TEST(TableRead, FieldsBlanksLineEndsAndFieldCountsTheSameEveryWay) {
    const std::string long_line(300'000, 'w');
    const struct {
        std::string text, seen;
        char separator = '\t';
    } cases[] = {
        // Only blanks are trimmed; a field of blanks is empty; a trailing separator gives an
        // empty field.
        {"  x  \t \n\t\v b\f \n", "x||\n|\v b\f|\n"},
        {"  x  \t y\n\n\ta\r\n", "x|y|\n|a|\n"},
        {"a\tb\t\nc\t\t\n", "a|b||\nc|||\n"},
        {"a\t\t\n\t\t\n \t \t \n", "a|||\n|||\n|||\n"},
        {"a;b c;d\n", "a|b c|d|\n", ';'},
        {"a;b\nc;d", "a;b|\nc;d|\n"},
        {"one\n", "one|\n"},
        {"only\nrow", "only|\nrow|\n"}, // the last line needs no line end
        {"a\tb\nc\td", "a|b|\nc|d|\n"},
        {"a\tb\r\n\r\nc\td\r\n", "a|b|\nc|d|\n"},
        // A carriage return at the very end belongs to the line end, with or without a line
        // feed before it.
        {"a\tb\r\nc\td\r", "a|b|\nc|d|\n"},
        {"a\tb\n\r", "a|b|\n"},
        // Elsewhere it is an ordinary character.
        {"a\r\tb\r\r\n", "a\r|b\r|\n"},
        // A last line without a line end, longer than what came before it in the block.
        {"ab\tc\ncdef\tg\nghijklmnop\tqrstuvwxyz", "ab|c|\ncdef|g|\nghijklmnop|qrstuvwxyz|\n"},
        {"ab\ncdef\nghijkl", "ab|\ncdef|\nghijkl|\n"},
        {long_line + "\t1\n2\t" + long_line, long_line + "|1|\n2|" + long_line + "|\n"},
        // Wrong field counts name the line: empty lines count, with or without a carriage
        // return; so does a last line without a line end. The rows before a bad line have been
        // handed over when the error comes.
        {"a\tb\t\na\tb\n", "a|b||\nerror: t.tsv: line  2"},
        {"\na\tb\n\r\nc\td\ne\n", "a|b|\nc|d|\nerror: t.tsv: line  5"},
        {"a\tb\n\nc\td\ne\tf\tg\n", "a|b|\nc|d|\nerror: t.tsv: line  4"},
        {"a\tb\nc\td\n\ne\n", "a|b|\nc|d|\nerror: t.tsv: line  4"},
        {"a\tb\nc\td\nx", "a|b|\nc|d|\nerror: t.tsv: line  3"},
        {"a\tb\n\nc\n", "a|b|\nerror: t.tsv: line  3"},
        {"a\tb\tc\nd\te\tf\tg\n", "a|b|c|\nerror: t.tsv: line  2"},
        {"a\tb\nc\td\te", "a|b|\nerror: t.tsv: line  2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read_every_way(c.text, c.separator), c.seen) << c.text.substr(0, 30);
    for (const std::string text : {"", "\n", "\n\n\n", "\r\n\r\n", "\r"}) {
        EXPECT_EQ(read_every_way(text, '\t'), "");
        const auto table = read(text);
        EXPECT_TRUE(table.empty() && table.last() == -1 && written(table).empty()) << text.size();
    }
    const auto from_crlf = rows_of(read(test_support::data_file("table_crlf.tsv")));
    EXPECT_EQ(from_crlf.size(), 4u);
    EXPECT_EQ(from_crlf, rows_of(read(test_support::data_file("table_lf.tsv"))));
}

TEST(TableRead, LongLinesAndManyRowsAreReadWhole) {
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

TEST(TableRead, NamesOfTheInputAndWhatCannotBeRead) {
    test_support::text_input in("a\tb\n" + std::string(20'000, 'y') + "\n");
    expect_error<nf_error>([&] { taxonomy::get(in, '\t', "/data/long name.tsv"); },
                           "/data/long name.tsv: line  2");
    EXPECT_STREQ(nf_error("x").name(), "wrong number of fields");
    // Through the current input, under the name it was given.
    test_support::text_input bad("x\t1\ny\n");
    {
        generics::input_redirect redirect(bad, "/home/u/bad.tsv");
        expect_error<nf_error>([] { taxonomy::get('\t'); }, "/home/u/bad.tsv: line  2");
    }
    // The rest of the stream is read, as often as asked.
    test_support::text_input rest("header line\na\tb\nc\td\n");
    std::string skipped;
    std::getline(rest, skipped);
    EXPECT_EQ(rows_of(taxonomy::get(rest, '\t', "t")), (rows_t{{"a", "b"}, {"c", "d"}}));
    EXPECT_TRUE(taxonomy::get(rest, '\t', "t").empty());
    // A directory or a broken stream is an error, not an empty table.
    std::ifstream directory(LABMIX_TEST_DATA);
    expect_error<phylo::use_error>([&] { taxonomy::get(directory, '\t', "data"); },
                                   "data: cannot be read");
    test_support::text_input broken("a\tb\n");
    broken.setstate(std::ios::badbit);
    EXPECT_THROW(taxonomy::get(broken, '\t', "b"), phylo::use_error);
    generics::byte_source closed(-1, "nowhere");
    expect_error<generics::read_error>(
        [&] { taxonomy::for_each_row(closed, '\t', "t", [](auto) {}); },
        "nowhere: Bad file descriptor");
}

TEST(TableRows, TheFirstRowWholeWhenAskedFor) {
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

// Quoting as CSV files have it, and rows of empty fields, read through the picked-row visitor
// (every field picked) in pieces of every size.
TEST(TableRows, QuotedFieldsAndRowsOfEmptyFields) {
    const taxonomy::table_format csv{',', true, true};
    const auto visit = [](const std::string& text, taxonomy::table_format format) {
        test_support::text_input in(text);
        rows_t rows;
        std::vector<std::size_t> all;
        const auto counts = taxonomy::for_each_picked_row(
            in, format, "t.csv", false,
            [&](std::size_t n, std::span<const std::string_view>) {
                for (std::size_t k = 0; k < n; ++k) all.push_back(k);
                return std::span<const std::size_t>(all);
            },
            [&](std::span<const std::string_view> f) { rows.emplace_back(f.begin(), f.end()); });
        return std::pair{rows, counts.empty_rows};
    };
    const std::vector<std::tuple<std::string, taxonomy::table_format, rows_t, phylo::index_type>>
        cases{
            // Separators, doubled quotes and line ends inside quotes; blanks trimmed outside them.
            {"\"Mus, musculus\", \" a \" ,\"say \"\"hi\"\"\"\n\"two\r\nlines\",b,\"\"\n",
             csv,
             {{"Mus, musculus", " a ", "say \"hi\""}, {"two\nlines", "b", ""}},
             0},
            // A quote inside an unquoted field, and text after a closing quote, are data.
            {"a\"b,\"c\"d,e\n", csv, {{"a\"b", "cd", "e"}}, 0},
            // Rows of empty fields, quoted or not, are skipped and counted; empty lines only
            // skipped.
            {"a,b\n,\n\n , \n\"\",\"\"\nc,d\n", csv, {{"a", "b"}, {"c", "d"}}, 3},
            {";x\n\"p;q\";\"\"\n", {';', true, false}, {{"", "x"}, {"p;q", ""}}, 0},
            // Without quoting a quote is data, and without skipping a row of tabs is a row.
            {"\"a\tb\"\n\t\n", {}, {{"\"a", "b\""}, {"", ""}}, 0},
        };
    for (const auto& [text, format, rows, empty] : cases) {
        const auto [got, skipped] = visit(text, format);
        EXPECT_EQ(got, rows) << text;
        EXPECT_EQ(skipped, empty) << text;
    }
    // A quoted field never closed names the line it opened on; a field count error the line a
    // record starts on, with both counts.
    expect_error<generics::data_error>(
        [&] { visit("a,b\n\"c,\nd\n", csv); },
        "t.csv: line 2: a field opens with a double quote there and is never closed");
    try {
        visit("a,b\n\"c\nd\",e,f\n", csv);
        ADD_FAILURE() << "no error";
    } catch (const taxonomy::field_count_error& e) {
        EXPECT_STREQ(e.what(), "t.csv: line  2");
        EXPECT_EQ(std::tuple(e.line, e.found, e.expected),
                  std::tuple(std::int64_t{2}, std::size_t{3}, std::size_t{2}));
    }
}
