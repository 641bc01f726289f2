#include <phylo/permutation/distance_family.hpp>

#include <phylo/permutation/random.hpp>

#include <generics/errors.hpp>

#include <algorithm>
#include <limits>
#include <numeric>
#include <string>
#include <utility>

namespace phylo::permutation {

namespace {

std::uint32_t groups_of(const count_array& codes) {
    std::int64_t groups = 0;
    for (const auto g : codes.span()) groups = std::max<std::int64_t>(groups, std::int64_t{g} + 1);
    return static_cast<std::uint32_t>(groups);
}

std::vector<std::uint32_t> as_codes(const count_array& groups) {
    std::vector<std::uint32_t> codes;
    codes.reserve(static_cast<std::size_t>(groups.length()));
    for (const auto g : groups.span()) codes.push_back(static_cast<std::uint32_t>(g));
    return codes;
}

std::vector<std::uint32_t> identity(std::size_t n) {
    std::vector<std::uint32_t> codes(n);
    std::iota(codes.begin(), codes.end(), 0u);
    return codes;
}

} // namespace

distance_family::distance_family(std::vector<statistic> statistics,
                                 std::vector<std::uint32_t> codes, const count_array& strata,
                                 test_method method)
    : statistics_(std::move(statistics)), codes_(std::move(codes)) {
    if (!strata.empty() && static_cast<std::size_t>(strata.length()) != codes_.size())
        throw generics::range_error("strata of " + std::to_string(strata.length()) +
                                    " taxa for a test of " + std::to_string(codes_.size()));
    std::vector<std::uint32_t> of_taxon;
    for (const auto s : strata.span()) of_taxon.push_back(static_cast<std::uint32_t>(s));
    if (method == test_method::exact) walker_.emplace(codes_, of_taxon);
    const auto count = groups_of(strata);
    if (count > 1) strata_.emplace(of_taxon, count);
}

// A thread's scratch: the block's reshuffled codes, the codes of one reshuffle as the strata's
// shuffle takes them, and a generator.
class distance_family::batch_drawer final : public null_family::drawer {
public:
    explicit batch_drawer(const distance_family& test) : test_(test) {
        const auto n = test.codes_.size();
        if (n > 0) one_ = generics::bounded_array<std::uint32_t>(0, test.codes_);
    }

    void draw(std::uint64_t seed, std::int64_t k, std::int64_t count, double* out) override {
        const std::size_t n = test_.codes_.size();
        batch_.resize(static_cast<std::size_t>(count) * n);
        if (test_.walker_) {
            walk(k, count, out);
            return;
        }
        for (std::int64_t j = 0; j < count; ++j) {
            random_.reset(stream_seed(seed, k + j));
            std::uint32_t* a = batch_.data() + static_cast<std::size_t>(j) * n;
            std::copy(test_.codes_.begin(), test_.codes_.end(), a);
            if (test_.strata_) {
                std::copy(test_.codes_.begin(), test_.codes_.end(), one_.data());
                test_.strata_->shuffle(one_, [this](std::uint32_t m) { return random_.below(m); });
                std::copy(one_.data(), one_.data() + n, a);
            } else {
                for (auto i = static_cast<std::uint32_t>(n); i > 1; --i)
                    std::swap(a[i - 1], a[random_.below(i)]);
            }
        }
        test_.measure(batch_, static_cast<std::size_t>(count), out);
    }

private:
    // Arrangements k .. k + count - 1, each followed by its weight 1.
    void walk(std::int64_t k, std::int64_t count, double* out) {
        const std::size_t n = test_.codes_.size();
        if (!walk_) walk_.emplace(*test_.walker_);
        walk_->seek(static_cast<std::uint64_t>(k - 1));
        for (std::int64_t j = 0; j < count; ++j, walk_->next())
            std::copy(walk_->codes().begin(), walk_->codes().end(),
                      batch_.data() + static_cast<std::size_t>(j) * n);
        const std::size_t width = test_.statistics_.size();
        values_.resize(static_cast<std::size_t>(count) * width);
        test_.measure(batch_, static_cast<std::size_t>(count), values_.data());
        for (std::size_t j = 0; j < static_cast<std::size_t>(count); ++j) {
            std::copy_n(values_.data() + j * width, width, out + j * (width + 1));
            out[j * (width + 1) + width] = 1.0;
        }
    }

