#include <phylo/read.hpp>

#include <phylo/chars_io.hpp>
#include <phylo/disc_io.hpp>

#include <generics/natural_number.hpp>
#include <textutils/string_edit.hpp>

#include <algorithm>
#include <istream>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace phylo::read {

using generics::text_cursor;

namespace {

const character_set blank(" ");

// A natural number after blanks and line ends: the data error when there is no integer
// literal, the range error when it is negative or too large.
index_type read_natural(text_cursor& c, const std::string& what) {
    int ch = c.skip_blanks();
    if (ch == text_cursor::eof) c.fail_end(what);
    bool negative = false;
    if (ch == '+' || ch == '-') {
        negative = ch == '-';
        c.bump();
        ch = c.peek();
    }
    if (ch < '0' || ch > '9') c.fail_found(what + " (an integer)", ch);
    const generics::natural_digits n = generics::read_digits(c);
    if (negative && n.value != 0)
        c.fail<range_error>(what + " is -" + std::string(n.text()) + ", below 0");
    if (n.value > max_index)
        c.fail<range_error>(what + " is " + std::string(n.text()) + ", above " +
                            std::to_string(max_index));
    return static_cast<index_type>(n.value);
}

std::string taxon_context(index_type i, const std::string& label) {
    std::string s = "taxon " + std::to_string(i);
    if (!label.empty()) {
        s += " (";
        s += label.size() > 40 ? label.substr(0, 40) + "..." : label;
        s += ')';
    }
    return s;
}

// Rows up to this many characters are allocated whole before they are read; longer ones are
// read in pieces of this size, so that a header promising more than the file holds costs no
// more memory than the file's own values.
constexpr index_type row_piece = index_type{1} << 20;

template <class Array, class ReadRow>
std::unique_ptr<Array> read_one_row(text_cursor& c, index_type nchar, ReadRow& read_row) {
    if (nchar <= row_piece) {
        auto row = std::make_unique<Array>(0, nchar - 1);
        read_row(c, *row);
        return row;
    }
    std::vector<typename Array::value_type> values;
    for (index_type at = 0; at < nchar; at += row_piece) {
        Array piece(at, std::min(nchar, at + row_piece) - 1); // numbered as in the row
        read_row(c, piece);
        values.insert(values.end(), piece.begin(), piece.end());
    }
    values.shrink_to_fit();
    return std::make_unique<Array>(0, std::move(values));
}

// The shared loop of the character readers: header, then label, row and the rest of the line
// for every taxon. Labels and rows are collected as they are read and handed to the record
// at the end, so that memory follows the values actually read, not the header's promise.
template <class Data, class ReadRow>
Data read_characters(text_cursor& c, input_format format, ReadRow&& read_row) {
    using array = typename Data::row_vector::value_type::element_type;
    c.set_row("header: ");
    const index_type ntax = read_natural(c, "the number of taxa");
    const index_type nchar = read_natural(c, "the number of characters");
    skip_rest(c);
    c.set_row({});
    if (ntax < 1) c.fail<range_error>("the header declares 0 taxa; a matrix needs at least 1");
    try {
        std::vector<std::string> labels;
        std::vector<std::unique_ptr<array>> rows;
        for (index_type i = 0; i < ntax; ++i) {
            std::string label;
            c.set_row(taxon_context(i, {}) + ": ");
            get_label(c, format, label);
            c.set_row(taxon_context(i, label) + ", ");
            rows.push_back(read_one_row<array>(c, nchar, read_row));
            labels.push_back(std::move(label));
            skip_rest(c);
        }
        Data x(0, ntax - 1);
        for (index_type i = 0; i < ntax; ++i) {
            x.labels.unchecked(i) = std::move(labels[static_cast<std::size_t>(i)]);
            x.rows.unchecked(i) = std::move(rows[static_cast<std::size_t>(i)]);
        }
        return x;
    } catch (const std::bad_alloc&) {
        throw capacity_error(c.where() + "a matrix of " + std::to_string(ntax) + " taxa and " +
                             std::to_string(nchar) + " characters is too large to hold in memory");
    }
}

text_cursor stream_cursor(std::istream& file) { return text_cursor(file, true); }

} // namespace

