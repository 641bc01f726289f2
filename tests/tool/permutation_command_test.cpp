// End to end: labmix --test, its parts and their combination, the null values and the plot.

#include "run_support.hpp"

#include <phylo/permutation/random.hpp>

#include <random>
#include <set>

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

} // namespace

TEST(LabmixTest, OneReportWhateverTheThreadsAndTheParts) {
    const scratch dir;
    const auto table = dir.file("t.tsv", table_text());
    for (const auto& strata :
         {std::vector<std::string>{}, std::vector<std::string>{"--strata", "site"}}) {
        const auto args = with(test_args, strata);
        const auto one = run(with(args, {"--threads", "1", table}));
        ASSERT_EQ(one.status, 0) << one.err;
        EXPECT_EQ(one.err, "");
        EXPECT_EQ(one.out.substr(0, one.out.find('\n')),
                  "statistic\tobserved\tnull_mean\tnull_sd\treshuffles\tat_least\tp_value\tfixed\t"
                  "permuted\tstrata\ttaxa\tseed");
        // What was tested, by name (a header line) on every line, strata or not.
        EXPECT_NE(one.out.find("\tfamily\thabitat\t" + std::string(strata.empty() ? "" : "site") +
                               "\t400\t5\n"),
                  std::string::npos)
            << one.out;
        EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 7);
        for (const char* threads : {"3", "100000"}) // more than the cores: as many as there are
            EXPECT_EQ(run(with(args, {"--threads", threads, table})).out, one.out) << threads;
        std::vector<std::string> parts{"--combine"};
        for (const int k : {3, 1, 4, 2}) {
            const auto part = run(with(args, {"--part", std::to_string(k) + "/4", table}));
            ASSERT_EQ(part.status, 0) << part.err;
            parts.push_back(dir.file("part" + std::to_string(k), part.out));
        }
        expect_runs({{parts, one.out}});
        // The null table and the plot too, though neither run keeps the values in memory.
        const std::vector<std::string> files{"--null", dir.path("n1"), "--plot", dir.path("p1")};
        ASSERT_EQ(run(with(with(args, files), {table})).status, 0);
        expect_runs({{with(parts, {"--null", dir.path("n2"), "--plot", dir.path("p2")}), one.out}});
        EXPECT_EQ(slurp(dir.path("n2")), slurp(dir.path("n1")));
        EXPECT_EQ(slurp(dir.path("p2")), slurp(dir.path("p1")));
    }
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
    const std::vector<std::string> chi2{"--header", "-f",   "2",  "-p", "3",
                                        "--test",   "chi2", "-n", "50"};
    const auto clock = run(with(chi2, {table}));
    ASSERT_EQ(clock.status, 0);
    const auto seed = clock.err.substr(13, clock.err.find(' ', 13) - 13);
    EXPECT_EQ(clock.err, "labmix: seed " + seed + " (-s " + seed + " repeats this test)\n");
    EXPECT_EQ(run(with(chi2, {"-s", seed, table})).out, clock.out);

    // A null table or a plot that cannot be written ends the run while the reshuffles are
    // drawn (the leftmost -n counts: given after test_args, 20000 was never drawn), or when it
    // is closed; either way before the report, so that no report stands for a failed run.
    const std::string full = "labmix: write error: /dev/full: No space left on device\n";
    expect_runs({
        fails(with({"-n", "20000"}, with(test_args, {"--null", "/dev/full", table})),
              "labmix: warning: option -n 300 is ignored: -n 20000, further left, counts\n" + full),
        fails(with(test_args, {"--null", "/dev/full", table}), full),
        fails(with(test_args, {"--plot", "/dev/full", table}), full),
        {{"--test", "chi2,ari", "-s", "1", dir.file("a\tx\nb\tx\nc\tx\n")},
         "statistic\tobserved\tnull_mean\tnull_sd\treshuffles\tat_least\tp_value\tfixed\t"
         "permuted\tstrata\ttaxa\tseed\n"
         "chi2\tNaN\tNaN\tNaN\t999\tNaN\tNaN\t1\t2\t\t3\t1\n"
         "ari\tNaN\tNaN\tNaN\t999\tNaN\tNaN\t1\t2\t\t3\t1\n",
         "labmix: every statistic is undefined, so it is NaN: column 2 has only one group\n"},
    });
}

