// End to end: labmix --test, its parts and their combination, the null values and the plot.

#include "run_support.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace run_support;

namespace {

// A table with a header: taxon, family (40 groups), habitat (4), site (3).
std::string table_text() {
    std::mt19937 random(1);
    std::string text = "taxon\tfamily\thabitat\tsite\n";
    for (int i = 0; i < 400; ++i) {
        const auto family = random() % 40;
        const auto habitat = random() % 5 == 0 ? family % 4 : random() % 4;
        text += "t" + std::to_string(i) + "\tF" + std::to_string(family) + "\tH" +
                std::to_string(habitat) + "\tS" + std::to_string(random() % 3) + "\n";
    }
    return text;
}

const std::vector<std::string> test_args{
    "--header", "--fixed", "family", "--permute", "habitat", "--test", "chi2,g,mi,nmi,ari,rand",
    "-n",       "300",     "-s",     "5"};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

} // namespace

TEST(LabmixTest, OneReportWhateverTheThreadsAndTheParts) {
    const scratch dir;
    const auto table = dir.file("t.tsv", table_text());
    for (const auto& strata :
         {std::vector<std::string>{}, std::vector<std::string>{"--strata", "site"}}) {
        const auto one = run(with(with(test_args, strata), {"--threads", "1", table}));
        ASSERT_EQ(one.status, 0) << one.err;
        EXPECT_EQ(one.err, "");
        EXPECT_EQ(one.out.substr(0, one.out.find('\n')),
                  "statistic\tobserved\tnull_mean\tnull_sd\treshuffles\tat_least\tp_value");
        EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 7);
        EXPECT_EQ(run(with(with(test_args, strata), {"--threads", "3", table})).out, one.out);
        std::vector<std::string> parts;
        for (const int k : {3, 1, 4, 2}) {
            const auto part =
                run(with(with(test_args, strata), {"--part", std::to_string(k) + "/4", table}));
            ASSERT_EQ(part.status, 0) << part.err;
            parts.push_back(dir.file("part" + std::to_string(k), part.out));
        }
        const auto combined = run(with({"--combine"}, parts));
        EXPECT_EQ(combined.status, 0) << combined.err;
        EXPECT_EQ(combined.out, one.out);

        // The null table and the plot too, though neither run keeps the values in memory.
        const std::vector<std::string> files{"--null", dir.path("n1"), "--plot", dir.path("p1")};
        ASSERT_EQ(run(with(with(with(test_args, strata), files), {table})).status, 0);
        const auto again = run(
            with(with({"--combine"}, parts), {"--null", dir.path("n2"), "--plot", dir.path("p2")}));
        ASSERT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(again.out, one.out);
        EXPECT_EQ(slurp(dir.path("n2")), slurp(dir.path("n1")));
        EXPECT_EQ(slurp(dir.path("p2")), slurp(dir.path("p1")));
    }
}

TEST(LabmixTest, AMissingRepeatedOrForeignPartIsNamed) {
    const scratch dir;
    const auto table = dir.file("t.tsv", table_text());
    std::vector<std::string> parts;
    for (const int k : {1, 2, 3})
        parts.push_back(
            dir.file("p" + std::to_string(k),
                     run(with(test_args, {"--part", std::to_string(k) + "/3", table})).out));
    const auto foreign =
        dir.file("q2", run(with(with({"-s", "6"}, test_args), {"--part", "2/3", table})).out);
    struct row {
        std::vector<std::string> files;
        std::string message;
    };
    for (const auto& r : std::vector<row>{
             {{parts[0], parts[2]}, "labmix: partial result: part 2/3 is missing"},
             {{parts[0], parts[1], parts[1], parts[2]}, parts[1] + ": part 2/3 is given twice"},
             {{parts[0], foreign, parts[2]}, foreign + ": is a part of another test"},
             {{parts[0], table}, table + ": is not a partial result of labmix"},
             {{parts[0], dir.path("none")}, dir.path("none") + ": cannot be opened"}}) {
        const auto out = run(with({"--combine"}, r.files));
        EXPECT_EQ(out.status, 1);
        EXPECT_EQ(out.out, "");
        EXPECT_NE(out.err.find(r.message), std::string::npos) << out.err;
    }
    // A part cut short at a line end (cut inside a line, it is a malformed line).
    const auto text = run(with(test_args, {"--part", "2/3", table})).out;
    const auto cut = dir.file("cut", text.substr(0, text.rfind('\n', text.size() - 2) + 1));
    const auto out = run({"--combine", parts[0], cut, parts[2]});
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.err.find(cut + ": ends before reshuffle"), std::string::npos) << out.err;
}

