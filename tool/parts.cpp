#include <tool/parts.hpp>

#include <tool/options.hpp>
#include <tool/test_report.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>

namespace labmix {

part_number parse_part(std::string_view text) {
    const auto slash = text.find('/');
    const auto whole = [](std::string_view t) -> std::optional<std::int32_t> {
        std::int32_t v = 0;
        const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), v);
        if (t.empty() || error != std::errc() || end != t.data() + t.size()) return std::nullopt;
        return v;
    };
    if (slash != std::string_view::npos) {
        const auto k = whole(text.substr(0, slash));
        const auto m = whole(text.substr(slash + 1));
        if (k && m && *k >= 1 && *k <= *m) return {*k, *m};
    }
    throw option_error("the value of option --part must be K/M with 1 <= K <= M, not \"" +
                       std::string(text) + "\"");
}

reshuffle_range range_of(part_number p, std::int64_t reshuffles) {
    return {(p.k - 1) * reshuffles / p.m + 1, p.k * reshuffles / p.m};
}

namespace {

constexpr std::string_view magic = "labmix partial result\t1";

std::string hex(std::uint64_t x) {
    char buffer[17];
    for (int i = 15; i >= 0; --i, x >>= 4) buffer[i] = "0123456789abcdef"[x & 15];
    return std::string(buffer, 16);
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

struct partial {
    std::string file;
    test_identity test;
    part_number part{};
    reshuffle_range range{};
};

std::int64_t whole(std::string_view text, const std::string& where) {
    std::int64_t v = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw part_error(where + ": \"" + std::string(text) + "\" is not a whole number");
    return v;
}

// Reads a partial result whole, checking every line, and hands each reshuffle's values to
// `each`.
partial read_partial(const std::string& file, const reshuffle_callback& each) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw part_error(file + ": cannot be opened: " + std::strerror(errno));
    partial p;
    p.file = file;
    std::string line;
    std::int64_t number = 0;
    const auto where = [&] { return file + ": line " + std::to_string(number); };
    const auto next = [&](std::string_view key, std::size_t least) {
        if (!std::getline(in, line))
            throw part_error(file + ": ends before its " + std::string(key) + " line");
        ++number;
        auto f = fields(line);
        if (f.front() != key || f.size() < least + 1)
            throw part_error(where() + ": expected the " + std::string(key) + " line");
        f.erase(f.begin());
        return f;
    };
    if (!std::getline(in, line) || line != magic)
        throw part_error(file + ": is not a partial result of labmix (its first line is not \"" +
                         std::string(magic) + "\")");
    ++number;
    const auto print = next("fingerprint", 1);
    std::uint64_t fp = 0;
    const auto [end, error] =
        std::from_chars(print[0].data(), print[0].data() + print[0].size(), fp, 16);
    if (error != std::errc() || end != print[0].data() + print[0].size() || print[0].size() != 16)
        throw part_error(where() + ": the fingerprint is not 16 hexadecimal digits");
    p.test.fingerprint = fp;
    const auto part = next("part", 2);
    p.part = {static_cast<std::int32_t>(whole(part[0], where())),
              static_cast<std::int32_t>(whole(part[1], where()))};
    if (p.part.k < 1 || p.part.k > p.part.m) throw part_error(where() + ": no such part");
    p.test.reshuffles = whole(next("reshuffles", 1)[0], where());
    for (const auto name : next("statistics", 1))
        p.test.statistics.push_back(parse_statistics(name).front());
    for (const auto value : next("observed", p.test.statistics.size())) {
        const auto x = parse_number(value);
        if (!x) throw part_error(where() + ": \"" + std::string(value) + "\" is not a number");
        p.test.observed.push_back(*x);
    }
    for (;;) {
        if (!std::getline(in, line)) throw part_error(file + ": ends before its values line");
        ++number;
        if (line.rfind("note\t", 0) != 0) break;
        p.test.notes.push_back(line.substr(5));
    }
    const auto range = fields(line);
    if (range.size() != 3 || range[0] != "values")
        throw part_error(where() + ": expected the values line");
    p.range = {whole(range[1], where()), whole(range[2], where())};
    const auto expected = range_of(p.part, p.test.reshuffles);
    if (p.range.first != expected.first || p.range.last != expected.last)
        throw part_error(where() + ": part " + std::to_string(p.part.k) + "/" +
                         std::to_string(p.part.m) + " of " + std::to_string(p.test.reshuffles) +
                         " reshuffles holds " + std::to_string(expected.first) + " .. " +
                         std::to_string(expected.last));
    const std::size_t width = p.test.statistics.size();
    std::vector<double> values(width);
    for (std::int64_t k = p.range.first; k <= p.range.last; ++k) {
        if (!std::getline(in, line))
            throw part_error(file + ": ends before reshuffle " + std::to_string(k) +
                             " (it was cut short)");
        ++number;
        const auto f = fields(line);
        if (f.size() != width + 1 || whole(f[0], where()) != k)
            throw part_error(where() + ": expected reshuffle " + std::to_string(k) + " and " +
                             std::to_string(width) + " values");
        for (std::size_t i = 1; i <= width; ++i) {
            const auto x = parse_number(f[i]);
            if (!x) throw part_error(where() + ": \"" + std::string(f[i]) + "\" is not a number");
            values[i - 1] = *x;
        }
        if (each) each(k, values);
    }
    if (std::getline(in, line))
        throw part_error(file + ": has more lines after its last reshuffle");
    if (in.bad()) throw part_error(file + ": read error: " + std::strerror(errno));
    return p;
}

} // namespace

