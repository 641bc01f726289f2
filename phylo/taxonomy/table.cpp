#include <phylo/taxonomy/table.hpp>

#include <textutils/string_edit.hpp>
#include <textutils/tokenize.hpp>

#include <generics/byte_source.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <istream>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace phylo::taxonomy {

namespace {

// Rows are made ready ahead of use, at most this many at a time, so that the unused rows
// left at the end of a large table stay few.
constexpr std::size_t max_batch = std::size_t{1} << 16;
constexpr std::size_t first_batch = 100;
// A batch also holds at most this many fields (at least one row), so that a table of very
// wide rows does not make a hundred rows of a million empty fields ready ahead of use.
constexpr std::size_t max_batch_fields = std::size_t{1} << 17;

[[noreturn]] void throw_unreadable(std::string_view name) {
    throw use_error(std::string(name) + ": cannot be read");
}

// A stream that went bad (a directory, a read error) must not pass for the end of the input.
void check_readable(const std::istream& file, std::string_view name) {
    if (file.bad() || (file.fail() && !file.eof())) throw_unreadable(name);
}

// Fields lose their leading and trailing blanks (code 32 only; tabs and the rest stay).
const textutils::character_set blank(" ");

[[noreturn]] void throw_nf(std::string_view name, std::int64_t line) {
    throw nf_error(std::string(name) + ": line " + " " + std::to_string(line));
}

// The wanted fields of a line, found in one pass that stops looking at fields after the
// last wanted one and only counts the separators of the rest.
class field_picker {
public:
    // Positions in the caller's order, possibly repeated.
    void want(std::span<const std::size_t> positions) {
        order_.assign(positions.begin(), positions.end());
        std::sort(order_.begin(), order_.end());
        order_.erase(std::unique(order_.begin(), order_.end()), order_.end());
        slot_.clear();
        for (const std::size_t p : positions)
            slot_.push_back(static_cast<std::size_t>(
                std::lower_bound(order_.begin(), order_.end(), p) - order_.begin()));
        found_.assign(order_.size(), {});
        picked_.assign(positions.size(), {});
    }

    // Finds the wanted fields of `line`; returns its number of fields. When the line has
    // fewer fields than a wanted position, what picked() holds is not defined (the count
    // then differs from the first line's, which is the caller's error).
    std::size_t pick(std::string_view line, char separator) {
        const char* p = line.data();
        const char* const end = p + line.size();
        std::size_t field = 0;
        bool ended = false;
        for (std::size_t next = 0; next < order_.size(); ++field) {
            const void* at =
                p == end ? nullptr : std::memchr(p, separator, static_cast<std::size_t>(end - p));
            const char* e = at == nullptr ? end : static_cast<const char*>(at);
            if (field == order_[next])
                found_[next++] =
                    textutils::trim(std::string_view(p, static_cast<std::size_t>(e - p)), blank);
            if (e == end) {
                ended = true;
                ++field;
                break;
            }
            p = e + 1;
        }
        for (std::size_t k = 0; k < slot_.size(); ++k) picked_[k] = found_[slot_[k]];
        if (ended) return field;
        return field + 1 + static_cast<std::size_t>(std::count(p, end, separator));
    }

    [[nodiscard]] std::span<const std::string_view> picked() const noexcept { return picked_; }

private:
    std::vector<std::size_t> order_;       // the wanted positions, ascending, once each
    std::vector<std::size_t> slot_;        // for each wanted field: its place in order_
    std::vector<std::string_view> found_;  // the field at each of order_
    std::vector<std::string_view> picked_; // the fields in the caller's order
};

// Collects the rows of a table into rows prepared ahead of use.
class table_builder {
public:
    explicit table_builder(std::string_view name) : name_(name) {}

    void add(std::span<const std::string_view> fields) {
        if (rows_ == 0) columns_ = fields.size();
        if (rows_ == store_.size()) prepare_rows();
        std::string* row = store_[rows_]->data();
        for (std::size_t j = 0; j < columns_; ++j) row[j].assign(fields[j]);
        ++rows_;
    }