void get_word(text_cursor& c, const character_set& delimiters, std::string& word) {
    bool started = false;
    for (;;) {
        if (started && c.at_line_end()) return;
        const int ch = c.text_char();
        if (ch == text_cursor::eof) c.fail_end("a word");
        if (delimiters.contains(static_cast<char>(ch))) {
            if (started) return;
            continue;
        }
        word.push_back(static_cast<char>(ch));
        started = true;
    }
}

void get_word(text_cursor& c, index_type width, std::string& word) {
    for (index_type k = 0; k < width; ++k) {
        const int ch = c.text_char();
        if (ch == text_cursor::eof)
            c.fail_end("a label of " + std::to_string(width) + " characters (" + std::to_string(k) +
                       " read)");
        word.push_back(static_cast<char>(ch));
    }
    word = std::string(textutils::trim(word, whitespace));
}

void get_label(text_cursor& c, input_format format, std::string& label) {
    switch (format) {
    case input_format::PHYLIP:
        get_word(c, 10, label);
        // Ten blanks are how the later blocks of an interleaved file are indented, never a
        // name: taken as one, they would shift every state after them to the wrong taxon.
        if (label.empty())
            c.fail<data_error>("the 10 characters of the name are all blank, which names no "
                               "taxon (is the file interleaved?)");
        return;
    case input_format::EXTENDED_PHYLIP:
        get_word(c, whitespace, label);
        return;
    case input_format::COMMENTED_PHYLIP: {
        get_word(c, whitespace, label);
        std::string comment;
        get_word(c, whitespace, comment);
        return;
    }
    case input_format::TAB_SEPARATED:
        get_word(c, control_characters, label);
        // The printer pads labels with blanks up to their tab; they are not part of the name.
        label.resize(textutils::trim_trailing(label, blank).size());
        return;
    }
}

void skip_rest(text_cursor& c) {
    if (!c.at_line_end()) c.skip_line();
}

void get_word(std::istream& file, const character_set& delimiters, std::string& word) {
    auto c = stream_cursor(file);
    get_word(c, delimiters, word);
}
void get_word(std::istream& file, index_type width, std::string& word) {
    auto c = stream_cursor(file);
    get_word(c, width, word);
}
void get_label(std::istream& file, input_format format, std::string& label) {
    auto c = stream_cursor(file);
    get_label(c, format, label);
}
void skip_rest(std::istream& file) {
    auto c = stream_cursor(file);
    skip_rest(c);
}

