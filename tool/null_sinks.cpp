#include <tool/null_sinks.hpp>

#include <textutils/string_edit.hpp>

#include <utility>

namespace labmix {

using phylo::permutation::null_plot;
using phylo::permutation::test_method;

null_sinks::null_sinks(const settings& s, std::span<const std::string> inputs) {
    if (s.null_file) null_file_.emplace(*s.null_file);
    if (s.plot_file) plot_file_.emplace(*s.plot_file);
    std::vector<std::pair<const char*, const output_file*>> outputs;
    if (null_file_) outputs.emplace_back("--null", &*null_file_);
    if (plot_file_) outputs.emplace_back("--plot", &*plot_file_);
    check_aliasing(outputs, inputs, !s.combine && s.input == "-");
}

void null_sinks::start(const phylo::permutation::test_identity& test) {
    statistics_ = test.statistics;
    method_ = test.method;
    tags_ = test.tags.value_or(phylo::permutation::report_tags{});
    summaries_.clear();
    for (const double x : test.observed) summaries_.emplace_back(x, method_);
    prefix_.clear();
    if (test.pair) {
        pairwise_ = true;
        textutils::append_table_field(prefix_, test.pair->group_a);
        prefix_.push_back('\t');
        textutils::append_table_field(prefix_, test.pair->group_b);
        prefix_.push_back('\t');
        pairs_.push_back({test.pair->group_a, test.pair->group_b, {}, tags_});
    }
    if (started_) return;
    started_ = true;
    if (null_file_) {
        null_file_->out().put(phylo::permutation::null_table_header_of(pairwise_, method_));
        null_file_->out().flush();
    }
    if (plot_file_) {
        plot_.emplace(test.observed);
        plot_file_->out().put(null_plot::svg_head(statistics_.size()));
        plot_file_->out().flush();
    }
}

void null_sinks::add(std::int64_t k, std::span<const double> values) {
    const std::size_t width = statistics_.size();
    const double weight = method_ == test_method::exact ? values[width] : 1.0;
    for (std::size_t i = 0; i < width; ++i) summaries_[i].add(values[i], weight);
    if (null_file_)
        phylo::permutation::write_null_line(null_file_->out(), statistics_, k, values, prefix_,
                                            method_);
    // The plot's bins wait for the extremes of all values, so the plot counts them at the
    // end, from a spool on disk.
    if (plot_) {
        if (!spool_) spool_.emplace(values.size());
        plot_->widen(values);
        spool_->add(values);
    }
}

void null_sinks::end() {
    if (!pairwise_) return;
    for (const auto& a : summaries_) pairs_.back().summaries.push_back(a.summary());
}

void null_sinks::finish(listing_writer& out) {
    std::vector<phylo::permutation::statistic_summary> lines;
    if (!pairwise_)
        for (const auto& a : summaries_) lines.push_back(a.summary());
    if (null_file_) null_file_->commit();
    if (plot_) {
        if (spool_)
            spool_->replay(0, spool_->rows(),
                           [this](std::span<const double> v) { plot_->count(v); });
        plot_file_->out().put(plot_->svg_body(statistics_, lines));
        plot_file_->commit();
    }
    if (pairwise_)
        out.put(phylo::permutation::pairwise_report_text(statistics_, pairs_, method_));
    else if (method_ == test_method::exact)
        out.put(phylo::permutation::report_text(statistics_, lines, tags_, method_));
    else
        out.put(phylo::permutation::report_text(statistics_, lines, tags_));
    out.flush();
}

} // namespace labmix