    group_name_vector finish() && {
        store_.resize(rows_);
        store_.shrink_to_fit();
        return group_name_vector(0, std::move(store_));
    }

private:
    // Makes the next batch of rows ready: as many as are filled already, within limits, so
    // that the row store doubles while the rows left unused at the end stay few.
    void prepare_rows() {
        const auto room = static_cast<std::size_t>(max_index) + 1 - rows_;
        if (room == 0)
            throw capacity_error(std::string(name_) + ": more than " +
                                 std::to_string(max_index + 1) + " rows");
        const std::size_t widest =
            std::max<std::size_t>(1, max_batch_fields / std::max<std::size_t>(1, columns_));
        const std::size_t batch =
            std::min({std::clamp(rows_, first_batch, max_batch), widest, room});
        if (store_.capacity() < rows_ + batch)
            store_.reserve(std::max(2 * store_.capacity(), rows_ + batch));
        const auto last = static_cast<index_type>(columns_) - 1;
        for (std::size_t k = 0; k < batch; ++k)
            store_.push_back(std::make_unique<taxon_labels>(0, last));
    }

    std::string_view name_;
    std::size_t columns_ = 0;
    std::size_t rows_ = 0;
    std::vector<group_name_access> store_;
};

} // namespace

namespace detail {

index_type visit_rows(generics::byte_source& source, char separator, std::string_view name,
                      row_callback row) {
    const std::int64_t before = source.line();
    std::vector<std::string_view> fields; // the fields of the current line, reused
    std::size_t columns = 0;
    index_type rows = 0;
    std::string_view line;
    while (source.next_line(line)) {
        if (line.empty()) continue;
        fields.clear();
        textutils::for_each_field(line, separator, [&fields](std::string_view field) {
            fields.push_back(textutils::trim(field, blank));
        });
        if (rows == 0) {
            columns = fields.size();
        } else if (fields.size() != columns) {
            throw_nf(name, source.line() - before);
        }
        row.call(row.object, fields);
        ++rows;
    }
    return rows;
}

index_type visit_rows(std::istream& file, char separator, std::string_view name, row_callback row) {
    check_readable(file, name);
    index_type rows = 0;
    {
        generics::byte_source source(file);
        rows = visit_rows(source, separator, name, row);
    }
    check_readable(file, name);
    return rows;
}

index_type visit_picked(generics::byte_source& source, char separator, std::string_view name,
                        bool whole_first, pick_callback first, row_callback row) {
    const std::int64_t before = source.line();
    std::size_t columns = 0;
    index_type rows = 0;
    field_picker picker;
    std::string_view line;
    while (source.next_line(line)) {
        if (line.empty()) continue;
        if (rows == 0) {
            std::vector<std::string_view> whole;
            if (whole_first) {
                textutils::for_each_field(line, separator, [&whole](std::string_view field) {
                    whole.push_back(textutils::trim(field, blank));
                });
                columns = whole.size();
            } else {
                columns =
                    1 + static_cast<std::size_t>(std::count(line.begin(), line.end(), separator));
            }
            picker.want(first.call(first.object, columns, whole));
        }
        if (picker.pick(line, separator) != columns) throw_nf(name, source.line() - before);
        row.call(row.object, picker.picked());
        ++rows;
    }
    return rows;
}

index_type visit_picked(std::istream& file, char separator, std::string_view name, bool whole_first,
                        pick_callback first, row_callback row) {
    check_readable(file, name);
    index_type rows = 0;
    {
        generics::byte_source source(file);
        rows = visit_picked(source, separator, name, whole_first, first, row);
    }
    check_readable(file, name);
    return rows;
}

} // namespace detail

group_name_vector get(std::istream& file, char separator, std::string_view name) {
    table_builder builder(name);
    for_each_row(file, separator, name,
                 [&builder](std::span<const std::string_view> fields) { builder.add(fields); });
    return std::move(builder).finish();
}

void put(std::ostream& file, const group_name_vector& table, char separator) {
    std::string line;
    for (index_type i = table.first(); i <= table.last(); ++i) {
        const taxon_labels& row = group_names::row(table, i);
        if (row.empty()) throw range_error("row " + std::to_string(i) + " has no fields");
        line.assign(row.unchecked(row.first()));
        for (index_type j = row.first() + 1; j <= row.last(); ++j) {
            line += separator;
            line += row.unchecked(j);
        }
        line += '\n';
        file.write(line.data(), static_cast<std::streamsize>(line.size()));
        if (!file) throw use_error("the table cannot be written");
    }
}

} // namespace phylo::taxonomy
