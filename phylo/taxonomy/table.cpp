#include <phylo/taxonomy/table.hpp>

#include <textutils/string_edit.hpp>
#include <textutils/tokenize.hpp>

#include <generics/byte_source.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <istream>
#include <memory>
#include <optional>
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

// Whether every field of `line` is empty once its blanks are removed.
bool all_fields_empty(std::string_view line, char separator) {
    return std::all_of(line.begin(), line.end(),
                       [separator](char c) { return c == separator || c == ' '; });
}

// The fields of one record of a quoted table (table_format::quoted), unquoted into storage of
// their own. A record is one line unless a quoted field holds line ends; then the lines that
// follow are read from the source until the field is closed.
class quoted_splitter {
public:
    std::span<const std::string_view> split(std::string_view line, generics::byte_source& source,
                                            char separator, std::string_view name,
                                            std::int64_t line_number) {
        record_.assign(line); // the source's next line may move the bytes of this one
        text_.clear();
        bounds_.clear();
        std::size_t i = 0;
        for (;;) {
            const std::size_t from = text_.size();
            std::size_t j = i;
            while (j < record_.size() && record_[j] == ' ') ++j;
            if (j < record_.size() && record_[j] == '"') {
                i = j + 1;
                for (;;) {
                    const std::size_t quote = record_.find('"', i);
                    if (quote == std::string::npos) {
                        text_.append(record_, i);
                        i = record_.size();
                        std::string_view more;
                        if (!source.next_line(more))
                            throw generics::data_error(
                                std::string(name) + ": line " + std::to_string(line_number) +
                                ": a field opens with a double quote there and is never closed");
                        record_ += '\n';
                        record_.append(more);
                        text_ += '\n';
                        i = record_.size() - more.size();
                        continue;
                    }
                    text_.append(record_, i, quote - i);
                    i = quote + 1;
                    if (i < record_.size() && record_[i] == '"') {
                        text_ += '"';
                        ++i;
                        continue;
                    }
                    break;
                }
                // Text between the closing quote and the separator belongs to the field.
                const std::size_t end = std::min(record_.find(separator, i), record_.size());
                const std::string_view rest(record_.data() + i, end - i);
                text_.append(rest.substr(0, rest.find_last_not_of(' ') + 1));
                i = end;
            } else {
                const std::size_t end = std::min(record_.find(separator, i), record_.size());
                text_.append(textutils::trim(std::string_view(record_.data() + i, end - i), blank));
                i = end;
            }
            bounds_.emplace_back(from, text_.size() - from);
            if (i >= record_.size()) break;
            ++i; // past the separator; one at the very end leaves an empty last field
        }
        fields_.clear();
        for (const auto& [at, size] : bounds_) fields_.emplace_back(text_.data() + at, size);
        return fields_;
    }

private:
    std::string record_;
    std::string text_;
    std::vector<std::pair<std::size_t, std::size_t>> bounds_;
    std::vector<std::string_view> fields_;
};

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

    // The same for a line split already; returns its number of fields.
    std::size_t pick_split(std::span<const std::string_view> fields) {
        for (std::size_t k = 0; k < slot_.size(); ++k) {
            const std::size_t at = order_[slot_[k]];
            picked_[k] = at < fields.size() ? fields[at] : std::string_view();
        }
        return fields.size();
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

field_count_error::field_count_error(std::string_view name, std::int64_t line_number,
                                     std::size_t found_fields, std::size_t expected_fields)
    : nf_error(std::string(name) + ": line " + " " + std::to_string(line_number)),
      line(line_number), found(found_fields), expected(expected_fields) {}

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
            throw field_count_error(name, source.line() - before, fields.size(), columns);
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

namespace {
// The loop of visit_picked, compiled once without quoting (the tab-separated road, whose
// speed is measured) and once with it.
template <bool quoting>
row_counts visit_picked_as(generics::byte_source& source, table_format format,
                           std::string_view name, bool whole_first, pick_callback first,
                           row_callback row) {
    const std::int64_t before = source.line();
    const char separator = format.separator;
    std::size_t columns = 0;
    row_counts counts;
    field_picker picker;
    std::optional<quoted_splitter> quoted;
    if constexpr (quoting) quoted.emplace();
    std::string_view line;
    while (source.next_line(line)) {
        if (line.empty()) continue;
        // Only a line that starts with a separator or a blank can be all empty fields.
        if (format.skip_empty_rows && (line.front() == separator || line.front() == ' ') &&
            all_fields_empty(line, separator)) {
            ++counts.empty_rows;
            continue;
        }
        // A line without a double quote is cut as in a table without quoting.
        std::span<const std::string_view> split;
        bool is_split = false;
        std::int64_t line_number = 0; // where a record of many lines starts
        if constexpr (quoting) {
            is_split = std::memchr(line.data(), '"', line.size()) != nullptr;
            if (is_split) {
                line_number = source.line() - before;
                split = quoted->split(line, source, separator, name, line_number);
                if (format.skip_empty_rows &&
                    std::all_of(split.begin(), split.end(), [](auto f) { return f.empty(); })) {
                    ++counts.empty_rows;
                    continue;
                }
            }
        }
        if (counts.rows == 0) {
            std::vector<std::string_view> whole;
            if (is_split) {
                columns = split.size();
                if (whole_first) whole.assign(split.begin(), split.end());
            } else if (whole_first) {
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
        const std::size_t found =
            is_split ? picker.pick_split(split) : picker.pick(line, separator);
        if (found != columns)
            throw field_count_error(name, is_split ? line_number : source.line() - before, found,
                                    columns);
        row.call(row.object, picker.picked());
        ++counts.rows;
    }
    return counts;
}
} // namespace

row_counts visit_picked(generics::byte_source& source, table_format format, std::string_view name,
                        bool whole_first, pick_callback first, row_callback row) {
    if (format.quoted) return visit_picked_as<true>(source, format, name, whole_first, first, row);
    return visit_picked_as<false>(source, format, name, whole_first, first, row);
}

row_counts visit_picked(std::istream& file, table_format format, std::string_view name,
                        bool whole_first, pick_callback first, row_callback row) {
    check_readable(file, name);
    row_counts counts;
    {
        generics::byte_source source(file);
        counts = visit_picked(source, format, name, whole_first, first, row);
    }
    check_readable(file, name);
    return counts;
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
