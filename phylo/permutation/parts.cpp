#include <phylo/permutation/parts.hpp>

#include <phylo/permutation/report.hpp>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace phylo::permutation {

reshuffle_range range_of(part_number p, std::int64_t reshuffles) {
    // K, M and N are at most 2^31 - 1, so the products stay below 2^62.
    return {std::int64_t{p.k - 1} * reshuffles / p.m + 1, std::int64_t{p.k} * reshuffles / p.m};
}

namespace {

constexpr std::string_view magic = "labmix partial result\t2";
constexpr std::string_view magic_stem = "labmix partial result\t";
const std::string not_a_part =
    "is not a partial result of labmix (its first line is not \"" + std::string(magic) + "\")";
// No line of a partial result comes near this: a reshuffle's line holds at most six numbers.
constexpr std::size_t longest_line = std::size_t{1} << 16;
constexpr std::int64_t largest_count = std::numeric_limits<std::int32_t>::max();

std::string hex(std::uint64_t x) {
    char buffer[17];
    for (int i = 15; i >= 0; --i, x >>= 4) buffer[i] = "0123456789abcdef"[x & 15];
    return std::string(buffer, 16);
}

// `text` for a message: quoted, cut at 40 bytes, control bytes as \xNN (a NUL would end the
// message).
std::string shown(std::string_view text) {
    std::string result = "\"";
    for (const char c : text.substr(0, 40)) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            result += "\\x";
            result += "0123456789abcdef"[u >> 4];
            result += "0123456789abcdef"[u & 15];
        } else {
            result += c;
        }
    }
    return result + (text.size() > 40 ? "...\"" : "\"");
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> result;
    for (std::size_t from = 0;;) {
        const auto tab = std::min(line.find('\t', from), line.size());
        result.push_back(line.substr(from, tab - from));
        if (tab == line.size()) return result;
        from = tab + 1;
    }
}

// The lines of one partial result, each at most `longest_line` bytes and ended by a line
// feed, hashed as they are taken.
class part_lines {
public:
    part_lines(generics::byte_source& in, const std::string& name) : in_(in), name_(name) {}

    // The next line without its line feed; false at the end of the input. A line that ends
    // without a line feed was cut short.
    bool next(std::string_view& line, std::size_t longest = longest_line) {
        std::size_t scanned = 0;
        for (;;) {
            const std::string_view w = in_.window();
            const std::size_t look = std::min(w.size(), longest + 1);
            const void* feed =
                look > scanned ? std::memchr(w.data() + scanned, '\n', look - scanned) : nullptr;
            if (feed != nullptr) {
                const auto at = static_cast<std::size_t>(static_cast<const char*>(feed) - w.data());
                line = w.substr(0, at);
                before_ = sum_.value();
                sum_.add(w.substr(0, at + 1));
                in_.skip(at + 1);
                ++number_;
                return true;
            }
            if (look > longest) {
                if (number_ == 0) throw part_error(name_ + ": " + not_a_part);
                throw error("is longer than any line of a partial result", 1);
            }
            scanned = look;
            if (!in_.extend()) {
                if (in_.window().empty()) return false;
                throw error("ends without a line feed (the file was cut short)", 1);
            }
        }
    }

    // The hash of every byte before the last line taken.
    [[nodiscard]] std::uint64_t sum_before() const noexcept { return before_; }
    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    // The part_error for line `number() + ahead`.
    [[nodiscard]] part_error error(const std::string& what, int ahead = 0) const {
        return part_error(name_ + ": line " + std::to_string(number_ + ahead) + ": " + what);
    }

private:
    generics::byte_source& in_;
    const std::string& name_;
    fingerprint sum_;
    std::uint64_t before_ = 0;
    std::int64_t number_ = 0;
};

std::int64_t count_in_range(std::string_view text, std::int64_t least, const part_lines& lines) {
    std::int64_t v = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || v < least ||
        v > largest_count)
        throw lines.error(shown(text) + " is not a whole number from " + std::to_string(least) +
                          " to " + std::to_string(largest_count));
    return v;
}

double number_in(std::string_view text, const part_lines& lines) {
    const auto x = parse_number(text);
    if (!x) throw lines.error(shown(text) + " is not a number");
    return *x;
}

bool same_bits(std::span<const double> a, std::span<const double> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](double x, double y) {
        return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
    });
}

} // namespace

