// Partial results: any damage to a part is refused, never combined into another report.

#include <phylo/permutation/parts.hpp>
#include <phylo/permutation/report.hpp>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>

using namespace phylo::permutation;

namespace {

const test_identity identity{0x0123456789abcdef,
                             5,
                             {statistic::chi2, statistic::ari},
                             {3.5, 0.25},
                             {"labmix: a note"},
                             {},
                             {},
                             {}};

// Part `k` of 2 of `test`, with made-up values, as the tool writes it.
std::string part_text(std::int32_t k, const test_identity& test = identity) {
    std::string text;
    partial_writer part([&text](std::string_view piece) { text.append(piece); }, test, {k, 2});
    const auto range = range_of({k, 2}, identity.reshuffles);
    for (auto r = range.first; r <= range.last; ++r)
        part.add(r, std::vector<double>{1.0 / static_cast<double>(r), -0.125});
    part.finish();
    return text;
}

// `text` with its checksum line made anew: a part that a hand or a program forged.
std::string signed_again(std::string text) {
    text.erase(text.rfind("checksum\t"));
    fingerprint sum;
    sum.add(text);
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(sum.value()));
    return text + "checksum\t" + hex + "\n";
}

// Reads `text` as a part called "p": the values, or the part_error's message.
std::string read(const std::string& text) {
    std::istringstream in(text);
    generics::byte_source source(in);
    std::string values;
    try {
        read_partial_result(source, "p", [&](std::int64_t k, std::span<const double> v) {
            values += std::to_string(k) + ":" + format_number(v[0]) + " ";
        });
    } catch (const part_error& e) {
        return std::string("error ") + e.message();
    }
    return values;
}

// Combines `texts`, each read once as from a pipe and called p1, p2, ...: what `show` makes
// of the combined parts, or the part_error's message.
std::string combined(const std::vector<std::string>& texts,
                     const std::function<std::string(part_combiner&)>& show) {
    part_combiner parts;
    try {
        for (std::size_t i = 0; i < texts.size(); ++i) {
            std::istringstream in(texts[i]);
            generics::byte_source source(in);
            parts.add(source, "p" + std::to_string(i + 1));
        }
        return show(parts);
    } catch (const part_error& e) {
        return std::string("error ") + e.message();
    }
}

} // namespace

TEST(Parts, EveryCutEditOrReorderIsRefused) {
    const auto text = part_text(2);
    ASSERT_EQ(read(text), "3:0.3333333333333333 4:0.25 5:0.2 ");
    for (std::size_t at = 0; at < text.size(); ++at) {
        ASSERT_EQ(read(text.substr(0, at)).substr(0, 8), "error p:") << "cut at " << at;
        for (const char to : {'0', '\t', '\n', '\0', static_cast<char>(text[at] ^ 1)}) {
            if (to == text[at]) continue;
            auto edited = text;
            edited[at] = to;
            ASSERT_EQ(read(edited).substr(0, 8), "error p:") << "byte " << at << " edited";
        }
    }
    for (std::size_t line = 0, next; (next = text.find('\n', line) + 1) < text.size();
         line = next) {
        const auto after = text.find('\n', next) + 1;
        const auto swapped = text.substr(0, line) + text.substr(next, after - next) +
                             text.substr(line, next - line) + text.substr(after);
        ASSERT_EQ(read(swapped).substr(0, 8), "error p:") << "lines swapped at " << line;
    }
}

TEST(Parts, ForgedValuesAndCountsOutOfRangeAreRefusedWithTheLine) {
    const auto text = part_text(2);
    const auto replaced = [&](const std::string& from, const std::string& to) {
        auto t = text;
        t.replace(t.find(from), from.size(), to);
        return read(signed_again(t));
    };
    struct row {
        std::string from, to, message;
    };
    for (const auto& r : std::vector<row>{
             {"part\t2\t2", "part\t4294967298\t4",
              "p: line 3: \"4294967298\" is not a whole number"},
             {"reshuffles\t5", "reshuffles\t9223372036854775807",
              "p: line 4: \"9223372036854775807\""},
             {"statistics\tchi2", "statistics\tchi3",
              "p: line 5: \"chi3,ari\" is not a list of statistics"},
             {"observed\t3.5", "observed\tInf", "p: line 6: \"Inf\" is no value of chi2"},
             {"4\t0.25", "4\t1e300", "p: line 10: \"1e300\" is no value of chi2 here"},
             {"4\t0.25", "4\tNaN", "p: line 10: \"NaN\" is no value of chi2 here"},
             {"\t-0.125\n5", "\t-3\n5", "p: line 10: \"-3\" is no value of ari here"},
             {"4\t0.25", std::string("4\t0.2\0", 6), "p: line 10: \"0.2\\x00\" is not a number"},
             {"labmix partial result\t2", "labmix partial result\t1", "another version of labmix"},
         })
        EXPECT_NE(replaced(r.from, r.to).find(r.message), std::string::npos)
            << replaced(r.from, r.to);
}

