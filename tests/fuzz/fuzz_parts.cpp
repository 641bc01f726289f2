// The partial-result reader and the input sniffing on arbitrary bytes. The bytes stand for
// part 2 of a test of three parts. Whenever --combine accepts them, its report must be the one
// that the values written in them give, read by a plain split into lines and fields: the
// bounded, streaming reader never takes a value from the wrong place or half a value. (A
// checksum catches damage, not a forger: bytes that carry a matching checksum of other values
// are a part of other values.) The genuine part gives the one run's report.
#include <tool/sniff.hpp>

#include <phylo/permutation/parts.hpp>
#include <phylo/permutation/report.hpp>

#include <generics/errors.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

namespace {

using namespace labmix;
using namespace phylo::permutation;

const std::vector<statistic> statistics{statistic::chi2, statistic::ari};
const test_identity identity{0xfeedfacecafebeef, 6, statistics, {3.5, 0.25}, {}, {}, {}, {}};

double value(std::int64_t k, std::size_t i) {
    return i == 0 ? 1.0 / static_cast<double>(k) : -0.125 * static_cast<double>(k % 3);
}

std::string part_text(std::int32_t k) {
    std::string text;
    partial_writer part([&text](std::string_view piece) { text.append(piece); }, identity, {k, 3});
    const auto range = range_of({k, 3}, identity.reshuffles);
    for (auto r = range.first; r <= range.last; ++r)
        part.add(r, std::vector<double>{value(r, 0), value(r, 1)});
    part.finish();
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        if (check_input_start(bytes, true, "fuzz input") > size) std::abort();
    } catch (const generics::error&) {
    }

    static const std::string one = part_text(1), two = part_text(2), three = part_text(3);
    // The report of the values that `text` holds as part 2, in plain reading.
    const auto plain_report = [](const std::string& text) {
        std::vector<double> values, observed;
        const auto genuine = [&](std::int64_t k) {
            values.insert(values.end(), {value(k, 0), value(k, 1)});
        };
        genuine(1);
        genuine(2);
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> f;
            std::istringstream fields(line);
            for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
            const bool reshuffle = !f.empty() && (f[0] == "3" || f[0] == "4");
            if (f.size() == 3 && (reshuffle || f[0] == "observed"))
                for (std::size_t i = 1; i < 3; ++i)
                    (reshuffle ? values : observed).push_back(parse_number(f[i]).value_or(-1));
        }
        genuine(5);
        genuine(6);
        return report_text(statistics, observed, values, {});
    };
    static const std::string expected = plain_report(two);
    part_combiner parts;
    std::vector<null_accumulator> sums;
    try {
        for (const std::string* text : {&three, &bytes, &one}) {
            std::istringstream in(*text);
            generics::byte_source source(in);
            parts.add(source, "part");
        }
        const auto& test = parts.test();
        for (const double x : test.observed) sums.emplace_back(x);
        parts.for_each_null([&](std::int64_t, std::span<const double> v) {
            for (std::size_t i = 0; i < v.size(); ++i) sums[i].add(v[i]);
        });
        std::vector<statistic_summary> lines;
        for (const auto& s : sums) lines.push_back(s.summary());
        const auto report = report_text(test.statistics, lines, {});
        if (report != plain_report(bytes) || (bytes == two && report != expected)) std::abort();
    } catch (const generics::error&) {
    }
    return 0;
}