partial_writer::partial_writer(text_out out, const test_identity& test, part_number p)
    : out_(std::move(out)) {
    const auto range = range_of(p, test.reshuffles);
    std::string head(magic);
    head.append("\nfingerprint\t").append(hex(test.fingerprint));
    head.append("\npart\t").append(std::to_string(p.k)).append("\t").append(std::to_string(p.m));
    head.append("\nreshuffles\t").append(std::to_string(test.reshuffles));
    head.append("\nstatistics");
    for (const auto s : test.statistics) head.append("\t").append(name_of(s));
    head.append("\nobserved");
    for (const auto x : test.observed) head.append("\t").append(format_number(x));
    for (const auto& note : test.notes) head.append("\nnote\t").append(note);
    if (const auto& t = test.tags) {
        head.append("\ntested\t").append(t->fixed).append("\t");
        head.append(t->permuted).append("\t").append(t->strata);
        head.append("\t").append(std::to_string(t->taxa)).append("\t");
        head.append(std::to_string(t->seed));
    }
    if (const auto& pair = test.pair) {
        head.append("\npair\t").append(std::to_string(pair->index)).append("\t");
        head.append(std::to_string(pair->count)).append("\t").append(pair->group_a);
        head.append("\t").append(pair->group_b);
    }
    if (test.method == test_method::exact) head.append("\nmethod\texact");
    head.append("\nvalues\t").append(std::to_string(range.first)).append("\t");
    head.append(std::to_string(range.last)).append("\n");
    put(head);
}

void partial_writer::put(std::string_view text) {
    sum_.add(text);
    out_(text);
}

void partial_writer::add(std::int64_t k, std::span<const double> values) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, k).ptr;
    line_.assign(buffer, end);
    for (const double x : values) line_.append("\t").append(format_number(x));
    line_.push_back('\n');
    put(line_);
}

void partial_writer::finish() { out_("checksum\t" + hex(sum_.value()) + "\n"); }

