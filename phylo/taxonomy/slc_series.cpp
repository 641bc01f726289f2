#include <phylo/taxonomy/slc_series.hpp>

#include <phylo/count_chars.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace phylo::taxonomy {

namespace {

using count_size_error = count_chars::size_error;

} // namespace

void slc_series(const pairwise_distances& pairs, double start, double step, count_vector& series) {
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

    // cluster[k] is the cluster number of taxon first + k: 0 outside any cluster, else 1 .. c.
    const index_type first = model->first();
    const index_type last = model->last();
    std::vector<count_element> cluster(static_cast<std::size_t>(model->length()), 0);
    count_element clusters = 0;
    index_type cursor = pairs.first();
    double threshold = start;
    for (index_type r = series.first(); r <= series.last(); ++r) {
        for (; cursor <= pairs.last() && pairs.unchecked(cursor).distance <= threshold; ++cursor) {
            const auto& pair = pairs.unchecked(cursor);
            for (const index_type taxon :
                 {index_type{pair.first_taxon}, index_type{pair.second_taxon}})
                if (taxon < first || taxon > last)
                    throw range_error("pair " + std::to_string(cursor) + " names taxon " +
                                      std::to_string(taxon) + ", outside the taxa " +
                                      std::to_string(first) + " .. " + std::to_string(last));
            // A taxon paired with itself joins nothing: it is in its own group anyway.
            if (pair.first_taxon == pair.second_taxon) continue;
            auto& gi = cluster[static_cast<std::size_t>(pair.first_taxon - first)];
            auto& gj = cluster[static_cast<std::size_t>(pair.second_taxon - first)];
            if (gi == gj) {
                if (gi == 0) gi = gj = ++clusters;
            } else if (gi == 0) {
                gi = gj;
            } else if (gj == 0) {
                gj = gi;
            } else {
                // Keep cluster numbers contiguous: the higher number goes, those above it move
                // down.
                const count_element low = gi < gj ? gi : gj;
                const count_element high = gi < gj ? gj : gi;
                for (auto& g : cluster) {
                    if (g == high)
                        g = low;
                    else if (g > high)
                        --g;
                }
                --clusters;
            }
        }
        count_array& row = *series.unchecked(r);
        count_element singleton = clusters;
        for (std::size_t k = 0; k < cluster.size(); ++k)
            row.data()[k] = cluster[k] != 0 ? cluster[k] - 1 : singleton++;
        threshold += step;
    }
}

} // namespace phylo::taxonomy
