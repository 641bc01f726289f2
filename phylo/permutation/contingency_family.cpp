#include <phylo/permutation/contingency_family.hpp>

#include <phylo/permutation/enumeration.hpp>
#include <phylo/permutation/random.hpp>

#include <generics/errors.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

namespace phylo::permutation {

draw_method choose_method(std::span<const stratum_shape> strata, std::int64_t dense_cells) {
    double table = 0.0;
    double permute = static_cast<double>(dense_cells);
    for (const auto& s : strata) {
        const double cells = static_cast<double>(s.rows) * static_cast<double>(s.columns);
        table += cells * (10.0 + std::sqrt(static_cast<double>(s.taxa) / cells));
        permute += static_cast<double>(s.taxa);
    }
    return table < permute ? draw_method::draw_table : draw_method::permute_labels;
}

// What one thread needs to draw and measure reshuffles; made once per thread.
struct contingency_test::workspace {
    // One of each for every table drawn together (draw_together); one reshuffle uses the first.
    std::array<stream_random, tables_together> random;
    phylo::count_array labels; // the permuted column of the reshuffle
    std::array<std::vector<std::uint32_t>, tables_together> counts; // dense tables, row-major
    std::vector<std::uint32_t> local;                               // one stratum's table
    std::array<std::vector<std::int64_t>, tables_together> left;    // the table sampler's scratch
    phylo::taxonomy::contingency_table table; // the sparse table, when a dense one is too big
};

namespace {

std::int64_t groups_of(const phylo::count_array& codes) {
    std::int64_t groups = 0;
    for (const auto g : codes.span()) groups = std::max<std::int64_t>(groups, std::int64_t{g} + 1);
    return groups;
}

} // namespace

contingency_test::contingency_test(contingency_columns columns, std::vector<statistic> statistics,
                                   std::optional<draw_method> method)
    : columns_(std::move(columns)), statistics_(std::move(statistics)) {
    const auto n = static_cast<std::int64_t>(columns_.fixed.length());
    if (columns_.permuted.length() != n ||
        (!columns_.strata.empty() && columns_.strata.length() != n))
        throw generics::range_error("the columns of a test differ in length");
    rows_ = groups_of(columns_.fixed);
    columns_n_ = groups_of(columns_.permuted);
    defined_ = rows_ >= 2 && columns_n_ >= 2;
    if (method == draw_method::enumerate_tables) {
        method_ = *method;
        arrangements_ = 1;
    }
    if (!defined_) return;

    phylo::taxonomy::contingency_table margins;
    margins.n = n;
    margins.row_sums.assign(static_cast<std::size_t>(rows_), 0);
    margins.column_sums.assign(static_cast<std::size_t>(columns_n_), 0);
    for (const auto g : columns_.fixed.span()) ++margins.row_sums[static_cast<std::size_t>(g)];
    for (const auto g : columns_.permuted.span())
        ++margins.column_sums[static_cast<std::size_t>(g)];
    measurer_.emplace(margins);
    // Dense counts of 4 bytes a cell while they stay within a few times the columns' size.
    dense_ = rows_ * columns_n_ <= 4 * n + 65536;

    strata_ = strata_of(columns_, rows_, columns_n_);
    const auto strata_count = static_cast<std::int64_t>(strata_.size());
    std::vector<stratum_shape> shapes;
    for (const auto& st : strata_)
        shapes.push_back({strata_.size() == 1 ? n : static_cast<std::int64_t>(st.rows.size()),
                          static_cast<std::int64_t>(st.fixed.size()),
                          static_cast<std::int64_t>(st.columns.size())});
    if (strata_count > 1) {
        std::vector<std::uint32_t> of_row(columns_.strata.span().begin(),
                                          columns_.strata.span().end());
        strata_labels_.emplace(of_row, static_cast<std::size_t>(strata_count));
    }
    if (method_ == draw_method::enumerate_tables) {
        constexpr std::uint64_t most = std::numeric_limits<std::int32_t>::max();
        std::uint64_t total = 1;
        for (auto& st : strata_) {
            const auto count = table_count(st.row_sums, st.column_sums, most);
            if (!dense_ || !count || *count * total > most)
                throw generics::range_error("more than 2147483647 tables to walk");
            total *= *count;
            for_each_table(st.row_sums, st.column_sums,
                           [&st](std::span<const std::uint32_t> cells, double log_weight) {
                               st.tables.insert(st.tables.end(), cells.begin(), cells.end());
                               st.log_weights.push_back(log_weight);
                           });
        }
        arrangements_ = static_cast<std::int64_t>(total);
        return;
    }
    method_ = method ? *method : choose_method(shapes, rows_ * columns_n_);
    if (!dense_) method_ = draw_method::permute_labels;
    if (method_ == draw_method::draw_table)
        for (auto& st : strata_) st.sampler.emplace(st.row_sums, st.column_sums);
}

std::vector<contingency_test::stratum>
contingency_test::strata_of(const contingency_columns& columns, std::int64_t rows,
                            std::int64_t columns_n) {
    const auto n = static_cast<std::int64_t>(columns.fixed.length());
    const std::int64_t count = columns.strata.empty() ? 1 : groups_of(columns.strata);
    std::vector<stratum> strata(static_cast<std::size_t>(count));
    if (count > 1)
        for (std::int64_t i = 0; i < n; ++i)
            strata[static_cast<std::size_t>(columns.strata.data()[i])].rows.push_back(
                static_cast<std::uint32_t>(i));
    std::vector<std::int64_t> local_of_row(static_cast<std::size_t>(rows), -1);
    std::vector<std::int64_t> local_of_column(static_cast<std::size_t>(columns_n), -1);
    for (auto& st : strata) {
        const auto visit = [&](std::uint32_t i) {
            const auto a = static_cast<std::size_t>(columns.fixed.data()[i]);
            const auto b = static_cast<std::size_t>(columns.permuted.data()[i]);
            if (local_of_row[a] < 0) {
                local_of_row[a] = static_cast<std::int64_t>(st.fixed.size());
                st.fixed.push_back(static_cast<std::uint32_t>(a));
                st.row_sums.push_back(0);
            }
            if (local_of_column[b] < 0) {
                local_of_column[b] = static_cast<std::int64_t>(st.columns.size());
                st.columns.push_back(static_cast<std::uint32_t>(b));
                st.column_sums.push_back(0);
            }
            ++st.row_sums[static_cast<std::size_t>(local_of_row[a])];
            ++st.column_sums[static_cast<std::size_t>(local_of_column[b])];
        };
        if (count == 1)
            for (std::int64_t i = 0; i < n; ++i) visit(static_cast<std::uint32_t>(i));
        else
            for (const auto i : st.rows) visit(i);
        for (const auto a : st.fixed) local_of_row[a] = -1;
        for (const auto b : st.columns) local_of_column[b] = -1;
    }
    return strata;
}

std::int64_t contingency_test::taxa() const noexcept { return columns_.fixed.length(); }
std::int64_t contingency_test::fixed_groups() const noexcept { return rows_; }
std::int64_t contingency_test::permuted_groups() const noexcept { return columns_n_; }

void contingency_test::measure(std::span<const std::uint32_t> counts, workspace& w,
                               double* out) const {
    phylo::taxonomy::association_measures m{};
    if (dense_) {
        m = measurer_->dense(counts);
    } else {
        phylo::taxonomy::contingency(columns_.fixed, w.labels, w.table);
        m = (*measurer_)(w.table.cells);
    }
    for (std::size_t i = 0; i < statistics_.size(); ++i) out[i] = value_of(m, statistics_[i]);
}

namespace {

void count_cells(const phylo::count_array& fixed, const phylo::count_array& permuted,
                 std::int64_t columns, std::vector<std::uint32_t>& counts) {
    std::fill(counts.begin(), counts.end(), 0u);
    const auto* a = fixed.data();
    const auto* b = permuted.data();
    const auto n = static_cast<std::size_t>(fixed.length());
    const auto c = static_cast<std::size_t>(columns);
    std::uint32_t* table = counts.data();
    for (std::size_t i = 0; i < n; ++i)
        ++table[static_cast<std::size_t>(a[i]) * c + static_cast<std::size_t>(b[i])];
}

} // namespace

std::vector<double> contingency_test::observed() const {
    if (!defined_)
        return std::vector<double>(statistics_.size(), std::numeric_limits<double>::quiet_NaN());
    workspace w;
    w.labels = columns_.permuted;
    if (dense_) {
        w.counts[0].assign(static_cast<std::size_t>(rows_ * columns_n_), 0);
        count_cells(columns_.fixed, w.labels, columns_n_, w.counts[0]);
    }
    std::vector<double> out(statistics_.size());
    measure(w.counts[0], w, out.data());
    return out;
}

void contingency_test::reshuffle(std::uint64_t seed, std::int64_t k, workspace& w,
                                 double* out) const {
    auto& random = w.random[0];
    auto& counts = w.counts[0];
    random.reset(stream_seed(seed, k));
    if (method_ == draw_method::draw_table) {
        const auto uniform = [&random] { return random.uniform(); };
        if (strata_.size() == 1) {
            strata_[0].sampler->draw(uniform, counts, w.left[0]);
        } else {
            std::fill(counts.begin(), counts.end(), 0u);
            const auto c = static_cast<std::size_t>(columns_n_);
            for (const auto& st : strata_) {
                w.local.resize(st.sampler->cells());
                st.sampler->draw(uniform, w.local, w.left[0]);
                const std::size_t local_columns = st.columns.size();
                for (std::size_t i = 0; i < st.fixed.size(); ++i)
                    for (std::size_t j = 0; j < local_columns; ++j)
                        counts[st.fixed[i] * c + st.columns[j]] += w.local[i * local_columns + j];
            }
        }
    } else {
        std::copy(columns_.permuted.span().begin(), columns_.permuted.span().end(),
                  w.labels.data());
        if (strata_.size() == 1) {
            auto* a = w.labels.data();
            for (auto i = static_cast<std::uint32_t>(w.labels.length()); i > 1; --i)
                std::swap(a[i - 1], a[random.below(i)]);
        } else {
            strata_labels_->shuffle(w.labels,
                                    [&random](std::uint32_t n) { return random.below(n); });
        }
        if (dense_) count_cells(columns_.fixed, w.labels, columns_n_, counts);
    }
    measure(counts, w, out);
}

void contingency_test::draw_together(std::uint64_t seed, std::int64_t k, workspace& w,
                                     double* out) const {
    struct uniform_of {
        stream_random* random;
        double operator()() const noexcept { return random->uniform(); }
    };
    std::array<uniform_of, tables_together> uniforms;
    std::array<std::span<std::uint32_t>, tables_together> tables;
    for (std::size_t t = 0; t < tables_together; ++t) {
        w.random[t].reset(stream_seed(seed, k + static_cast<std::int64_t>(t)));
        uniforms[t] = {&w.random[t]};
        std::fill(w.counts[t].begin(), w.counts[t].end(), 0u);
        tables[t] = w.counts[t];
    }
    strata_[0].sampler->add_draws(std::span(uniforms), tables, std::span(w.left));
    for (std::size_t t = 0; t < tables_together; ++t)
        measure(w.counts[t], w, out + t * statistics_.size());
}

// A thread's drawer: its workspace, and unstratified tables drawn several at a time, which
// overlaps their draws.
class contingency_test::table_drawer final : public null_family::drawer {
public:
    explicit table_drawer(const contingency_test& test)
        : test_(test),
          together_(test.method_ == draw_method::draw_table && test.strata_.size() == 1) {
        if (test.method_ == draw_method::permute_labels) w_.labels = test.columns_.permuted;
        if (test.dense_)
            for (std::size_t t = 0; t < (together_ ? tables_together : 1); ++t)
                w_.counts[t].assign(static_cast<std::size_t>(test.rows_ * test.columns_n_), 0);
    }