TEST(LabmixTest, PartsMissingRepeatedOrForeignAndOptionsThatDoNotGoTogetherAreNamed) {
    const scratch dir;
    const auto table = dir.file("t.tsv", table_text());
    std::vector<std::string> p{""}; // p[k]: part k/3
    for (const int k : {1, 2, 3})
        p.push_back(
            dir.file(run(with(test_args, {"--part", std::to_string(k) + "/3", table})).out));
    const auto foreign =
        dir.file(run(with(with({"-s", "6"}, test_args), {"--part", "2/3", table})).out);
    const auto small = dir.file("small.tsv", "a\tx\nb\ty\n");
    std::filesystem::create_directory(dir.path("sub"));
    struct row {
        std::vector<std::string> args;
        std::string message;
    };
    for (const auto& r : std::vector<row>{
             {{"--combine", p[1], p[3]}, "labmix: partial result: part 2/3 is missing"},
             {{"--combine", p[1], p[2], p[2], p[3]}, p[2] + ": part 2/3 is given twice"},
             {{"--combine", p[1], foreign, p[3]}, foreign + ": is a part of another test"},
             {{"--combine", p[1], table}, table + ": is not a partial result of labmix"},
             {{"--combine", p[1], dir.path("none")}, dir.path("none") + ": cannot be opened"},
             {{"--combine", p[1], dir.path(".")}, dir.path(".") + ": Is a directory"},
             {{"--null", "n.tsv", small}, "option --null needs --test"},
             {{"--test", "chi2", "--part", "1/2", small}, "option --part needs --seed"},
             {{"--test", "chi2,x", small}, "names an unknown statistic, \"x\""},
             {{"--test", "chi2,chi2", small}, "names chi2 twice"},
             {{"--test", "chi2", "--threads", "0", small}, "must be at least 1"},
             {{"--test", "chi2", "-n", "0", small}, "option -n 0 does not go with --test"},
             {{"--test", "chi2", "--reshuffles=0", small}, "option -n 0 does not go with --test"},
             {{"--test", "chi2", "-n", "0", "-n", "5", small},
              "option -n 0 does not go with --test"},
             // Outputs that would overwrite an input, or each other, whatever the path says;
             // a folder that is missing ends the run before a reshuffle is drawn.
             {{"--test", "chi2", "--null", small, small}, "option --null names " + small},
             {{"--test", "chi2", "--plot", dir.path("./small.tsv"), small}, "option --plot names"},
             {{"--test", "chi2", "--null", dir.path("o"), "--plot", dir.path("sub/../o"), small},
              "options --null and --plot name the same file"},
             {{"--test", "chi2", "-n", "2000000000", "--plot", dir.path("none/p.svg"), small},
              "labmix: write error: " + dir.path("none/p.svg") +
                  ": cannot be written: No such file or directory"},
             {{"--combine", small, "--null", small}, "option --null names " + small},
             {{"--combine"}, "option --combine needs the partial results"},
             {{"--combine", "--test", "chi2", small},
              "option --combine takes the test from its partial results"}}) {
        const auto out = run(r.args);
        EXPECT_EQ(out.status, 1);
        EXPECT_EQ(out.out, "");
        EXPECT_NE(out.err.find(r.message), std::string::npos) << out.err;
    }
    EXPECT_EQ(slurp(small), "a\tx\nb\ty\n"); // never overwritten
    // Standard input and standard output are files too; a failed run leaves an existing
    // output as it was, and no file of its own beside it.
    const std::string chi2 = "labmix: option error: option --null names ";
    expect_runs({
        fails({"--test", "chi2", "--null", small, "-"},
              chi2 + small + ", the table on standard input, which it would overwrite\n",
              {.in = small}),
        fails({"--test", "chi2", "--null", dir.path("out"), small},
              chi2 + dir.path("out") + ", which is standard output, where the report goes\n",
              {.out = dir.path("out")}),
        fails({"--test", "chi2", "--null", "/dev/stdout", small},
              chi2 + "/dev/stdout, which is standard output, where the report goes\n",
              {.out = dir.path("out")}),
        fails({"--test", "chi2", "-s", "1", "--quiet", "--null", small, "--plot", "/dev/full",
               dir.file("a\tx\nb\ty\n")},
              "labmix: write error: /dev/full: No space left on device\n"),
        fails({"--help"}, "labmix: write error: standard output: No space left on device\n",
              {.out = "/dev/full"}),
    });
    EXPECT_EQ(slurp(small), "a\tx\nb\ty\n");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path("")))
        EXPECT_EQ(entry.path().filename().string().find(".labmix-"), std::string::npos);
}

