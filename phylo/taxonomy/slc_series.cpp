#include <phylo/taxonomy/slc_series.hpp>

#include <phylo/count_chars.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace phylo::taxonomy {

namespace {

using count_size_error = count_chars::size_error;

// Checks the series and the thresholds before anything is written; returns the first row,
// whose bounds every row shares.
const count_array& checked_series(const count_vector& series, double start, double step) {
    if (series.empty()) throw range_error("the series has no rows to fill");
    if (!(start >= 0.0))
        throw range_error("the start threshold is " + std::to_string(start) +
                          "; it must be non-negative");
    // The pair list is only read forwards, so a falling threshold would leave rows too coarse.
    if (!(step >= 0.0))
        throw range_error("the threshold step is " + std::to_string(step) +
                          "; it must be non-negative");
    const count_array* model = nullptr;
    for (index_type r = series.first(); r <= series.last(); ++r) {
        const auto& row = series.unchecked(r);
        if (!row) throw range_error("row " + std::to_string(r) + " of the series is null");
        if (model == nullptr) model = row.get();
        if (row->length() != model->length())
            throw count_size_error("row " + std::to_string(r) + " of the series has " +
                                   std::to_string(row->length()) + " taxa, not " +
                                   std::to_string(model->length()));
        if (!row->empty() && row->first() != model->first())
            throw range_error("row " + std::to_string(r) + " of the series starts at index " +
                              std::to_string(row->first()) + ", not " +
                              std::to_string(model->first()));
    }
    return *model;
}

// The clusters of two or more taxa that the pairs taken so far have formed, numbered
// 1 .. count() in the order in which they were formed.
class clusters {
public:
    // No clusters yet over the taxa of `row`.
    explicit clusters(const count_array& row)
        : first_(row.first()), last_(row.last()),
          cluster_(static_cast<std::size_t>(row.length()), 0) {}

    // Joins the two taxa of pair `at`; a taxon outside first .. last is the range error.
    void join(const pairwise_distance& pair, index_type at) {
        for (const index_type taxon : {index_type{pair.first_taxon}, index_type{pair.second_taxon}})
            if (taxon < first_ || taxon > last_)
                throw range_error("pair " + std::to_string(at) + " names taxon " +
                                  std::to_string(taxon) + ", outside the taxa " +
                                  std::to_string(first_) + " .. " + std::to_string(last_));
        // A taxon paired with itself joins nothing: it is in its own group anyway.
        if (pair.first_taxon == pair.second_taxon) return;
        auto& gi = cluster_[static_cast<std::size_t>(pair.first_taxon - first_)];
        auto& gj = cluster_[static_cast<std::size_t>(pair.second_taxon - first_)];
        if (gi == gj) {
            if (gi == 0) gi = gj = ++count_;
        } else if (gi == 0) {
            gi = gj;
        } else if (gj == 0) {
            gj = gi;
        } else {
            merge(gi < gj ? gi : gj, gi < gj ? gj : gi);
        }
    }

    // The partition: clusters first (0 .. count() - 1), then every taxon outside a cluster
    // as a group of its own, in taxon order.
    void write(count_array& row) const {
        count_element singleton = count_;
        for (std::size_t k = 0; k < cluster_.size(); ++k)
            row.data()[k] = cluster_[k] != 0 ? cluster_[k] - 1 : singleton++;
    }

private:
    // Cluster `high` joins cluster `low`; the numbers above `high` move down to close the gap.
    void merge(count_element low, count_element high) {
        for (auto& g : cluster_) {
            if (g == high)
                g = low;
            else if (g > high)
                --g;
        }
        --count_;
    }

    index_type first_;
    index_type last_;
    // cluster_[k] is the cluster number of taxon first_ + k, 0 outside any cluster.
    std::vector<count_element> cluster_;
    count_element count_ = 0;
};

} // namespace

void slc_series(const pairwise_distances& pairs, double start, double step, count_vector& series) {
    const count_array& model = checked_series(series, start, step);
    clusters state(model);
    index_type cursor = pairs.first();
    double threshold = start;
    for (index_type r = series.first(); r <= series.last(); ++r) {
        for (; cursor <= pairs.last() && pairs.unchecked(cursor).distance <= threshold; ++cursor)
            state.join(pairs.unchecked(cursor), cursor);
        state.write(*series.unchecked(r));
        threshold += step;
    }
}

} // namespace phylo::taxonomy