    void draw(std::uint64_t seed, std::int64_t k, std::int64_t count, double* out) override {
        const std::size_t width = test_.statistics_.size();
        for (std::int64_t i = 0; i < count;) {
            double* at = out + static_cast<std::size_t>(i) * width;
            if (together_ && i + std::int64_t{tables_together} <= count) {
                test_.draw_together(seed, k + i, w_, at);
                i += std::int64_t{tables_together};
            } else {
                test_.reshuffle(seed, k + i, w_, at);
                ++i;
            }
        }
    }

private:
    const contingency_test& test_;
    bool together_;
    workspace w_;
};

// A thread's walk over the combinations of stratum tables.
class contingency_test::exact_drawer final : public null_family::drawer {
public:
    explicit exact_drawer(const contingency_test& test)
        : test_(test), counts_(static_cast<std::size_t>(test.rows_ * test.columns_n_)),
          which_(test.strata_.size()) {}

    void draw(std::uint64_t, std::int64_t k, std::int64_t count, double* out) override {
        const std::size_t statistics = test_.statistics_.size();
        const auto c = static_cast<std::size_t>(test_.columns_n_);
        for (std::int64_t j = 0; j < count; ++j) {
            auto rank = static_cast<std::uint64_t>(k + j - 1);
            for (std::size_t s = test_.strata_.size(); s-- > 0;) {
                const auto tables = test_.strata_[s].log_weights.size();
                which_[s] = rank % tables;
                rank /= tables;
            }
            std::fill(counts_.begin(), counts_.end(), 0u);
            double log_weight = 0.0;
            for (std::size_t s = 0; s < test_.strata_.size(); ++s) {
                const auto& st = test_.strata_[s];
                const std::size_t local_columns = st.columns.size();
                const std::uint32_t* table =
                    st.tables.data() + which_[s] * st.fixed.size() * local_columns;
                for (std::size_t i = 0; i < st.fixed.size(); ++i)
                    for (std::size_t m = 0; m < local_columns; ++m)
                        counts_[st.fixed[i] * c + st.columns[m]] += table[i * local_columns + m];
                log_weight += st.log_weights[which_[s]];
            }
            double* at = out + static_cast<std::size_t>(j) * (statistics + 1);
            test_.measure(counts_, w_, at);
            at[statistics] = std::exp(log_weight);
        }
    }

private:
    const contingency_test& test_;
    std::vector<std::uint32_t> counts_;
    std::vector<std::size_t> which_;
    workspace w_;
};

std::optional<std::uint64_t>
contingency_test::table_combinations(const contingency_columns& columns, std::uint64_t cap) {
    const auto rows = groups_of(columns.fixed), columns_n = groups_of(columns.permuted);
    if (rows < 2 || columns_n < 2) return 1; // undefined: the table itself
    std::uint64_t total = 1;
    for (const auto& st : strata_of(columns, rows, columns_n)) {
        const auto count = table_count(st.row_sums, st.column_sums, cap);
        std::uint64_t product = 0;
        if (!count || __builtin_mul_overflow(total, *count, &product) || product > cap)
            return std::nullopt;
        total = product;
    }
    return total;
}

std::unique_ptr<null_family::drawer> contingency_test::make_drawer() const {
    if (exact()) return std::make_unique<exact_drawer>(*this);
    return std::make_unique<table_drawer>(*this);
}

} // namespace phylo::permutation