void write_partial_head(listing_writer& out, const test_identity& test, part_number p) {
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
    head.append("\nvalues\t").append(std::to_string(range.first)).append("\t");
    head.append(std::to_string(range.last)).append("\n");
    out.put(head);
}

void write_partial_line(listing_writer& out, std::int64_t k, std::span<const double> values) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, k).ptr;
    out.put(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
    for (const double x : values) {
        out.put('\t');
        out.put(format_number(x));
    }
    out.put('\n');
}

combined_test combine_parts(const std::vector<std::string>& files) {
    std::map<std::int32_t, partial> parts;
    std::optional<partial> first;
    for (const auto& file : files) {
        auto p = read_partial(file, {});
        if (first && p.test.fingerprint != first->test.fingerprint)
            throw part_error(file + ": is a part of another test (fingerprint " +
                             hex(p.test.fingerprint) + ", not " + hex(first->test.fingerprint) +
                             " as in " + first->file + ")");
        if (first && p.part.m != first->part.m)
            throw part_error(file + ": is part " + std::to_string(p.part.k) + " of " +
                             std::to_string(p.part.m) + ", but " + first->file + " is one of " +
                             std::to_string(first->part.m));
        if (const auto seen = parts.find(p.part.k); seen != parts.end())
            throw part_error(file + ": part " + std::to_string(p.part.k) + "/" +
                             std::to_string(p.part.m) + " is given twice (also " +
                             seen->second.file + ")");
        if (!first) first = p;
        const auto k = p.part.k;
        parts.emplace(k, std::move(p));
    }
    if (!first) throw part_error("--combine needs the files of the partial results");
    for (std::int32_t k = 1; k <= first->part.m; ++k)
        if (parts.find(k) == parts.end())
            throw part_error("part " + std::to_string(k) + "/" + std::to_string(first->part.m) +
                             " is missing (the parts given are of " + first->file + "'s test)");
    combined_test result{first->test, {}};
    for (const auto& [k, p] : parts) result.files.push_back(p.file);
    return result;
}

void for_each_combined_null(const combined_test& combined, const reshuffle_callback& each) {
    for (const auto& file : combined.files) {
        const auto p = read_partial(file, each);
        if (p.test.fingerprint != combined.test.fingerprint)
            throw part_error(file + ": changed while the parts were combined");
    }
}

} // namespace labmix
