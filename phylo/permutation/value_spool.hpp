#pragma once
// Null values kept on disk rather than in memory: an unlinked temporary file (in $TMPDIR,
// else /tmp), written and read back in large blocks, 8 bytes a value. The plot needs every
// value twice, and --combine reads each part once but hands the values on in reshuffle
// order, so both keep them here for a second pass whatever their number.
//
//     value_spool spool(width);          // `width` values a reshuffle
//     spool.add(values);                 // reshuffle after reshuffle
//     spool.replay(0, spool.rows(), [](std::span<const double> v) { ... });

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace phylo::permutation {

class value_spool {
public:
    explicit value_spool(std::size_t width);
    value_spool(const value_spool&) = delete;
    value_spool& operator=(const value_spool&) = delete;
    value_spool(value_spool&& other) noexcept;
    value_spool& operator=(value_spool&&) = delete;
    ~value_spool();

    // One reshuffle's `width` values.
    void add(std::span<const double> values);
    // How many reshuffles were added.
    [[nodiscard]] std::int64_t rows() const noexcept { return rows_; }
    // The reshuffles `first` .. `first + count - 1` (counting from 0 in the order added), each
    // handed to `each` in that order.
    void replay(std::int64_t first, std::int64_t count,
                const std::function<void(std::span<const double>)>& each);

private:
    static constexpr std::size_t block_values = std::size_t{1} << 16;
    void flush();

    std::size_t width_;
    int fd_ = -1;
    std::int64_t rows_ = 0;
    std::vector<double> block_;
};

} // namespace phylo::permutation
