#include <phylo/taxonomy/table.hpp>

#include <textutils/tokenize.hpp>

#include <generics/current_io.hpp>

#include <algorithm>
#include <cstring>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace phylo::taxonomy {

namespace {

// Input is taken in blocks of this size; a line longer than the buffer doubles it.
constexpr std::size_t block_size = std::size_t{1} << 18;
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

// Removes leading and trailing blanks (code 32 only; tabs and the rest stay).
std::string_view trim_blanks(std::string_view field) {
    const std::size_t from = field.find_first_not_of(' ');
    if (from == std::string_view::npos) return {};
    return field.substr(from, field.find_last_not_of(' ') - from + 1);
}

// A line end is a line feed, optionally preceded by a carriage return; a carriage return at
// the very end of the input belongs to the line end as well.
std::string_view without_cr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// Calls `line(std::string_view)` for every line of the rest of `file`, without its line end,
// each line read whole whatever its length. The view is valid only during the call.
template <class Line>
void for_each_line(std::istream& file, std::string_view name, Line&& line) {
    check_readable(file, name);
    std::vector<char> buffer(block_size);
    std::size_t begin = 0;   // first character of the line in progress
    std::size_t scanned = 0; // characters from begin on known to hold no line feed
    std::size_t end = 0;     // end of the characters read
    for (;;) {
        if (end == buffer.size()) {
            if (begin > 0) {
                std::memmove(buffer.data(), buffer.data() + begin, end - begin);
                scanned -= begin;
                end -= begin;
                begin = 0;
            } else {
                buffer.resize(buffer.size() * 2);
            }
        }
        file.read(buffer.data() + end, static_cast<std::streamsize>(buffer.size() - end));
        const auto got = static_cast<std::size_t>(file.gcount());
        end += got;
        check_readable(file, name);
        const bool at_end = file.eof() || got == 0;

        const char* base = buffer.data();
        while (scanned < end) {
            const auto* feed =
                static_cast<const char*>(std::memchr(base + scanned, '\n', end - scanned));
            if (feed == nullptr) {
                scanned = end;
                break;
            }
            const auto at = static_cast<std::size_t>(feed - base);
            line(without_cr(std::string_view(base + begin, at - begin)));
            begin = scanned = at + 1;
        }
        if (at_end) {
            if (begin < end) line(without_cr(std::string_view(base + begin, end - begin)));
            return;
        }
    }
}

// Collects the rows of a table line by line into rows prepared ahead of use.
class table_builder {
public:
    table_builder(char separator, std::string_view name) : separator_(separator), name_(name) {}

    void add(std::string_view line) {
        ++line_number_;
        if (line.empty()) return;
        fields_.clear();
        textutils::for_each_field(line, separator_,
                                  [this](std::string_view field) { fields_.push_back(field); });
        if (rows_ == 0) {
            columns_ = fields_.size();
        } else if (fields_.size() != columns_) {
            throw nf_error(std::string(name_) + ": line " + " " + std::to_string(line_number_));
        }
        if (rows_ == store_.size()) prepare_rows();
        std::string* row = store_[rows_]->data();
        for (std::size_t j = 0; j < columns_; ++j) row[j].assign(trim_blanks(fields_[j]));
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
            throw capacity_error(std::string(name_) + ": more than " + std::to_string(max_index + 1) +
                                 " rows");
        const std::size_t widest = std::max<std::size_t>(1, max_batch_fields / std::max<std::size_t>(1, columns_));
        const std::size_t batch = std::min({std::clamp(rows_, first_batch, max_batch), widest, room});
        if (store_.capacity() < rows_ + batch) store_.reserve(std::max(2 * store_.capacity(), rows_ + batch));
        const auto last = static_cast<index_type>(columns_) - 1;
        for (std::size_t k = 0; k < batch; ++k) store_.push_back(std::make_unique<taxon_labels>(0, last));
    }

    char separator_;
    std::string_view name_;
    index_type line_number_ = 0;
    std::size_t columns_ = 0;
    std::size_t rows_ = 0;
    std::vector<group_name_access> store_;
    std::vector<std::string_view> fields_; // the fields of the current line, reused
};

} // namespace

group_name_vector get(std::istream& file, char separator, std::string_view name) {
    table_builder builder(separator, name);
    for_each_line(file, name, [&builder](std::string_view line) { builder.add(line); });
    return std::move(builder).finish();
}

group_name_vector get(char separator) {
    return get(generics::current_input(), separator, generics::current_input_name());
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

void put(const group_name_vector& table, char separator) {
    put(generics::current_output(), table, separator);
}

} // namespace phylo::taxonomy