TEST(LabmixTest, NullValuesPlotSeedAndUndefinedStatistics) {
    const scratch dir;
    const auto table = dir.file("t.tsv", table_text());
    const auto r =
        run(with(test_args, {"--null", dir.path("null.tsv"), "--plot", dir.path("p.svg"), table}));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto null = slurp(dir.path("null.tsv"));
    EXPECT_EQ(null.substr(0, 26), "reshuffle\tstatistic\tvalue\n");
    EXPECT_EQ(std::count(null.begin(), null.end(), '\n'), 1 + 300 * 6);
    EXPECT_EQ(null.substr(26, 7), "1\tchi2\t");
    const auto svg = slurp(dir.path("p.svg"));
    EXPECT_EQ(svg.substr(0, 5), "<?xml");
    EXPECT_NE(svg.find("ari: observed"), std::string::npos);
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");

    // Without -s the report says which seed to give to repeat it.
    const auto clock = run({"--header", "-f", "2", "-p", "3", "--test", "chi2", "-n", "50", table});
    ASSERT_EQ(clock.status, 0);
    const auto seed = clock.err.substr(13, clock.err.find(' ', 13) - 13);
    EXPECT_EQ(clock.err, "labmix: seed " + seed + " (-s " + seed + " repeats this test)\n");
    EXPECT_EQ(
        run({"--header", "-f", "2", "-p", "3", "--test", "chi2", "-n", "50", "-s", seed, table})
            .out,
        clock.out);

    // A null table that cannot be written ends the run while the reshuffles are drawn.
    const auto full = run(with(test_args, {"-n", "20000", "--null", "/dev/full", table}));
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "labmix: write error: /dev/full: No space left on device\n");

    const auto one_group = dir.file("one.tsv", "a\tx\nb\tx\nc\tx\n");
    const auto u = run({"--test", "chi2,ari", "-s", "1", one_group});
    EXPECT_EQ(u.status, 0);
    EXPECT_EQ(u.out, "statistic\tobserved\tnull_mean\tnull_sd\treshuffles\tat_least\tp_value\n"
                     "chi2\tNaN\tNaN\tNaN\t999\tNaN\tNaN\nari\tNaN\tNaN\tNaN\t999\tNaN\tNaN\n");
    EXPECT_EQ(u.err,
              "labmix: every statistic is undefined, so it is NaN: column 2 has only one group\n");
}

TEST(LabmixTest, OptionsThatDoNotGoTogether) {
    const scratch dir;
    const auto table = dir.file("t.tsv", "a\tx\nb\ty\n");
    struct row {
        std::vector<std::string> args;
        std::string message;
    };
    for (const auto& r : std::vector<row>{
             {{"--null", "n.tsv", table}, "option --null needs --test"},
             {{"--test", "chi2", "--part", "1/2", table}, "option --part needs --seed"},
             {{"--test", "chi2,x", table}, "names an unknown statistic, \"x\""},
             {{"--test", "chi2,chi2", table}, "names chi2 twice"},
             {{"--test", "chi2", "--threads", "0", table}, "must be at least 1"},
             {{"--test", "chi2", "-n", "0", table}, "option -n 0 does not go with --test"},
             {{"--test", "chi2", "--reshuffles=0", table}, "option -n 0 does not go with --test"},
             {{"--test", "chi2", "-n", "0", "-n", "5", table},
              "option -n 0 does not go with --test"},
             // Outputs that would overwrite an input, or each other.
             {{"--test", "chi2", "--null", table, table}, "option --null names " + table},
             {{"--test", "chi2", "--plot", dir.path("./t.tsv"), table}, "option --plot names"},
             {{"--test", "chi2", "--null", dir.path("o"), "--plot", dir.path("o"), table},
              "options --null and --plot name the same file"},
             {{"--combine", table, "--null", table}, "option --null names " + table},
             {{"--combine"}, "option --combine needs the partial results"},
             {{"--combine", "--test", "chi2", table},
              "option --combine takes the test from its partial results"}}) {
        const auto out = run(r.args);
        EXPECT_EQ(out.status, 1);
        EXPECT_NE(out.err.find(r.message), std::string::npos) << out.err;
    }
    EXPECT_EQ(slurp(table), "a\tx\nb\ty\n"); // never overwritten
}
