#include <tool/labels.hpp>

#include <algorithm>

namespace labmix {

void packed_labels::add(std::string_view label) {
    const std::size_t n = label.size() + 1;
    if (blocks_.empty() || room_ < n) {
        const std::size_t capacity = std::max(block_size, n);
        // Left uninitialised: pages are touched only as labels fill them.
        blocks_.push_back({std::make_unique_for_overwrite<char[]>(capacity + label_padding), 0});
        room_ = capacity;
    }
    block& b = blocks_.back();
    char* to = b.bytes.get() + b.used;
    if (!label.empty()) std::memcpy(to, label.data(), label.size()); // an empty view may be null
    to[label.size()] = end_;
    b.used += n;
    room_ -= n;
    if (n < long_length) {
        lengths_.push_back(static_cast<std::uint32_t>(n));
    } else {
        lengths_.push_back(long_length);
        long_lengths_.push_back(n);
    }
}

} // namespace labmix
