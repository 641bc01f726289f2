#include <tool/test_sources.hpp>

#include <tool/distance_input.hpp>
#include <tool/header.hpp>
#include <tool/run.hpp>

#include <phylo/distance/matrix_file.hpp>
#include <phylo/permutation/contingency_family.hpp>
#include <phylo/permutation/distance_family.hpp>
#include <phylo/permutation/enumeration.hpp>
#include <phylo/permutation/report.hpp>

#include <phylo/taxonomy/label_numbers.hpp>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <numeric>
#include <span>
#include <utility>

namespace labmix {

using phylo::permutation::family;
using phylo::permutation::fingerprint;
using phylo::permutation::report_tags;
using phylo::permutation::statistic;
using phylo::permutation::tag_name;
using phylo::permutation::test_method;

namespace {

// The columns of a test as group numbers, read row by row (the table itself is never kept),
// and the fingerprint of their fields when a part needs it.
struct read_test {
    std::vector<phylo::count_element> fixed, permuted, strata;
    std::vector<std::string> header; // with --header
    std::string name;                // what messages call the table
    // With `keep_taxa`: the fixed column's label of every row taken, and of every row left out
    // for a missing label.
    std::vector<std::string> taxa, left_out;
    std::vector<std::string> permuted_names; // of the permuted column's group numbers
    std::uint64_t fingerprint = 0;
};

// `keep_taxa`: the fixed column names the taxa (a test of distances), so it is no grouping.
read_test read_columns(settings& s, bool with_fingerprint, bool keep_taxa, std::ostream& notes) {
    read_test result;
    fingerprint print;
    // Each column numbers its labels 0, 1, ... in order of first appearance.
    std::array<phylo::taxonomy::label_numbers, 3> coders;
    std::array<std::vector<phylo::count_element>*, 3> codes = {&result.fixed, &result.permuted,
                                                               &result.strata};
    std::array<std::vector<std::uint32_t>, 3> numbers;
    const auto read = read_used_columns(
        s,
        [&](std::span<const std::string_view> picked) {
            for (std::size_t k = 0; k < picked.size(); ++k) {
                const auto n = coders[k].add(picked[k]);
                numbers[k].push_back(n);
                codes[k]->push_back(static_cast<phylo::count_element>(n));
                if (with_fingerprint) print.add_field(picked[k]);
            }
        },
        [&](std::span<const std::string_view> picked) {
            if (keep_taxa) result.left_out.emplace_back(picked[0]);
        });
    result.name = read.name;
    if (read.rows == 0)
        throw empty_table_error(read.name + " has no taxa" +
                                (s.header ? " below its header line" : "") +
                                ", so there is nothing to test");
    if (!s.quiet) {
        std::array<std::vector<std::string_view>, 3> distinct;
        std::vector<used_column> used;
        const std::array<index_type, 3> columns = {s.fixed_column, s.permuted_column,
                                                   s.strata_column.value_or(0)};
        for (std::size_t k = 0; k < (s.strata_column ? 3u : 2u); ++k) {
            for (std::uint32_t n = 0; n < coders[k].size(); ++n)
                distinct[k].push_back(coders[k].label(n));
            used.push_back({column_called(columns[k], read.header), numbers[k], distinct[k],
                            !(keep_taxa && k == 0)});
        }
        // The fixed and the permuted column may be one column: it is said once.
        if (s.fixed_column == s.permuted_column) used.erase(used.begin() + 1);
        for (const auto& line : column_warnings(s, read, used)) notes << "labmix: " << line << '\n';
    }
    if (keep_taxa)
        for (const auto n : numbers[0]) result.taxa.emplace_back(coders[0].label(n));
    for (std::uint32_t n = 0; n < coders[1].size(); ++n)
        result.permuted_names.emplace_back(coders[1].label(n));
    result.header = read.header;
    result.fingerprint = print.value();
    return result;
}

// How messages and the report call column `column` of the table read.
std::string called(const settings& s, const read_test& read, index_type column) {
    const auto& names = read.header;
    if (s.header && static_cast<std::size_t>(column) < names.size())
        return tag_name(names[static_cast<std::size_t>(column)]);
    return std::to_string(column + 1);
}

// The note on a test whose statistics are all undefined.
std::string undefined_note(const std::string& why) {
    return "labmix: every statistic is undefined, so it is NaN: " + why;
}

// Group numbers 0, 1, ... in order of first appearance of `codes[rows[i]]`, i = 0, 1, ...
phylo::count_array renumbered(const std::vector<phylo::count_element>& codes,
                              std::span<const std::size_t> rows) {
    if (codes.empty() || rows.empty()) return phylo::count_array();
    std::vector<phylo::count_element> number(codes.size() + 1, -1);
    std::vector<phylo::count_element> result;
    phylo::count_element next = 0;
    for (const auto r : rows) {
        auto& n = number[static_cast<std::size_t>(codes[r])];
        if (n < 0) n = next++;
        result.push_back(n);
    }
    return phylo::count_array(0, std::move(result));
}

// Everything the values of a test of distances depend on, besides the statistics, the seed and
// the reshuffles: the matrices' labels and values as tested, the groups and the strata.
std::uint64_t data_fingerprint(std::span<const phylo::squared* const> matrices,
                               std::span<const std::size_t> rows, const phylo::count_array& groups,
                               const phylo::count_array& strata) {
    fingerprint print;
    for (const auto* d : matrices) {
        const auto n = static_cast<std::size_t>(d->matrix.cols());
        for (const auto i : rows) {
            print.add_field(d->labels.data()[i]);
            for (const auto j : rows) {
                const auto bits = std::bit_cast<std::uint64_t>(d->matrix.data()[i * n + j]);
                char bytes[8];
                std::memcpy(bytes, &bits, 8);
                print.add(std::string_view(bytes, 8));
            }
        }
    }
    for (const auto* codes : {&groups, &strata}) {
        print.add_field("codes");
        for (const auto g : codes->span()) print.add_field(std::to_string(g));
    }
    return print.value();
}

phylo::count_array as_codes(std::span<const phylo::count_element> v) {
    if (v.empty()) return phylo::count_array();
    return phylo::count_array(0, std::vector<phylo::count_element>(v.begin(), v.end()));
}

std::int64_t groups_of(std::span<const phylo::count_element> codes) {
    return codes.empty() ? 0 : std::int64_t{*std::max_element(codes.begin(), codes.end())} + 1;
}

std::vector<std::uint32_t> unsigned_codes(const phylo::count_array& codes) {
    return std::vector<std::uint32_t>(codes.span().begin(), codes.span().end());
}

// The rows whose group (of `groups`) is a or b, in row order.
std::vector<std::size_t> rows_of_pair(std::span<const phylo::count_element> groups,
                                      phylo::count_element a, phylo::count_element b) {
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (groups[i] == a || groups[i] == b) rows.push_back(i);
    return rows;
}

// The pair tag of groups a < b of `names`: pairs are numbered from 1 as (0, 1), (0, 2), ...,
// (1, 2), ... in the order of the groups' first appearance.
phylo::permutation::pair_tag pair_of(const std::vector<std::string>& names, std::size_t a,
                                     std::size_t b) {
    const std::size_t g = names.size();
    const std::size_t before = a * (2 * g - a - 1) / 2 + (b - a - 1); // pairs before (a, b)
    return {static_cast<std::int32_t>(before + 1), static_cast<std::int32_t>(g * (g - 1) / 2),
            tag_name(names[a]), tag_name(names[b])};
}

// `test` built, with the note on its statistics when they are undefined.
template <class Test>
built_test built_of(std::unique_ptr<Test> test, const std::string& why_undefined) {
    built_test b;
    if (!test->defined()) b.notes.push_back(undefined_note(why_undefined));
    b.observed = test->observed();
    b.family = std::move(test);
    return b;
}

// The sources of the pairs of groups of `groups` (numbers 0 .. names.size() - 1): `make(rows,
// a, b)` makes the source of the rows of groups a and b, which is then tagged with its pair.
template <class Make>
std::vector<test_source> pair_sources(std::span<const phylo::count_element> groups,
                                      const std::vector<std::string>& names, Make&& make) {
    std::vector<test_source> sources;
    for (std::size_t a = 0; a < names.size(); ++a)
        for (std::size_t b = a + 1; b < names.size(); ++b) {
            sources.push_back(make(std::make_shared<const std::vector<std::size_t>>(
                                       rows_of_pair(groups, static_cast<phylo::count_element>(a),
                                                    static_cast<phylo::count_element>(b))),
                                   a, b));
            sources.back().identity.pair = pair_of(names, a, b);
        }
    return sources;
}

// The sources of a test of two columns, or of one per pair of the permuted column's groups.
std::vector<test_source>
contingency_sources(const settings& s, const std::vector<statistic>& statistics, read_test&& read) {
    const auto data = std::make_shared<const read_test>(std::move(read));
    const bool strata = s.strata_column.has_value();
    // The columns of the rows given, or of every row.
    const auto columns_of = [data, strata](const std::vector<std::size_t>* rows) {
        if (!rows)
            return phylo::permutation::contingency_columns{
                as_codes(data->fixed), as_codes(data->permuted), as_codes(data->strata)};
        return phylo::permutation::contingency_columns{
            renumbered(data->fixed, *rows), renumbered(data->permuted, *rows),
            strata ? renumbered(data->strata, *rows) : phylo::count_array()};
    };
    const report_tags tags{called(s, *data, s.fixed_column), called(s, *data, s.permuted_column),
                           strata ? called(s, *data, *s.strata_column) : "",
                           static_cast<std::int64_t>(data->fixed.size()), 0};
    const auto fixed_number = std::to_string(s.fixed_column + 1);
    const auto permuted_number = std::to_string(s.permuted_column + 1);
    const auto source = [&](std::shared_ptr<const std::vector<std::size_t>> rows,
                            std::string why_undefined) {
        test_source t;
        t.identity.fingerprint = data->fingerprint;
        t.identity.tags = tags;
        if (rows) t.identity.tags->taxa = static_cast<std::int64_t>(rows->size());
        t.arrangements = "tables with the observed margins";
        t.count = [columns_of, rows](std::uint64_t cap) {
            return phylo::permutation::contingency_test::table_combinations(columns_of(rows.get()),
                                                                            cap);
        };
        t.build = [columns_of, rows, statistics, why_undefined](test_method method) {
            return built_of(
                std::make_unique<phylo::permutation::contingency_test>(
                    columns_of(rows.get()), statistics,
                    method == test_method::exact
                        ? std::optional(phylo::permutation::draw_method::enumerate_tables)
                        : std::nullopt),
                why_undefined);
        };
        return t;
    };
    std::vector<test_source> sources;
    if (!s.pairwise) {
        const bool fixed_one = groups_of(data->fixed) < 2;
        sources.push_back(source(nullptr, data->fixed.empty()
                                              ? std::string("the table has no taxa")
                                              : "column " +
                                                    (fixed_one ? fixed_number : permuted_number) +
                                                    " has only one group"));
        return sources;
    }
    const auto& names = data->permuted_names;
    return pair_sources(
        data->permuted, names,
        [&](std::shared_ptr<const std::vector<std::size_t>> rows, std::size_t a, std::size_t b) {
            return source(std::move(rows), "column " + fixed_number +
                                               " has only one group among the taxa of " + names[a] +
                                               " and " + names[b]);
        });
}

// The matrices of a test of distances, their taxa and the taxa's groups and strata.
struct distance_data {
    std::vector<phylo::squared> matrices;
    std::vector<std::size_t> rows;   // the first matrix's rows of the taxa tested
    std::vector<std::size_t> second; // the second matrix's row of each of them (Mantel)
    std::vector<phylo::count_element> groups, strata; // of each taxon tested
    std::vector<std::string> group_names;             // of the group numbers
};

// Taxa `taxa` (indices into data.rows; every taxon when null) of `data`: their matrix, groups
// and strata, renumbered.
struct distance_subset {
    bool whole = false; // every taxon in the first matrix's order: no copy of it is made
    phylo::real_matrix first, second;
    phylo::count_array groups, strata;
};
distance_subset subset_of(const distance_data& data, const std::vector<std::size_t>* taxa,
                          bool mantel) {
    std::vector<std::size_t> all;
    if (!taxa) {
        all.resize(data.rows.size());
        std::iota(all.begin(), all.end(), std::size_t{0});
        taxa = &all;
    }
    distance_subset d;
    std::vector<std::size_t> rows, second;
    for (const auto i : *taxa) rows.push_back(data.rows[i]);
    const auto& matrix = data.matrices[0].matrix;
    d.whole = rows.size() == static_cast<std::size_t>(matrix.rows());
    if (!d.whole) d.first = phylo::distance::submatrix(matrix, rows);
    if (mantel) {
        for (const auto i : *taxa) second.push_back(data.second[i]);
        d.second = phylo::distance::submatrix(data.matrices[1].matrix, second);
    } else {
        d.groups = renumbered(data.groups, *taxa);
    }
    if (!data.strata.empty()) d.strata = renumbered(data.strata, *taxa);
    return d;
}

std::vector<test_source> distance_sources(settings& s, const std::vector<statistic>& statistics,
                                          bool with_fingerprint, std::ostream& notes) {
    const bool mantel = family_of(statistics.front()) == family::mantel;
    const bool table = !s.input.empty();
    // A Mantel test takes only the taxa from the fixed column; a table of one column will do.
    if (mantel && s.written.permuted.empty()) s.permuted_column = s.fixed_column;
    read_test read;
    if (table) read = read_columns(s, with_fingerprint, true, notes);
    auto data = std::make_shared<distance_data>();
    auto& matrices = data->matrices;
    for (const auto& file : s.distance_files) matrices.push_back(read_distances(s, file));
    const std::string& first_name = s.distance_files.front();
    // Every matrix in the order of the first's labels.
    std::vector<std::size_t> second_rows;
    if (mantel) second_rows = same_taxa(matrices[0], first_name, matrices[1], s.distance_files[1]);
    std::vector<std::string> lines;
    taxon_match match;
    if (table) {
        match = match_taxa(matrices[0], first_name, read.taxa, read.name, read.left_out, !mantel,
                           lines);
    } else {
        for (std::size_t i = 0; i < static_cast<std::size_t>(matrices[0].labels.length()); ++i)
            match.matrix_rows.push_back(i);
    }
    if (!s.quiet)
        for (const auto& line : lines) notes << "labmix: " << line << '\n';
    data->rows = match.matrix_rows;
    for (const auto i : data->rows)
        if (mantel) data->second.push_back(second_rows[i]);
    const auto groups = mantel ? phylo::count_array() : renumbered(read.permuted, match.table_rows);
    const auto strata =
        s.strata_column ? renumbered(read.strata, match.table_rows) : phylo::count_array();
    data->groups.assign(groups.span().begin(), groups.span().end());
    data->strata.assign(strata.span().begin(), strata.span().end());
    if (!mantel) {
        // The names of the groups as renumbered, in order of first appearance among the taxa.
        std::vector<bool> named(read.permuted_names.size());
        for (const auto r : match.table_rows) {
            const auto g = static_cast<std::size_t>(read.permuted[r]);
            if (!named[g]) data->group_names.push_back(read.permuted_names[g]);
            named[g] = true;
        }
    }
    const auto taxa = static_cast<std::int64_t>(data->rows.size());
    const std::string strata_tag = s.strata_column ? called(s, read, *s.strata_column) : "";
    const report_tags tags =
        mantel
            ? report_tags{tag_name(first_name), tag_name(s.distance_files[1]), strata_tag, taxa, 0}
            : report_tags{called(s, read, s.fixed_column), called(s, read, s.permuted_column),
                          strata_tag, taxa, 0};
    std::uint64_t print = 0;
    if (with_fingerprint) {
        const std::array<const phylo::squared*, 1> first = {&matrices[0]};
        // The second matrix is hashed in the first's order, as it is tested.
        print = data_fingerprint(first, data->rows, groups, strata);
        if (mantel) {
            const std::array<const phylo::squared*, 1> other = {&matrices[1]};
            print ^= std::rotl(data_fingerprint(other, data->second, groups, strata), 1);
        }
    }
    const std::string undefined = taxa == 0
                                      ? "no taxon of " + first_name + " has a group in " + read.name
                                      : "column " + std::to_string(s.permuted_column + 1) +
                                            " has only one group among the taxa of " + first_name;
    const auto source = [&](std::shared_ptr<const std::vector<std::size_t>> subset) {
        test_source t;
        t.identity.fingerprint = print;
        t.identity.tags = tags;
        if (subset) t.identity.tags->taxa = static_cast<std::int64_t>(subset->size());
        t.arrangements = mantel ? "orders of the taxa of " + s.distance_files[1]
                                : "assignments of the groups to the taxa";
        // What a reshuffle permutes, and the strata it permutes them within.
        const auto codes = [data, subset, mantel] {
            std::vector<std::uint32_t> codes(subset ? subset->size() : data->rows.size());
            if (mantel)
                std::iota(codes.begin(), codes.end(), 0u);
            else
                codes = unsigned_codes(subset ? renumbered(data->groups, *subset)
                                              : as_codes(data->groups));
            std::vector<std::uint32_t> strata;
            if (!data->strata.empty())
                strata = unsigned_codes(subset ? renumbered(data->strata, *subset)
                                               : as_codes(data->strata));
            return std::pair(codes, strata);
        };
        t.count = [codes](std::uint64_t cap) {
            const auto [c, strata] = codes();
            return phylo::permutation::assignment_count(c, strata, cap);
        };
        t.count_log10 = [codes] {
            const auto [c, strata] = codes();
            return phylo::permutation::assignment_count_log10(c, strata);
        };
        t.build = [data, subset, mantel, statistics, undefined](test_method method) {
            const auto d = subset_of(*data, subset.get(), mantel);
            const auto& first = d.whole ? data->matrices[0].matrix : d.first;
            if (mantel)
                return built_of(std::make_unique<phylo::permutation::mantel_test>(
                                    first, d.second, d.strata, statistics, method),
                                undefined);
            return built_of(std::make_unique<phylo::permutation::groups_test>(
                                first, d.groups, d.strata, statistics, method),
                            undefined);
        };
        return t;
    };
    std::vector<test_source> sources;
    if (!s.pairwise) {
        sources.push_back(source(nullptr));
        return sources;
    }
    return pair_sources(data->groups, data->group_names,
                        [&](std::shared_ptr<const std::vector<std::size_t>> rows, std::size_t,
                            std::size_t) { return source(std::move(rows)); });
}

} // namespace

std::vector<test_source> read_tests(settings& s, const std::vector<statistic>& statistics,
                                    bool with_fingerprint, std::ostream& notes) {
    if (family_of(statistics.front()) == family::contingency)
        return contingency_sources(s, statistics, read_columns(s, with_fingerprint, false, notes));
    return distance_sources(s, statistics, with_fingerprint, notes);
}

} // namespace labmix