partial_result read_partial_result(generics::byte_source& in, const std::string& name,
                                   const reshuffle_callback& each) {
    part_lines lines(in, name);
    std::string_view line;
    // The first line is checked within its first bytes, so that a large file of something
    // else (or /dev/zero) is refused at once.
    if (!lines.next(line, magic.size()) || line != magic) {
        if (line.starts_with(magic_stem))
            throw part_error(name + ": is a partial result of another version of labmix (\"" +
                             std::string(magic) + "\" expected); draw the parts again");
        throw part_error(name + ": " + not_a_part);
    }
    const auto next = [&](std::string_view key, std::size_t least) {
        if (!lines.next(line))
            throw part_error(name + ": ends before its " + std::string(key) +
                             " line (the file was cut short)");
        auto f = fields(line);
        if (f.front() != key || f.size() < least + 1)
            throw lines.error("expected the " + std::string(key) + " line, not " + shown(line));
        f.erase(f.begin());
        return f;
    };
    partial_result p;
    const auto print = next("fingerprint", 1);
    std::uint64_t fp = 0;
    const auto [end, error] =
        std::from_chars(print[0].data(), print[0].data() + print[0].size(), fp, 16);
    if (print.size() != 1 || error != std::errc() || end != print[0].data() + print[0].size() ||
        print[0].size() != 16)
        throw lines.error("the fingerprint is not 16 hexadecimal digits");
    p.test.fingerprint = fp;
    const auto part = next("part", 2);
    if (part.size() != 2) throw lines.error("expected part K M, not " + shown(line));
    const auto m = count_in_range(part[1], 1, lines);
    const auto k = count_in_range(part[0], 1, lines);
    if (k > m) throw lines.error("part " + std::to_string(k) + " of " + std::to_string(m));
    p.part = {static_cast<std::int32_t>(k), static_cast<std::int32_t>(m)};
    const auto reshuffles = next("reshuffles", 1);
    if (reshuffles.size() != 1) throw lines.error("expected one count of reshuffles");
    p.test.reshuffles = count_in_range(reshuffles[0], 1, lines);
    const auto names = next("statistics", 1);
    std::string list;
    for (const auto n : names) list.append(list.empty() ? "" : ",").append(n);
    try {
        p.test.statistics = parse_statistics(list);
    } catch (const statistics_error&) {
        throw lines.error(shown(list) + " is not a list of statistics of labmix");
    }
    const std::size_t width = p.test.statistics.size();
    const auto observed = next("observed", width);
    if (observed.size() != width)
        throw lines.error("expected " + std::to_string(width) + " observed values");
    for (std::size_t i = 0; i < width; ++i) {
        const double x = number_in(observed[i], lines);
        if (!std::isnan(x) && !possible_value(p.test.statistics[i], x))
            throw lines.error(shown(observed[i]) + " is no value of " +
                              std::string(name_of(p.test.statistics[i])));
        p.test.observed.push_back(x);
    }
    for (;;) {
        if (!lines.next(line))
            throw part_error(name + ": ends before its values line (the file was cut short)");
        if (!line.starts_with("note\t")) break;
        p.test.notes.emplace_back(line.substr(5));
    }
    if (line.starts_with("tested\t")) {
        const auto f = fields(line);
        if (f.size() != 6) throw lines.error("expected tested and five fields, not " + shown(line));
        p.test.tags = report_tags{std::string(f[1]), std::string(f[2]), std::string(f[3]),
                                  count_in_range(f[4], 1, lines),
                                  static_cast<std::uint64_t>(count_in_range(f[5], 0, lines))};
        if (!lines.next(line))
            throw part_error(name + ": ends before its values line (the file was cut short)");
    }
    if (line.starts_with("pair\t")) {
        const auto f = fields(line);
        if (f.size() != 5) throw lines.error("expected pair and four fields, not " + shown(line));
        const auto count = count_in_range(f[2], 1, lines);
        const auto index = count_in_range(f[1], 1, lines);
        if (index > count)
            throw lines.error("pair " + std::to_string(index) + " of " + std::to_string(count));
        p.test.pair = pair_tag{static_cast<std::int32_t>(index), static_cast<std::int32_t>(count),
                               std::string(f[3]), std::string(f[4])};
        if (!lines.next(line))
            throw part_error(name + ": ends before its values line (the file was cut short)");
    }
    if (line.starts_with("method\t")) {
        if (line != "method\texact") throw lines.error("expected method exact, not " + shown(line));
        p.test.method = test_method::exact;
        if (!lines.next(line))
            throw part_error(name + ": ends before its values line (the file was cut short)");
    }
    const bool exact = p.test.method == test_method::exact;
    const std::size_t columns = width + (exact ? 1 : 0);
    const auto range = fields(line);
    if (range.size() != 3 || range[0] != "values")
        throw lines.error("expected the values line, not " + shown(line));
    const auto expected = range_of(p.part, p.test.reshuffles);
    if (range[1] != std::to_string(expected.first) || range[2] != std::to_string(expected.last))
        throw lines.error("part " + std::to_string(k) + "/" + std::to_string(m) + " of " +
                          std::to_string(p.test.reshuffles) + " reshuffles holds " +
                          std::to_string(expected.first) + " .. " + std::to_string(expected.last));
    p.range = expected;
    std::vector<double> values(columns);
    for (std::int64_t r = p.range.first; r <= p.range.last; ++r) {
        if (!lines.next(line))
            throw part_error(name + ": ends before reshuffle " + std::to_string(r) +
                             " (the file was cut short)");
        const auto f = fields(line);
        if (f.size() != columns + 1 || f[0] != std::to_string(r))
            throw lines.error("expected reshuffle " + std::to_string(r) + " and " +
                              std::to_string(columns) + " values, not " + shown(line));
        if (exact) {
            // An arrangement's weight: a probability, or NaN in an undefined test.
            const double w = number_in(f[columns], lines);
            if (!(std::isnan(w) || (w >= 0 && w <= 1)))
                throw lines.error(shown(f[columns]) + " is no weight of an arrangement");
            values[width] = w;
        }
        for (std::size_t i = 0; i < width; ++i) {
            const double x = number_in(f[i + 1], lines);
            // A statistic undefined on the table is NaN in every reshuffle; a defined one is
            // never NaN, nor beyond what it can be.
            // (A distance statistic may be NaN in a degenerate reshuffle: PERMDISP's F of
            // residuals that are all 0.)
            const auto s = p.test.statistics[i];
            if (std::isnan(p.test.observed[i])
                    ? !std::isnan(x)
                    : !possible_value(s, x) &&
                          !(std::isnan(x) && family_of(s) != family::contingency))
                throw lines.error(shown(f[i + 1]) + " is no value of " +
                                  std::string(name_of(p.test.statistics[i])) + " here");
            values[i] = x;
        }
        if (each) each(r, values);
    }
    if (!lines.next(line))
        throw part_error(name + ": ends before its checksum line (the file was cut short)");
    const auto sum = fields(line);
    if (sum.size() != 2 || sum[0] != "checksum")
        throw lines.error("expected the checksum line, not " + shown(line));
    if (sum[1] != hex(lines.sum_before()))
        throw lines.error("the checksum does not match the file: it was changed or damaged");
    if (!followed(p.test) && lines.next(line))
        throw lines.error("more lines after the checksum line");
    return p;
}

void part_combiner::add_file(const std::string& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw part_error(file + ": cannot be opened: " + std::strerror(errno));
    struct closer {
        int fd;
        ~closer() { ::close(fd); }
    } const close_at_end{fd};
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
        throw part_error(file + ": " + std::strerror(EISDIR));
    generics::byte_source in(fd, file);
    try {
        add(in, file);
    } catch (const generics::read_error& e) {
        throw part_error(file + ": read error: " + e.message());
    }
}

