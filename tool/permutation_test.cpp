#include <tool/permutation_test.hpp>

#include <tool/strata.hpp>

#include <generics/errors.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace labmix {

std::uint64_t stream_seed(std::uint64_t seed, std::int64_t k) {
    std::uint64_t z = (seed << 32 | static_cast<std::uint64_t>(k)) + 0x9e3779b97f4a7c15u;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

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
struct permutation_test::workspace {
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

permutation_test::permutation_test(test_columns columns, std::vector<statistic> statistics,
                                   std::optional<draw_method> method)
    : columns_(std::move(columns)), statistics_(std::move(statistics)) {
    const auto n = static_cast<std::int64_t>(columns_.fixed.length());
    if (columns_.permuted.length() != n ||
        (!columns_.strata.empty() && columns_.strata.length() != n))
        throw generics::range_error("the columns of a test differ in length");
    rows_ = groups_of(columns_.fixed);
    columns_n_ = groups_of(columns_.permuted);
    defined_ = rows_ >= 2 && columns_n_ >= 2;
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

    // The strata: their rows, and the groups of each side present in each.
    const std::int64_t strata_count = columns_.strata.empty() ? 1 : groups_of(columns_.strata);
    strata_.resize(static_cast<std::size_t>(strata_count));
    if (strata_count > 1)
        for (std::int64_t i = 0; i < n; ++i)
            strata_[static_cast<std::size_t>(columns_.strata.data()[i])].rows.push_back(
                static_cast<std::uint32_t>(i));
    std::vector<stratum_shape> shapes;
    std::vector<std::int64_t> local_of_row(static_cast<std::size_t>(rows_), -1);
    std::vector<std::int64_t> local_of_column(static_cast<std::size_t>(columns_n_), -1);
    std::vector<std::vector<std::int64_t>> sums(strata_.size() * 2);
    for (std::size_t s = 0; s < strata_.size(); ++s) {
        auto& st = strata_[s];
        auto& row_sums = sums[2 * s];
        auto& column_sums = sums[2 * s + 1];
        const auto visit = [&](std::uint32_t i) {
            const auto a = static_cast<std::size_t>(columns_.fixed.data()[i]);
            const auto b = static_cast<std::size_t>(columns_.permuted.data()[i]);
            if (local_of_row[a] < 0) {
                local_of_row[a] = static_cast<std::int64_t>(st.fixed.size());
                st.fixed.push_back(static_cast<std::uint32_t>(a));
                row_sums.push_back(0);
            }
            if (local_of_column[b] < 0) {
                local_of_column[b] = static_cast<std::int64_t>(st.columns.size());
                st.columns.push_back(static_cast<std::uint32_t>(b));
                column_sums.push_back(0);
            }
            ++row_sums[static_cast<std::size_t>(local_of_row[a])];
            ++column_sums[static_cast<std::size_t>(local_of_column[b])];
        };
        if (strata_.size() == 1)
            for (std::int64_t i = 0; i < n; ++i) visit(static_cast<std::uint32_t>(i));
        else
            for (const auto i : st.rows) visit(i);
        for (const auto a : st.fixed) local_of_row[a] = -1;
        for (const auto b : st.columns) local_of_column[b] = -1;
        shapes.push_back({strata_.size() == 1 ? n : static_cast<std::int64_t>(st.rows.size()),
                          static_cast<std::int64_t>(st.fixed.size()),
                          static_cast<std::int64_t>(st.columns.size())});
    }
    if (strata_count > 1) {
        std::vector<std::uint32_t> of_row(columns_.strata.span().begin(),
                                          columns_.strata.span().end());
        strata_labels_.emplace(of_row, static_cast<std::size_t>(strata_count));
    }
    method_ = method ? *method : choose_method(shapes, rows_ * columns_n_);
    if (!dense_) method_ = draw_method::permute_labels;
    if (method_ == draw_method::draw_table)
        for (std::size_t s = 0; s < strata_.size(); ++s)
            strata_[s].sampler.emplace(sums[2 * s], sums[2 * s + 1]);
}

std::int64_t permutation_test::taxa() const noexcept { return columns_.fixed.length(); }
std::int64_t permutation_test::fixed_groups() const noexcept { return rows_; }
std::int64_t permutation_test::permuted_groups() const noexcept { return columns_n_; }

void permutation_test::measure(std::span<const std::uint32_t> counts, workspace& w,
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

std::vector<double> permutation_test::observed() const {
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

void permutation_test::reshuffle(std::uint64_t seed, std::int64_t k, workspace& w,
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

void permutation_test::draw_together(std::uint64_t seed, std::int64_t k, workspace& w,
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

void permutation_test::for_each_null(
    std::uint64_t seed, std::int64_t first, std::int64_t last, unsigned threads,
    const std::function<void(std::int64_t, std::span<const double>)>& consume) const {
    const std::size_t width = statistics_.size();
    const std::int64_t count = std::max<std::int64_t>(0, last - first + 1);
    if (count == 0) return;
    if (!defined_) {
        const std::vector<double> nan(width, std::numeric_limits<double>::quiet_NaN());
        for (std::int64_t k = first; k <= last; ++k) consume(k, nan);
        return;
    }
    // Workers draw blocks of reshuffles into a ring of slots; this thread hands the blocks to
    // `consume` in order. A worker more than the ring ahead of the consumer waits, so memory
    // does not grow with the number of reshuffles.
    constexpr std::int64_t block = 8;
    const std::int64_t blocks = (count + block - 1) / block;
    const auto workers = static_cast<std::int64_t>(std::clamp<std::int64_t>(threads, 1, blocks));
    const std::int64_t ring = 4 * workers;
    std::vector<double> slots(static_cast<std::size_t>(ring * block) * width);
    std::vector<std::int64_t> holds(static_cast<std::size_t>(ring), -1); // the block in a slot
    std::mutex lock;
    std::condition_variable changed;
    std::int64_t delivered = 0; // blocks handed to consume
    std::int64_t claimed = 0;
    bool stop = false;
    std::exception_ptr failure;
    // Unstratified tables are drawn several at a time, which overlaps their draws.
    const bool together = method_ == draw_method::draw_table && strata_.size() == 1;
    const auto work = [&] {
        try {
            workspace w;
            if (method_ == draw_method::permute_labels) w.labels = columns_.permuted;
            if (dense_)
                for (std::size_t t = 0; t < (together ? tables_together : 1); ++t)
                    w.counts[t].assign(static_cast<std::size_t>(rows_ * columns_n_), 0);
            for (;;) {
                std::int64_t b = 0;
                {
                    std::unique_lock guard(lock);
                    if (stop || claimed == blocks) return;
                    b = claimed++;
                    changed.wait(guard, [&] { return stop || b < delivered + ring; });
                    if (stop) return;
                }
                const auto slot = static_cast<std::size_t>(b % ring);
                double* out = slots.data() + slot * static_cast<std::size_t>(block) * width;
                const std::int64_t from = b * block;
                const std::int64_t end = std::min(count, from + block);
                for (std::int64_t i = from; i < end;) {
                    double* at = out + static_cast<std::size_t>(i - from) * width;
                    if (together && i + std::int64_t{tables_together} <= end) {
                        draw_together(seed, first + i, w, at);
                        i += std::int64_t{tables_together};
                    } else {
                        reshuffle(seed, first + i, w, at);
                        ++i;
                    }
                }
                {
                    const std::lock_guard guard(lock);
                    holds[slot] = b;
                }
                changed.notify_all();
            }
        } catch (...) {
            {
                const std::lock_guard guard(lock);
                if (!failure) failure = std::current_exception();
                stop = true;
            }
            changed.notify_all();
        }
    };
    std::vector<std::jthread> pool;
    try {
        for (std::int64_t t = 0; t < workers; ++t) pool.emplace_back(work);
        for (std::int64_t b = 0; b < blocks; ++b) {
            const auto slot = static_cast<std::size_t>(b % ring);
            {
                std::unique_lock guard(lock);
                changed.wait(guard, [&] { return stop || holds[slot] == b; });
                if (stop) break;
            }
            const double* in = slots.data() + slot * static_cast<std::size_t>(block) * width;
            for (std::int64_t i = b * block; i < std::min(count, (b + 1) * block); ++i)
                consume(first + i,
                        std::span<const double>(
                            in + static_cast<std::size_t>(i - b * block) * width, width));
            {
                const std::lock_guard guard(lock);
                delivered = b + 1;
            }
            changed.notify_all();
        }
    } catch (...) {
        {
            const std::lock_guard guard(lock);
            stop = true;
        }
        changed.notify_all();
        pool.clear(); // joins
        throw;
    }
    pool.clear();
    if (failure) std::rethrow_exception(failure);
}

std::vector<double> permutation_test::null_values(std::uint64_t seed, std::int64_t first,
                                                  std::int64_t last, unsigned threads) const {
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(std::max<std::int64_t>(0, last - first + 1)) *
                   statistics_.size());
    for_each_null(seed, first, last, threads, [&values](std::int64_t, std::span<const double> v) {
        values.insert(values.end(), v.begin(), v.end());
    });
    return values;
}

} // namespace labmix
