#include <phylo/core.hpp>

namespace phylo {
namespace {

template <class Record>
void release(std::unique_ptr<Record>& data) {
    if (!data) throw range_error("free_data: the data record reference is null");
    for (auto& row : data->rows) row.reset();
    data.reset();
}

} // namespace

void free_data(disc_data_access& data) { release(data); }
void free_data(binary_data_access& data) { release(data); }
void free_data(count_data_access& data) { release(data); }
void free_data(real_data_access& data) { release(data); }

} // namespace phylo