void part_combiner::add(generics::byte_source& in, const std::string& name) {
    // A pairwise test's sections come pair by pair; the first file says how many there are.
    for (std::int32_t expected = 1;; ++expected) {
        if (expected > 1 && in.window().empty() && !in.extend())
            throw part_error(name + ": ends after pair " + std::to_string(expected - 1) + " of " +
                             std::to_string(tests_.size()) + " (the file was cut short)");
        const std::int64_t first_row = spool_ ? spool_->rows() : 0;
        std::optional<value_spool> fresh;
        const auto p = read_partial_result(in, name, [&](std::int64_t, std::span<const double> v) {
            if (!spool_ && !fresh) fresh.emplace(v.size());
            (spool_ ? *spool_ : *fresh).add(v);
        });
        if (fresh) spool_.emplace(std::move(*fresh));
        const std::int32_t index = p.test.pair ? p.test.pair->index : 1;
        const std::int32_t count = p.test.pair ? p.test.pair->count : 1;
        if (index != expected)
            throw part_error(name + ": holds pair " + std::to_string(index) + " where pair " +
                             std::to_string(expected) + " should be");
        if (tests_.empty()) tests_.resize(static_cast<std::size_t>(count));
        if (static_cast<std::size_t>(count) != tests_.size())
            throw part_error(name +
                             ": is a part of another test (its number of pairs differs from "
                             "that of " +
                             tests_.front().first_name + ")");
        add_section(p, name, first_row);
        if (!followed(p.test)) return;
    }
}

void part_combiner::add_section(const partial_result& p, const std::string& name,
                                std::int64_t first_row) {
    auto& c = tests_[static_cast<std::size_t>(p.test.pair ? p.test.pair->index - 1 : 0)];
    const auto& t = p.test;
    if (c.first) {
        const auto& f = c.first->test;
        const auto differ = [&](const std::string& what) {
            throw part_error(name + ": is a part of another test (" + what + ")");
        };
        const auto its = [&](const std::string& what) {
            differ("its " + what + " from that of " + c.first_name);
        };
        if (t.fingerprint != f.fingerprint)
            differ("fingerprint " + hex(t.fingerprint) + ", not " + hex(f.fingerprint) + " as in " +
                   c.first_name);
        if (p.part.m != c.first->part.m) its("number of parts differs");
        if (t.reshuffles != f.reshuffles) its("number of reshuffles differs");
        if (t.statistics != f.statistics) its("statistics line differs");
        if (!same_bits(t.observed, f.observed)) its("observed line differs");
        if (t.notes != f.notes) its("notes differ");
        if (t.tags != f.tags) its("tested line differs");
        if (t.pair != f.pair) its("pair line differs");
        if (t.method != f.method) its("method differs");
        // Its values were spooled already: a part given twice is refused all the same.
        if (const auto seen = c.parts.find(p.part.k); seen != c.parts.end())
            throw part_error(name + ": part " + std::to_string(p.part.k) + "/" +
                             std::to_string(p.part.m) + " is given twice (also " +
                             seen->second.name + ")");
    } else {
        // Every pair of one test has the same statistics and method, so one spool holds all.
        const auto& other = tests_.front().first;
        if (other && (t.statistics != other->test.statistics || t.method != other->test.method))
            throw part_error(name +
                             ": is a part of another test (its statistics differ from "
                             "those of " +
                             tests_.front().first_name + ")");
        c.first = p;
        c.first_name = name;
    }
    c.parts.emplace(p.part.k, part{name, first_row, p.range.last - p.range.first + 1});
}

const test_identity& part_combiner::test(std::size_t i) const {
    // Every file holds a section of every pair, so every pair has its first part once any has.
    if (tests_.empty() || !tests_.front().first)
        throw part_error("--combine needs the files of the partial results");
    for (const auto& c : tests_)
        for (std::int32_t k = 1; k <= c.first->part.m; ++k)
            if (c.parts.find(k) == c.parts.end())
                throw part_error(
                    "part " + std::to_string(k) + "/" + std::to_string(c.first->part.m) +
                    " is missing (the parts given are of " + c.first_name + "'s test)");
    return tests_[i].first->test;
}

void part_combiner::for_each_null(std::size_t i, const reshuffle_callback& each) {
    (void)test(i); // every part is in
    const auto& c = tests_[i];
    for (const auto& [k, p] : c.parts) {
        std::int64_t reshuffle = range_of({k, c.first->part.m}, c.first->test.reshuffles).first;
        if (p.rows > 0)
            spool_->replay(p.first_row, p.rows,
                           [&](std::span<const double> v) { each(reshuffle++, v); });
    }
}

} // namespace phylo::permutation