TEST(Parts, CombinedPartsAgreeInTheirHeadsAndAreReadOnce) {
    const auto combine = [](const std::vector<std::string>& texts) {
        return combined(texts, [](part_combiner& parts) {
            std::string values;
            parts.for_each_null([&](std::int64_t k, std::span<const double> v) {
                values += std::to_string(k) + ":" + format_number(v[1]) + " ";
            });
            return values;
        });
    };
    const auto one = part_text(1), two = part_text(2);
    EXPECT_EQ(combine({two, one}), "1:-0.125 2:-0.125 3:-0.125 4:-0.125 5:-0.125 ");
    auto other = two;
    other.replace(other.find("observed\t3.5"), 12, "observed\t3.75");
    EXPECT_EQ(combine({one, signed_again(other)}),
              "error p2: is a part of another test (its observed line differs from that of p1)");
    other = two;
    other.replace(other.find("note\tlabmix: a note"), 18, "note\tlabmix: b note");
    EXPECT_EQ(combine({signed_again(other), one}),
              "error p2: is a part of another test (its notes differ from that of p1)");
    EXPECT_EQ(combine({one, one}), "error p2: part 1/2 is given twice (also p1)");
    // What the report says was tested travels with the parts, and must agree.
    auto tagged = identity;
    tagged.tags = report_tags{"family", "habitat", "", 1796, 7};
    EXPECT_EQ(combine({part_text(2, tagged), part_text(1, tagged)}), combine({one, two}));
    EXPECT_EQ(combine({part_text(1, tagged), two}),
              "error p2: is a part of another test (its tested line differs from that of p1)");
    EXPECT_EQ(combine({one}), "error part 2/2 is missing (the parts given are of p1's test)");
}

// A pairwise test's parts hold a section per pair, each combined on its own; an exact test's
// values carry their weights. Sections out of order or a file cut between them are refused.
TEST(Parts, PairwiseSectionsCombinePairByPair) {
    const auto file = [](std::int32_t k) {
        std::string text;
        for (std::int32_t pair = 1; pair <= 2; ++pair) {
            auto test = identity;
            test.method = test_method::exact;
            test.pair = pair_tag{pair, 2, "a", pair == 1 ? "b" : "c"};
            test.reshuffles = 2 + pair;
            partial_writer part([&text](std::string_view piece) { text.append(piece); }, test,
                                {k, 2});
            const auto range = range_of({k, 2}, test.reshuffles);
            for (auto r = range.first; r <= range.last; ++r)
                part.add(r, std::vector<double>{double(r), -0.125 * pair, 0.25});
            part.finish();
        }
        return text;
    };
    const auto combine = [](const std::vector<std::string>& texts) {
        return combined(texts, [](part_combiner& parts) {
            std::string values;
            for (std::size_t t = 0; t < parts.tests(); ++t) {
                values += parts.test(t).pair->group_b + ":";
                parts.for_each_null(t, [&](std::int64_t k, std::span<const double> v) {
                    values += " " + std::to_string(k) + "/" + format_number(v[1]) + "/" +
                              format_number(v[2]);
                });
                values += " ";
            }
            return values;
        });
    };
    EXPECT_EQ(combine({file(2), file(1)}),
              "b: 1/-0.125/0.25 2/-0.125/0.25 3/-0.125/0.25 c: 1/-0.25/0.25 2/-0.25/0.25 "
              "3/-0.25/0.25 4/-0.25/0.25 ");
    const auto one = file(1);
    const auto second = one.find("labmix partial result", 1);
    EXPECT_EQ(combine({one.substr(0, second), file(2)}),
              "error p1: ends after pair 1 of 2 (the file was cut short)");
    EXPECT_EQ(combine({one.substr(second) + one.substr(0, second), file(2)}),
              "error p1: line 14: more lines after the checksum line"); // of the last pair
    EXPECT_EQ(combine({one.substr(0, second) + one.substr(0, second), file(2)}),
              "error p1: holds pair 1 where pair 2 should be");
}