namespace {
dimensions read_header(text_cursor& c) {
    dimensions d;
    d.ntax = read_natural(c, "the number of taxa");
    d.nchar = read_natural(c, "the number of characters");
    skip_rest(c);
    return d;
}

index_type read_dist_header(text_cursor& c, dist_input_format format) {
    if (format != dist_input_format::TAB_SEPARATED) {
        const index_type n = read_natural(c, "the number of taxa");
        skip_rest(c);
        return n;
    }
    if (c.peek() == text_cursor::eof) c.fail_end("the header line of taxon names");
    index_type tabs = 0;
    while (!c.at_line_end()) {
        if (c.peek() == '\t') ++tabs;
        c.bump();
    }
    c.skip_line_end();
    return tabs;
}

squared read_distances(text_cursor& c, dist_input_format format) {
    c.set_row("header: ");
    const index_type n = read_dist_header(c, format);
    c.set_row({});
    if (n < 1) {
        if (format == dist_input_format::TAB_SEPARATED)
            c.fail<range_error>("the header line holds no tab, so it names no taxa");
        c.fail<range_error>("the header declares 0 taxa; a matrix needs at least 1");
    }
    // Every value takes at least one character: a shorter input cannot hold the matrix, and
    // is not worth allocating n * n values for.
    const index_type left = c.remaining();
    if (left >= 0 && left < n * n)
        c.fail<end_error>("the header declares " + std::to_string(n) +
                          " taxa, but the input holds only " + std::to_string(left) +
                          " more characters, too few for " + std::to_string(n) + " x " +
                          std::to_string(n) + " values");
    if (n * n > static_cast<index_type>(std::vector<real_element>().max_size()))
        c.fail<capacity_error>("a distance matrix of " + std::to_string(n) +
                               " taxa is too large to hold in memory");
    const input_format label_rule = label_format(format);
    try {
        // Labels and values are collected as they are read, the values' room doubling up to
        // the whole matrix, so that a header promising more than the input holds costs no
        // more memory than what was read, seekable input or not.
        std::vector<std::string> labels;
        std::vector<real_element> values;
        const auto width = static_cast<std::size_t>(n);
        const std::size_t total = width * width;
        // An input known to hold enough characters gets the whole square at once.
        if (left >= 0) values.reserve(total);
        for (index_type i = 0; i < n; ++i) {
            std::string label;
            c.set_row(taxon_context(i, {}) + ": ");
            get_label(c, label_rule, label);
            c.set_row(taxon_context(i, label) + ", ");
            if (values.capacity() < values.size() + width)
                values.reserve(
                    std::min(total, std::max(2 * values.capacity(), values.size() + width)));
            values.resize(values.size() + width);
            generics::read_reals(c, values.data() + values.size() - width, n, "column", 0);
            labels.push_back(std::move(label));
            skip_rest(c);
        }
        return squared(taxon_labels(0, std::move(labels)),
                       real_matrix(0, n - 1, 0, n - 1, std::move(values)));
    } catch (const std::bad_alloc&) {
        throw capacity_error(c.where() + "a distance matrix of " + std::to_string(n) +
                             " taxa is too large to hold in memory");
    }
}

disc_data read_disc(text_cursor& c, input_format format, const character_set& skip) {
    return read_characters<disc_data>(c, format, [&skip](text_cursor& cc, disc_array& row) {
        disc_io::read(cc, row, skip, "character");
    });
}
template <class Data, class IO>
Data read_literal_or_real(text_cursor& c, input_format format) {
    return read_characters<Data>(c, format, [](text_cursor& cc, auto& row) {
        if constexpr (std::is_same_v<IO, real_chars::io>)
            IO::read(cc, row, 0, "character");
        else
            IO::read(cc, row, "character");
    });
}
} // namespace

dimensions get_header(std::istream& file) {
    auto c = stream_cursor(file);
    return read_header(c);
}
index_type get_header(std::istream& file, dist_input_format format) {
    auto c = stream_cursor(file);
    return read_dist_header(c, format);
}

disc_data get(std::istream& file, input_format format, const character_set& skip) {
    auto c = stream_cursor(file);
    return read_disc(c, format, skip);
}

template <>
count_data get<count_data>(std::istream& file, input_format format) {
    auto c = stream_cursor(file);
    return read_literal_or_real<count_data, count_chars::io>(c, format);
}
template <>
real_data get<real_data>(std::istream& file, input_format format) {
    auto c = stream_cursor(file);
    return read_literal_or_real<real_data, real_chars::io>(c, format);
}

squared get(std::istream& file, dist_input_format format) {
    auto c = stream_cursor(file);
    return read_distances(c, format);
}

dimensions get_header(text_cursor& c) { return read_header(c); }
index_type get_header(text_cursor& c, dist_input_format format) {
    return read_dist_header(c, format);
}
disc_data get(text_cursor& c, input_format format, const character_set& skip) {
    return read_disc(c, format, skip);
}
template <>
count_data get<count_data>(text_cursor& c, input_format format) {
    return read_literal_or_real<count_data, count_chars::io>(c, format);
}
template <>
real_data get<real_data>(text_cursor& c, input_format format) {
    return read_literal_or_real<real_data, real_chars::io>(c, format);
}
squared get(text_cursor& c, dist_input_format format) { return read_distances(c, format); }

} // namespace phylo::read