// SIGINT or SIGTERM while the reshuffles are drawn: no temporary file of --null is left, the
// target is not made, the run says why and ends with 128 + the signal.
TEST(LabmixTest, AnInterruptedTestLeavesNoHalfWrittenOutput) {
    const scratch dir;
    std::string table;
    for (int i = 0; i < 20000; ++i)
        table += "t" + std::to_string(i) + "\tF" + std::to_string(i % 300) + "\n";
    const auto t = dir.file("t.tsv", table);
    const auto files = [&] {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path("")))
            names.insert(e.path().filename());
        return names;
    };
    for (const int signal : {SIGINT, SIGTERM}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int err = ::open(dir.path("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, 2);
            ::execl(binary.c_str(), binary.c_str(), "--quiet", "--test", "chi2", "-n", "100000000",
                    "-s", "1", "--null", dir.path("null.tsv").c_str(), t.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(98);
        }
        // Once the temporary file is there, the reshuffles are being drawn.
        for (int wait = 0; files().size() < 3 && wait < 6000; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::kill(pid, signal);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal) << status;
        EXPECT_EQ(slurp(dir.path("err")), "labmix: interrupted\n");
        EXPECT_EQ(files(), (std::set<std::string>{"err", "t.tsv"}));
    }
}

namespace {

// 30 taxa a0 .. a29 in 3 groups and 2 sites; the distances of points on a line, the groups
// apart. `skew` makes the matrix asymmetric, `hole` puts NaN in it.
std::string matrix_text(bool skew = false, bool hole = false) {
    std::string text = "30\n";
    for (int i = 0; i < 30; ++i) {
        text += "a" + std::to_string(i);
        for (int j = 0; j < 30; ++j) {
            const double d = std::abs((i % 3) * 2.0 + i * 0.1 - (j % 3) * 2.0 - j * 0.1);
            text += "\t" + (hole && i == 4 && j == 5   ? std::string("NaN")
                            : skew && i == 2 && j == 7 ? std::string("9")
                                                       : std::to_string(d));
        }
        text += "\n";
    }
    return text;
}

std::string groups_text(int rows = 30) {
    std::string text = "taxon\tgroup\tsite\n";
    for (int i = 0; i < rows; ++i)
        text += "a" + std::to_string(i) + "\tg" + std::to_string(i % 3) + "\ts" +
                std::to_string(i / 15) + "\n";
    return text;
}

} // namespace

TEST(LabmixTest, DistanceTestsOnTheEngineAndTheirErrorsNamed) {
    const scratch dir;
    const auto d = dir.file("d.phy", matrix_text());
    const auto table = dir.file("t.tsv", groups_text(32)); // a30, a31: not in the matrix
    const std::vector<std::string> args{
        "--distances", d,         "--test", "permanova,anosim", "--header", "-n",       "60",  "-s",
        "2",           "--fixed", "taxon",  "--permute",        "group",    "--strata", "site"};
    const auto one = run(with(args, {"--threads", "1", table}));
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.err, "labmix: 2 taxa of " + table + " are not in " + d + ", so left out\n");
    EXPECT_NE(one.out.find("\ttaxon\tgroup\tsite\t30\t2\n"), std::string::npos) << one.out;
    EXPECT_EQ(run(with(args, {"--threads", "3", table})).out, one.out);
    std::vector<std::string> parts{"--combine"};
    for (const int k : {2, 1, 3})
        parts.push_back(dir.file("dpart" + std::to_string(k),
                                 run(with(args, {"--part", std::to_string(k) + "/3", table})).out));
    expect_runs({{parts, one.out}});

    const auto mantel = run({"--distances", d, "--distances", d, "--test", "mantel", "-s", "1"});
    EXPECT_NE(mantel.out.find("\n0.001\t") + mantel.out.find("\t0.001\t"), std::string::npos)
        << mantel.out << mantel.err;
    const auto other = dir.file("e.phy", "2\na0 0 1\nzz 1 0\n");
    const auto test = [&](const std::string& matrix, const std::string& t) {
        return std::vector<std::string>{"--distances", matrix,  "--test",    "anosim", "--header",
                                        "--fixed",     "taxon", "--permute", "group",  t};
    };
    expect_runs({
        fails(test(dir.file("skew.phy", matrix_text(true)), table),
              "labmix: " + dir.path("skew.phy") +
                  ": the matrix is not symmetric: the distance from \"a2\" to \"a7\" is 9, back "
                  "1.5 (they must agree within 1e-9 of the larger)\n"),
        fails(test(dir.file("nan.phy", matrix_text(false, true)), table),
              "labmix: " + dir.path("nan.phy") +
                  ": line 6: taxon 4 (a4), column 5: expected a real literal, found \"N\" "
                  "(\"NaN\": a missing value, not a number)\n"),
        fails(test(other, table), "labmix: " + other + ": taxon \"zz\" is not in " + table +
                                      ": every taxon of the matrix must be on a row of the "
                                      "table\n"),
        fails(test(d, dir.file("twice.tsv", groups_text() + "a3\tg1\ts0\n")),
              "labmix: " + dir.path("twice.tsv") +
                  ": taxon \"a3\" is on two rows (4 and 31 of the rows taken); a taxon must be "
                  "on one\n"),
        fails({"--distances", d, "--distances", other, "--test", "mantel"},
              "labmix: " + d + ": taxon \"a1\" is not in " + other +
                  " (nor are 28 more): the two matrices of a Mantel test must hold the same "
                  "taxa\n"),
    });
}

