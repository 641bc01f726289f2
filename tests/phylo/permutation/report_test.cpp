// The report of a test: numbers, the tie rule, the summary; the ranges of parts.

#include <phylo/permutation/parts.hpp>
#include <phylo/permutation/report.hpp>

#include "../../test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace phylo::permutation;

TEST(TestReport, NumbersReadBackAsTheSameDouble) {
    for (const double x : {0.1, 1.0 / 3, -2.5e-300, 7628.713134789488, 1e300, 0.0, 999.0}) {
        const auto text = format_number(x);
        EXPECT_EQ(parse_number(text), x) << text;
    }
    EXPECT_EQ(format_number(0.5), "0.5");
    EXPECT_EQ(format_number(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(format_number(-std::numeric_limits<double>::infinity()), "-Inf");
    EXPECT_TRUE(std::isnan(*parse_number("NaN")));
    for (const char* bad : {"", "1x", "nan", " 1", "1e400"}) EXPECT_FALSE(parse_number(bad)) << bad;
}

TEST(TestReport, TiesCountWithinSixtyFourEpsilonsAsInR) {
    const double eps = std::numeric_limits<double>::epsilon();
    struct tie {
        double value, observed;
        bool counts;
    };
    for (const auto& t : std::vector<tie>{{10.0, 10.0, true},
                                          {10.0 * (1 - 60 * eps), 10.0, true},
                                          {10.0 * (1 - 70 * eps), 10.0, false},
                                          {-1.0 - 60 * eps, -1.0, true},
                                          {-1.0 - 70 * eps, -1.0, false},
                                          {0.0, 0.0, true},
                                          {11.0, 10.0, true}})
        EXPECT_EQ(at_least_observed(t.value, t.observed), t.counts) << t.value;
}

TEST(TestReport, SummaryAndTable) {
    // Two statistics over four reshuffles, reshuffle by reshuffle.
    const std::vector<double> values{1, 10, 2, 20, 3, 30, 4, 40};
    const auto s = summarize(3.0, values, 2, 0);
    EXPECT_EQ(s.null_mean, 2.5);
    EXPECT_DOUBLE_EQ(s.null_sd, std::sqrt(5.0 / 3));
    EXPECT_EQ(s.at_least, 2);
    EXPECT_EQ(s.p_value, 3.0 / 5);
    // Equal values: their value and an sd of exactly 0.
    const std::vector<double> same(999, 7628.713134789488);
    EXPECT_EQ(summarize(1.0, same, 1, 0).null_mean, 7628.713134789488);
    EXPECT_EQ(summarize(1.0, same, 1, 0).null_sd, 0.0);
    const std::vector<statistic> two{statistic::ari, statistic::chi2};
    const std::vector<double> observed{std::numeric_limits<double>::quiet_NaN(), 25.0};
    // What was tested follows on every line; a name with a double quote is quoted.
    EXPECT_EQ(report_text(two, observed, values, {"family", "say \"hi\"", "", 12, 7}),
              "statistic\tobserved\tnull_mean\tnull_sd\treshuffles\tat_least\tp_value\tfixed\t"
              "permuted\tstrata\ttaxa\tseed\n"
              "ari\tNaN\tNaN\tNaN\t4\tNaN\tNaN\tfamily\t\"say \"\"hi\"\"\"\t\t12\t7\n"
              "chi2\t25\t25\t12.909944487358056\t4\t2\t0.6\tfamily\t\"say \"\"hi\"\"\"\t\t12\t7\n");
}

TEST(TestParts, RangesCoverEveryReshuffleOnce) {
    for (const std::int64_t n : {1, 7, 999, 1000})
        for (const std::int32_t m : {1, 2, 3, 4, 10}) {
            std::int64_t next = 1;
            for (std::int32_t k = 1; k <= m; ++k) {
                const auto r = range_of({k, m}, n);
                EXPECT_EQ(r.first, next);
                EXPECT_GE(r.last + 1, r.first);
                next = r.last + 1;
            }
            EXPECT_EQ(next, n + 1);
        }
}

// Holm and Benjamini-Hochberg as R's p.adjust gives them (R 4, same p-values): not-a-numbers
// stay and do not count; ties agree.
TEST(TestReport, AdjustedPValuesAreThoseOfRsPAdjust) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> p = {0.01, 0.04, nan, 0.04, 0.2, 0.001, 0.5};
    const auto holm = p_adjust(p, p_adjustment::holm);
    const auto bh = p_adjust(p, p_adjustment::bh);
    const std::vector<double> r_holm = {0.050000000000000003,  0.16, nan, 0.16, 0.40000000000000002,
                                        0.0060000000000000001, 0.5};
    const std::vector<double> r_bh = {
        0.029999999999999999, 0.059999999999999998,  nan, 0.059999999999999998,
        0.23999999999999999,  0.0060000000000000001, 0.5};
    for (std::size_t i = 0; i < p.size(); ++i) {
        EXPECT_EQ(format_number(holm[i]), format_number(r_holm[i])) << i;
        EXPECT_EQ(format_number(bh[i]), format_number(r_bh[i])) << i;
    }
}
