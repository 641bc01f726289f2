#include <phylo/taxonomy/random_table.hpp>

#include <generics/errors.hpp>

#include <cmath>
#include <numbers>
#include <string>

namespace phylo::taxonomy {

std::vector<double> log_factorials(std::int64_t n) {
    std::vector<double> table(static_cast<std::size_t>(n) + 1, 0.0);
    double product = 1.0;
    const long double half_log_two_pi = 0.5L * std::log(2.0L * std::numbers::pi_v<long double>);
    for (std::int64_t k = 1; k <= n; ++k) {
        if (k <= 18) {
            product *= static_cast<double>(k); // 18! < 2^53: exact
            table[static_cast<std::size_t>(k)] = std::log(product);
            continue;
        }
        const long double x = static_cast<long double>(k) + 1.0L;
        const long double r = 1.0L / x;
        const long double r2 = r * r;
        const long double series =
            r * (1.0L / 12 - r2 * (1.0L / 360 - r2 * (1.0L / 1260 - r2 / 1680)));
        table[static_cast<std::size_t>(k)] =
            static_cast<double>((x - 0.5L) * std::log(x) - x + half_log_two_pi + series);
    }
    return table;
}

random_table_sampler::random_table_sampler(std::span<const std::int64_t> row_sums,
                                           std::span<const std::int64_t> column_sums)
    : rows_(row_sums.begin(), row_sums.end()), columns_(column_sums.begin(), column_sums.end()),
      by_rows_(row_sums.size() >= column_sums.size()) {
    std::int64_t totals[2] = {0, 0};
    for (int side = 0; side < 2; ++side)
        for (const auto s : side == 0 ? row_sums : column_sums) {
            if (s < 1)
                throw generics::range_error("a random table cannot have a group of " +
                                            std::to_string(s) + " taxa");
            totals[side] += s;
        }
    if (rows_.empty() || columns_.empty() || totals[0] != totals[1])
        throw generics::range_error("random tables need margins of the same total, not " +
                                    std::to_string(totals[0]) + " and " +
                                    std::to_string(totals[1]) + " taxa");
    log_factorial_ = log_factorials(totals[0]);
}

} // namespace phylo::taxonomy