    const distance_family& test_;
    std::optional<assignment_walker> walk_;
    std::vector<double> values_;
    std::vector<std::uint32_t> batch_;
    generics::bounded_array<std::uint32_t> one_;
    stream_random random_;
};

std::unique_ptr<null_family::drawer> distance_family::make_drawer() const {
    return std::make_unique<batch_drawer>(*this);
}

groups_test::groups_test(const real_matrix& distances, const count_array& groups,
                         const count_array& strata, std::vector<statistic> statistics,
                         test_method method)
    : distance_family(std::move(statistics), as_codes(groups), strata, method),
      groups_(groups_of(groups)) {
    if (!defined()) return;
    for (const auto s : this->statistics()) {
        switch (s) {
        case statistic::permanova:
        case statistic::permanova_r2:
            if (!permanova_) permanova_.emplace(distances, groups);
            break;
        case statistic::anosim:
            anosim_.emplace(distances, groups);
            break;
        case statistic::permdisp:
            median_.emplace(distances, groups, distance::dispersion_centre::spatial_median);
            break;
        case statistic::permdisp_centroid:
            centroid_.emplace(distances, groups, distance::dispersion_centre::centroid);
            break;
        default:
            throw statistics_error(std::string(name_of(s)) +
                                   " is no statistic of a distance matrix and a classification");
        }
    }
}

std::vector<double> groups_test::observed() const {
    std::vector<double> values;
    for (const auto s : statistics()) {
        if (!defined()) {
            values.push_back(std::numeric_limits<double>::quiet_NaN());
            continue;
        }
        switch (s) {
        case statistic::permanova:
            values.push_back(permanova_->observed());
            break;
        case statistic::permanova_r2:
            values.push_back(permanova_->observed_r2());
            break;
        case statistic::anosim:
            values.push_back(anosim_->observed());
            break;
        case statistic::permdisp:
            values.push_back(median_->observed());
            break;
        default:
            values.push_back(centroid_->observed());
            break;
        }
    }
    return values;
}

void groups_test::measure(std::span<const std::uint32_t> batch, std::size_t count,
                          double* out) const {
    const std::size_t width = statistics().size();
    std::vector<double> f(count), r2(permanova_ ? count : 0), other(count);
    if (permanova_) permanova_->values(batch, f, r2);
    for (std::size_t i = 0; i < width; ++i) {
        const std::vector<double>* column = &other;
        switch (statistics()[i]) {
        case statistic::permanova:
            column = &f;
            break;
        case statistic::permanova_r2:
            column = &r2;
            break;
        case statistic::anosim:
            anosim_->values(batch, other);
            break;
        case statistic::permdisp:
            median_->values(batch, other);
            break;
        default:
            centroid_->values(batch, other);
            break;
        }
        for (std::size_t j = 0; j < count; ++j) out[j * width + i] = (*column)[j];
    }
}

mantel_test::mantel_test(const real_matrix& first, const real_matrix& second,
                         const count_array& strata, std::vector<statistic> statistics,
                         test_method method)
    : distance_family(std::move(statistics), identity(static_cast<std::size_t>(first.rows())),
                      strata, method) {
    for (const auto s : this->statistics()) {
        if (s == statistic::mantel)
            pearson_.emplace(first, second, distance::correlation::pearson);
        else if (s == statistic::mantel_spearman)
            spearman_.emplace(first, second, distance::correlation::spearman);
        else
            throw statistics_error(std::string(name_of(s)) +
                                   " is no statistic of two distance matrices");
    }
}

std::vector<double> mantel_test::observed() const {
    std::vector<double> values;
    for (const auto s : statistics())
        values.push_back(s == statistic::mantel ? pearson_->observed() : spearman_->observed());
    return values;
}

void mantel_test::measure(std::span<const std::uint32_t> batch, std::size_t count,
                          double* out) const {
    const std::size_t width = statistics().size();
    std::vector<double> r(count);
    for (std::size_t i = 0; i < width; ++i) {
        (statistics()[i] == statistic::mantel ? *pearson_ : *spearman_).values(batch, r);
        for (std::size_t j = 0; j < count; ++j) out[j * width + i] = r[j];
    }
}

} // namespace phylo::permutation