// --pairwise: a pair's lines are the test of those two groups alone, seeded with the pair's
// seed, whatever other groups the table holds. --exact: one report on any threads and over
// parts; its limit and the note on a Monte Carlo test of few arrangements.
TEST(LabmixTest, PairwiseAndExactTests) {
    const scratch dir;
    const auto text = table_text();
    std::string pair_only = "taxon\tfamily\thabitat\tsite\n", without_h3 = pair_only;
    for (std::size_t at = text.find('\n') + 1; at < text.size();) {
        const auto end = text.find('\n', at) + 1;
        const auto line = text.substr(at, end - at);
        if (line.find("\tH0\t") != std::string::npos || line.find("\tH1\t") != std::string::npos)
            pair_only += line;
        if (line.find("\tH3\t") == std::string::npos) without_h3 += line;
        at = end;
    }
    const std::vector<std::string> args{"--header", "--fixed",  "family", "--permute", "habitat",
                                        "--test",   "chi2,ari", "-n",     "200"};
    // The first `count` fields of the first line of `report` that holds `part`.
    const auto fields = [](const std::string& report, const std::string& part, std::size_t count) {
        const std::size_t at = report.rfind('\n', report.find(part)) + 1;
        std::size_t end = at;
        for (std::size_t i = 0; i < count; ++i) end = report.find('\t', end) + 1;
        return report.substr(at, end - at);
    };
    const auto all = run(with(args, {"--pairwise", "-s", "5", dir.file("all.tsv", text)}));
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 13); // 6 pairs, 2 statistics
    EXPECT_NE(all.out.find("\tH0\tH1\t"), std::string::npos) << all.out;
    const auto seed = std::to_string(phylo::permutation::pair_seed(5, "H1", "H0"));
    const auto alone = run(with(args, {"-s", seed, dir.file("pair.tsv", pair_only)}));
    EXPECT_EQ(fields(all.out, "\tH0\tH1\t", 11), fields(alone.out, "\nchi2\t", 11));
    const auto fewer = run(with(args, {"--pairwise", "-s", "5", dir.file("h3.tsv", without_h3)}));
    EXPECT_EQ(fields(all.out, "\tH1\tH2\t", 12), fields(fewer.out, "\tH1\tH2\t", 12));

    const auto small = dir.file("small.tsv", "taxon\tfamily\thabitat\tsite\n"
                                             "a\tF1\tH1\tS1\nb\tF1\tH2\tS1\nc\tF2\tH1\tS1\n"
                                             "d\tF2\tH2\tS2\ne\tF1\tH3\tS2\nf\tF2\tH3\tS2\n"
                                             "g\tF1\tH1\tS2\nh\tF2\tH2\tS1\n");
    const std::vector<std::string> exact{"--header", "--fixed", "family",    "--permute",
                                         "habitat",  "--test",  "chi2,ari",  "--exact",
                                         "--strata", "site",    "--pairwise"};
    const auto whole = run(with(exact, {"--threads", "1", small}));
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_NE(whole.out.find("\tp_holm\tp_bh\tmethod\n"), std::string::npos) << whole.out;
    EXPECT_NE(whole.out.find("\texact\n"), std::string::npos);
    EXPECT_EQ(run(with(exact, {"--threads", "2", small})).out, whole.out);
    std::vector<std::string> parts{"--combine"};
    for (const int k : {2, 1})
        parts.push_back(
            dir.file("epart" + std::to_string(k),
                     run(with(exact, {"--part", std::to_string(k) + "/2", small})).out));
    expect_runs({
        {parts, whole.out},
        fails(with(exact, {"--exact-limit", "1", small}),
              "labmix: exact test: pair H1, H2: --exact would walk more than --exact-limit 1 "
              "tables with the observed margins; raise --exact-limit (at most 2147483647) or "
              "leave out --exact for a Monte Carlo test of random reshuffles (-n)\n"),
        fails(with(exact, {"-n", "9", small}),
              "labmix: option error: option -n does not go with --exact: an exact test walks "
              "every arrangement, however many there are\n"),
    });
    const auto note = run({"--header", "--test", "chi2", "-s", "1", small});
    EXPECT_EQ(note.err, "labmix: only 70 tables with the observed margins exist, fewer than the "
                        "999 reshuffles: --exact gives the exact p-value\n");
}
