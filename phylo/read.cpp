#include <phylo/read.hpp>

#include <phylo/chars_io.hpp>
#include <phylo/disc_io.hpp>

#include <generics/natural_number.hpp>
#include <textutils/string_edit.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <istream>
#include <memory>
#include <new>
#include <optional>
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

// The text from the cursor up to the next blank, tab or line end, at most 40 characters, for
// a message.
std::string text_ahead(text_cursor& c) {
    std::string text;
    for (int ch = c.peek(); ch != ' ' && ch != '\t' && !c.at_line_end(); ch = c.peek()) {
        if (text.size() == 40) return text + "...";
        text.push_back(static_cast<char>(ch));
        c.bump();
    }
    return text;
}

// A value ends at a blank, a tab or a line end. Taking the front of "1,5", "2.5.1" or "2x"
// would change the value or, with the rest read as the next value, shift the row.
template <class Value>
Value ended(text_cursor& c, Value value) {
    const int ch = c.peek();
    if (ch == ' ' || ch == '\t' || c.at_line_end()) return value;
    char read[32];
    const auto r = std::to_chars(read, read + sizeof read, value);
    const std::string front(read, r.ptr);
    c.fail<data_error>("the value " + front + " runs on into \"" + text_ahead(c) +
                       "\"; values end at a blank, a tab or a line end");
}

// After a row's last value its line holds only characters of `skip`: a further value means
// that the file holds more than `declared` says, and reading on would drop it or shift every
// later row. The line end is left for the next row.
void end_row(text_cursor& c, const character_set& skip, const std::string& declared) {
    while (!c.at_line_end() && skip.contains(static_cast<char>(c.peek()))) c.bump();
    if (c.at_line_end()) return;
    c.clear_item();
    c.fail<data_error>("the row holds more than " + declared + ": \"" + text_ahead(c) +
                       "\" follows them");
}

const character_set blanks_and_tabs(" \t");

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

[[noreturn]] void fail_overflow(text_cursor& c, index_type nchar) {
    c.set_item("character", nchar);
    c.fail<data_error>("the line holds more characters than the " + std::to_string(nchar) +
                       " the header declares");
}

// Appends the states on the rest of the current line to `out`, passing over the characters
// of `skip`; the line end is not consumed. A state beyond `nchar` is the data error when
// `strict`; otherwise reading stops before it. Reads straight from the buffered block.
void read_disc_line(text_cursor& c, std::vector<disc_element>& out, index_type nchar,
                    const character_set& skip, bool strict) {
    const auto limit = static_cast<std::size_t>(nchar);
    for (;;) {
        const std::string_view w = c.window();
        if (w.empty()) {
            if (!c.extend()) return;
            continue;
        }
        std::size_t n = 0;
        for (; n < w.size() && w[n] != '\n' && w[n] != '\r'; ++n) {
            if (skip.contains(w[n])) continue;
            if (out.size() == limit) {
                c.advance(n);
                if (strict) fail_overflow(c, nchar);
                return;
            }
            out.push_back(static_cast<disc_element>(w[n]));
        }
        c.advance(n);
        if (n == w.size()) continue;
        if (c.at_line_end()) return;
        // A carriage return that does not end the line is a character like any other.
        if (!skip.contains('\r')) {
            if (out.size() == limit) {
                if (strict) fail_overflow(c, nchar);
                return;
            }
            out.push_back('\r');
        }
        c.bump();
    }
}

// The same for values separated by blanks and tabs, each read by `read_one`.
template <class Value, class ReadOne>
void read_value_line(text_cursor& c, std::vector<Value>& out, index_type nchar, bool strict,
                     ReadOne&& read_one, const char* item_word = "character") {
    for (;;) {
        int ch = c.peek();
        for (; ch == ' ' || ch == '\t'; ch = c.peek()) c.bump();
        if (c.at_line_end()) break;
        if (out.size() == static_cast<std::size_t>(nchar)) {
            if (strict) fail_overflow(c, nchar);
            break;
        }
        c.set_item(item_word, static_cast<index_type>(out.size()));
        out.push_back(ended(c, read_one(c)));
    }
    c.clear_item();
}

// Looks ahead, consuming nothing: whether the lines after the current one are the rest of
// an interleaved file's first block, that is exactly ntax - 1 lines with text, then a blank
// line, then more text (the next block).
bool blocks_follow(text_cursor& c, index_type ntax) {
    std::size_t k = 0;
    const auto at = [&c](std::size_t i) {
        while (c.window().size() <= i)
            if (!c.extend()) return text_cursor::eof;
        return static_cast<int>(static_cast<unsigned char>(c.window()[i]));
    };
    int ch = at(k);
    for (; ch != text_cursor::eof && ch != '\n'; ch = at(k)) ++k;
    index_type lines = 0;
    while (ch != text_cursor::eof) {
        ++k;
        bool blank = true;
        for (ch = at(k); ch != text_cursor::eof && ch != '\n'; ch = at(++k))
            blank = blank && whitespace.contains(static_cast<char>(ch));
        if (blank) {
            if (lines != ntax - 1) return false;
            for (; ch != text_cursor::eof; ch = at(++k))
                if (!whitespace.contains(static_cast<char>(ch))) return true;
            return false;
        }
        if (++lines > ntax - 1) return false;
    }
    return false;
}

// Passes the rest of the current line, its line end and any blank lines after it; with
// `indent`, also the blanks and tabs that start the next line. False when the input ends
// first.
bool next_line(text_cursor& c, bool indent) {
    skip_rest(c);
    c.skip_line_end();
    for (;;) {
        std::size_t k = 0;
        int ch = text_cursor::eof;
        for (;;) {
            const std::string_view w = c.window();
            if (k == w.size()) {
                if (!c.extend()) break;
                continue;
            }
            ch = static_cast<unsigned char>(w[k]);
            if (ch == '\n' || !whitespace.contains(w[k])) break;
            ++k;
        }
        if (ch == text_cursor::eof) {
            c.advance(k);
            return false;
        }
        if (ch != '\n') {
            if (indent) {
                const std::string_view w = c.window();
                std::size_t lead = 0;
                while (lead < k && (w[lead] == ' ' || w[lead] == '\t')) ++lead;
                c.advance(lead);
            }
            return true;
        }
        c.advance(k);
        c.skip_line_end();
    }
}

// The character reader of one kind: `row(c, array)` fills an array from wherever its values
// stand, line ends passed over; `line(c, values, nchar, strict)` appends the values on the
// rest of the current line (see read_disc_line).
template <class Array, class ReadRow, class ReadLine>
struct character_kind {
    using array = Array;
    using value_type = typename Array::value_type;
    ReadRow row;
    ReadLine line;
    character_set between; // what may stand between values and after a row's last one
};
template <class Array, class ReadRow, class ReadLine>
character_kind<Array, ReadRow, ReadLine> kind_of(ReadRow row, ReadLine line,
                                                 const character_set& between) {
    return {std::move(row), std::move(line), between};
}

// The declared length of a character row, for the message of a row that holds more.
std::string declared_characters(index_type nchar) {
    return "the " + std::to_string(nchar) + " characters the header declares";
}

// Appends the values from values.size() to nchar - 1, read from wherever they stand, in
// pieces of `row_piece` values.
template <class Kind>
void read_rest(text_cursor& c, std::vector<typename Kind::value_type>& values, index_type nchar,
               Kind& kind) {
    for (auto at = static_cast<index_type>(values.size()); at < nchar; at += row_piece) {
        typename Kind::array piece(at,
                                   std::min(nchar, at + row_piece) - 1); // numbered as in the row
        kind.row(c, piece);
        values.insert(values.end(), piece.begin(), piece.end());
    }
}

template <class Data>
Data make_record(
    std::vector<std::string>& labels,
    std::vector<std::unique_ptr<typename Data::row_vector::value_type::element_type>>& rows) {
    const auto ntax = static_cast<index_type>(labels.size());
    Data x(0, ntax - 1);
    for (index_type i = 0; i < ntax; ++i) {
        x.labels.unchecked(i) = std::move(labels[static_cast<std::size_t>(i)]);
        x.rows.unchecked(i) = std::move(rows[static_cast<std::size_t>(i)]);
    }
    return x;
}

// An interleaved file from the first taxon's first line on: the first block gives every
// taxon's label and first values, one line per taxon; each following block, after any blank
// lines, one more line per taxon in the same order, until every row is full.
template <class Data, class Kind>
Data read_blocks(text_cursor& c, input_format format, index_type ntax, index_type nchar,
                 std::string first_label, std::vector<typename Kind::value_type> first_values,
                 Kind& kind) {
    std::vector<std::string> labels;
    std::vector<std::vector<typename Kind::value_type>> values;
    labels.push_back(std::move(first_label));
    values.push_back(std::move(first_values));
    const auto length = [](const auto& row) { return static_cast<index_type>(row.size()); };
    index_type full = length(values[0]) == nchar ? 1 : 0;
    for (index_type i = 1; i < ntax; ++i) {
        c.set_row(taxon_context(i, {}) + ": ");
        if (!next_line(c, false)) c.fail_end("the line of this taxon in the first block");
        std::string label;
        get_label(c, format, label);
        c.set_row(taxon_context(i, label) + ", ");
        values.emplace_back();
        kind.line(c, values.back(), nchar, true);
        if (length(values.back()) == nchar) ++full;
        labels.push_back(std::move(label));
    }
    for (index_type block = 2; full < ntax; ++block) {
        for (index_type i = 0; i < ntax; ++i) {
            auto& row = values[static_cast<std::size_t>(i)];
            c.set_row(taxon_context(i, labels[static_cast<std::size_t>(i)]) + ", ");
            const index_type before = length(row);
            if (!next_line(c, true))
                c.fail_end("its line in block " + std::to_string(block) + " (character " +
                           std::to_string(before) + " on)");
            kind.line(c, row, nchar, true);
            if (before < nchar && length(row) == nchar) ++full;
        }
    }
    std::vector<std::unique_ptr<typename Kind::array>> rows;
    rows.reserve(values.size());
    for (auto& row : values) {
        rows.push_back(std::make_unique<typename Kind::array>(0, std::move(row)));
        row = {};
    }
    return make_record<Data>(labels, rows);
}

// The shared loop of the character readers: header, then label, row and the rest of the line
// for every taxon. Labels and rows are collected as they are read and handed to the record
// at the end, so that memory follows the values actually read, not the header's promise.
// Unless the layout is known to be sequential, the first taxon's first line decides it.
template <class Data, class Kind>
Data read_characters(text_cursor& c, input_format format, row_layout layout, Kind kind) {
    using array = typename Kind::array;
    c.set_row("header: ");
    const index_type ntax = read_natural(c, "the number of taxa");
    const index_type nchar = read_natural(c, "the number of characters");
    skip_rest(c);
    c.set_row({});
    if (ntax < 1) c.fail<range_error>("the header declares 0 taxa; a matrix needs at least 1");
    try {
        std::vector<std::string> labels;
        std::vector<std::unique_ptr<array>> rows;
        index_type i = 0;
        if (layout != row_layout::SEQUENTIAL) {
            std::string label;
            c.set_row(taxon_context(0, {}) + ": ");
            get_label(c, format, label);
            c.set_row(taxon_context(0, label) + ", ");
            std::vector<typename Kind::value_type> first;
            kind.line(c, first, nchar, layout == row_layout::INTERLEAVED);
            const bool short_line = static_cast<index_type>(first.size()) < nchar;
            if (layout == row_layout::INTERLEAVED || (short_line && blocks_follow(c, ntax)))
                return read_blocks<Data>(c, format, ntax, nchar, std::move(label), std::move(first),
                                         kind);
            read_rest(c, first, nchar, kind);
            end_row(c, kind.between, declared_characters(nchar));
            rows.push_back(std::make_unique<array>(0, std::move(first)));
            labels.push_back(std::move(label));
            i = 1;
        }
        for (; i < ntax; ++i) {
            std::string label;
            c.set_row(taxon_context(i, {}) + ": ");
            get_label(c, format, label);
            c.set_row(taxon_context(i, label) + ", ");
            rows.push_back(read_one_row<array>(c, nchar, kind.row));
            end_row(c, kind.between, declared_characters(nchar));
            labels.push_back(std::move(label));
        }
        return make_record<Data>(labels, rows);
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

// The cells of the header line of a tab-separated distance file, blanks around them dropped.
std::vector<std::string> read_header_cells(text_cursor& c) {
    if (c.peek() == text_cursor::eof) c.fail_end("the header line of taxon names");
    std::vector<std::string> cells(1);
    while (!c.at_line_end()) {
        const int ch = c.peek();
        c.bump();
        if (ch == '\t')
            cells.emplace_back();
        else
            cells.back().push_back(static_cast<char>(ch));
    }
    c.skip_line_end();
    for (std::string& cell : cells) cell = std::string(textutils::trim(cell, blank));
    return cells;
}

// The columns that row i of n holds in a file of the given shape: the first, and how many.
std::pair<index_type, index_type> row_columns(triangle shape, index_type i, index_type n) {
    switch (shape) {
    case triangle::LOWER:
        return {0, i};
    case triangle::LOWER_DIAGONAL:
        return {0, i + 1};
    case triangle::UPPER:
        return {i + 1, n - 1 - i};
    case triangle::UPPER_DIAGONAL:
        return {i, n - i};
    case triangle::SQUARE:
    case triangle::DETECT:
        break;
    }
    return {0, n};
}

// Whether the line after the line end the cursor stands at continues the same row: it starts
// with blanks or tabs and holds text after them (how dnadist wraps its rows). Consumes nothing.
bool row_continues(text_cursor& c) {
    const auto at = [&c](std::size_t i) {
        while (c.window().size() <= i)
            if (!c.extend()) return text_cursor::eof;
        return static_cast<int>(static_cast<unsigned char>(c.window()[i]));
    };
    const int end = at(0);
    if (end == text_cursor::eof) return false;
    std::size_t k = end == '\r' ? 2 : 1;
    int ch = at(k);
    if (ch != ' ' && ch != '\t') return false;
    while (ch == ' ' || ch == '\t') ch = at(++k);
    return ch != text_cursor::eof && ch != '\n' && ch != '\r';
}

// The values of one row as its lines show them: those on the label's line and on the
// indented lines that continue it.
std::vector<real_element> read_wrapped_row(text_cursor& c) {
    std::vector<real_element> row;
    const auto read_one = [](text_cursor& cc) { return generics::read_real<real_element>(cc); };
    read_value_line(c, row, max_index, false, read_one, "column");
    while (c.at_line_end() && row_continues(c)) {
        c.skip_line_end();
        read_value_line(c, row, max_index, false, read_one, "column");
    }
    return row;
}

// The shape whose first rows hold k0 and k1 values (k1 unused for one taxon).
triangle shape_of(text_cursor& c, index_type n, index_type k0, index_type k1) {
    for (const triangle shape : {triangle::SQUARE, triangle::LOWER, triangle::LOWER_DIAGONAL,
                                 triangle::UPPER, triangle::UPPER_DIAGONAL})
        if (row_columns(shape, 0, n).second == k0 &&
            (n == 1 || row_columns(shape, 1, n).second == k1))
            return shape;
    c.fail<data_error>(
        "the first rows hold " + std::to_string(k0) +
        (n > 1 ? " and " + std::to_string(k1) : std::string()) + " values, which fits no " +
        "layout of " + std::to_string(n) +
        " taxa (the square, or a lower or upper triangle with or without the diagonal); name "
        "the layout rather than detect it");
}

// Appends the `count` values of columns from, from + 1, ... of a row to `values`, the room
// doubling with what was read up to `limit` values in all: a header promising more than the
// input holds costs only what was read, even within the first row.
void append_reals(text_cursor& c, std::vector<real_element>& values, index_type count,
                  index_type from, std::size_t limit) {
    constexpr index_type piece = index_type{1} << 16;
    for (index_type done = 0; done < count;) {
        const index_type k = std::min(piece, count - done);
        const std::size_t need = values.size() + static_cast<std::size_t>(k);
        if (values.capacity() < need)
            values.reserve(std::min(limit, std::max(2 * values.capacity(), need)));
        values.resize(need);
        generics::read_reals(c, values.data() + need - static_cast<std::size_t>(k), k, "column",
                             from + done,
                             [](text_cursor& cc, real_element v) { (void)ended(cc, v); });
        done += k;
    }
}

// A cell of a tab-separated matrix as R's write.table quotes it by default: a cell wholly
// between double quotes stands for the text inside, its doubled quotes single.
std::string unquoted(std::string cell) {
    if (cell.size() < 2 || cell.front() != '"' || cell.back() != '"') return cell;
    std::string text;
    for (std::size_t k = 1; k + 1 < cell.size(); ++k) {
        text.push_back(cell[k]);
        if (cell[k] == '"' && cell[k + 1] == '"') ++k;
    }
    return text;
}

// The labels of the rows of a distance file: the next one read (or one read already, in
// `pending`), which a tab-separated file's header must name in the same place.
struct row_labels {
    input_format rule;
    std::vector<std::string> header; // the header's names, for TAB_SEPARATED
    std::optional<std::string> pending;

    std::string next(text_cursor& c, index_type i) {
        std::string label;
        c.set_row(taxon_context(i, {}) + ": ");
        if (pending)
            label = std::move(*pending);
        else
            get_label(c, rule, label);
        pending.reset();
        if (!header.empty()) {
            std::string cell(textutils::trim(label, blank));
            if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"')
                label = unquoted(std::move(cell));
        }
        c.set_row(taxon_context(i, label) + ", ");
        if (!header.empty()) {
            const std::string& named = header[static_cast<std::size_t>(i)];
            if (textutils::trim(label, blank) != named)
                c.fail<data_error>("the header line names taxon " + std::to_string(i) + " \"" +
                                   named + "\", not this row's label; the rows must follow the " +
                                   "header's names in order");
        }
        return label;
    }
};

// The declared length of a distance row, for the message of a row that holds more.
std::string declared_values(triangle shape, index_type count, index_type n) {
    const std::string values =
        std::to_string(count) + (count == 1 ? " value" : " values") + " of a";
    switch (shape) {
    case triangle::LOWER:
        return values + " lower triangle of " + std::to_string(n) + " taxa";
    case triangle::LOWER_DIAGONAL:
        return values + " lower triangle with its diagonal of " + std::to_string(n) + " taxa";
    case triangle::UPPER:
        return values + "n upper triangle of " + std::to_string(n) + " taxa";
    case triangle::UPPER_DIAGONAL:
        return values + "n upper triangle with its diagonal of " + std::to_string(n) + " taxa";
    case triangle::SQUARE:
    case triangle::DETECT:
        break;
    }
    return "the " + std::to_string(count) + " values of a square of the " + std::to_string(n) +
           " taxa the header declares";
}

// A triangle of a distance matrix, made the full symmetric square (each value read stands at
// (i, j) and (j, i); a diagonal not read is 0), or a matrix whose shape is to be detected
// (a square is kept as read).
squared read_triangle(text_cursor& c, row_labels& next_label, index_type n, triangle shape) {
    std::vector<std::string> labels;
    std::vector<std::vector<real_element>> rows;
    index_type i = 0;
    if (shape == triangle::DETECT) {
        std::array<index_type, 2> counts{0, 0};
        for (; i < std::min<index_type>(n, 2); ++i) {
            std::string label = next_label.next(c, i);
            rows.push_back(read_wrapped_row(c));
            counts[static_cast<std::size_t>(i)] = static_cast<index_type>(rows.back().size());
            labels.push_back(std::move(label));
        }
        c.set_row({});
        shape = shape_of(c, n, counts[0], counts[1]);
    }
    for (; i < n; ++i) {
        std::string label = next_label.next(c, i);
        const auto [from, count] = row_columns(shape, i, n);
        std::vector<real_element> row;
        append_reals(c, row, count, from, static_cast<std::size_t>(count));
        end_row(c, blanks_and_tabs, declared_values(shape, count, n));
        rows.push_back(std::move(row));
        labels.push_back(std::move(label));
    }
    real_matrix m(0, n - 1, 0, n - 1);
    for (index_type r = 0; r < n; ++r) {
        const auto& row = rows[static_cast<std::size_t>(r)];
        const index_type from = row_columns(shape, r, n).first;
        for (std::size_t k = 0; k < row.size(); ++k) {
            const index_type col = from + static_cast<index_type>(k);
            m.unchecked(r, col) = row[k];
            if (shape != triangle::SQUARE) m.unchecked(col, r) = row[k];
        }
    }
    return squared(taxon_labels(0, std::move(labels)), std::move(m));
}

// The number of taxa of a tab-separated file and the names its rows must have, from the header
// line and the first row's label. Above the rows' label column the header has a cell of its
// own, empty or not (pandas, R's col.names = NA), or none (R's write.table by default: n names
// above rows of n + 1 cells); the first row's label tells them apart.
index_type tab_layout(text_cursor& c, row_labels& labels) {
    std::vector<std::string> cells = read_header_cells(c);
    c.set_row({});
    if (cells.size() < 2) c.fail<range_error>("the header line holds no tab, so it names no taxa");
    c.set_row(taxon_context(0, {}) + ": ");
    get_label(c, labels.rule, labels.pending.emplace());
    for (auto& cell : cells) cell = unquoted(std::move(cell));
    if (cells.front().empty() ||
        unquoted(std::string(textutils::trim(*labels.pending, blank))) != cells.front())
        cells.erase(cells.begin());
    labels.header = std::move(cells);
    return static_cast<index_type>(labels.header.size());
}

squared read_distances(text_cursor& c, dist_input_format format,
                       triangle shape = triangle::SQUARE) {
    row_labels next_label{label_format(format), {}, {}};
    c.set_row("header: ");
    const index_type n = format == dist_input_format::TAB_SEPARATED ? tab_layout(c, next_label)
                                                                    : read_dist_header(c, format);
    c.set_row({});
    if (n < 1) c.fail<range_error>("the header declares 0 taxa; a matrix needs at least 1");
    // Every value takes at least one character: a shorter input cannot hold the matrix, and
    // is not worth allocating n * n values for.
    const index_type left = c.remaining();
    if (shape == triangle::SQUARE && left >= 0 && left < n * n)
        c.fail<end_error>("the header declares " + std::to_string(n) +
                          " taxa, but the input holds only " + std::to_string(left) +
                          " more characters, too few for " + std::to_string(n) + " x " +
                          std::to_string(n) + " values");
    if (shape != triangle::SQUARE && left >= 0 && left < n * (n - 1) / 2)
        c.fail<end_error>("the header declares " + std::to_string(n) +
                          " taxa, but the input holds only " + std::to_string(left) +
                          " more characters, too few for a triangle of " +
                          std::to_string(n * (n - 1) / 2) + " values");
    if (n * n > static_cast<index_type>(std::vector<real_element>().max_size()))
        c.fail<capacity_error>("a distance matrix of " + std::to_string(n) +
                               " taxa is too large to hold in memory");
    try {
        if (shape != triangle::SQUARE) return read_triangle(c, next_label, n, shape);
        // Labels and values are collected as they are read, the values' room doubling up to
        // the whole matrix, so that a header promising more than the input holds costs no
        // more memory than what was read, seekable input or not.
        std::vector<std::string> labels;
        std::vector<real_element> values;
        const auto width = static_cast<std::size_t>(n);
        const std::size_t total = width * width;
        // An input known to hold enough characters gets the whole square at once.
        if (left >= 0) values.reserve(total);
        const std::string declared = declared_values(triangle::SQUARE, n, n);
        for (index_type i = 0; i < n; ++i) {
            std::string label = next_label.next(c, i);
            append_reals(c, values, n, 0, total);
            end_row(c, blanks_and_tabs, declared);
            labels.push_back(std::move(label));
        }
        return squared(taxon_labels(0, std::move(labels)),
                       real_matrix(0, n - 1, 0, n - 1, std::move(values)));
    } catch (const std::bad_alloc&) {
        throw capacity_error(c.where() + "a distance matrix of " + std::to_string(n) +
                             " taxa is too large to hold in memory");
    }
}

disc_data read_disc(text_cursor& c, input_format format, const character_set& skip,
                    row_layout layout) {
    return read_characters<disc_data>(
        c, format, layout,
        kind_of<disc_array>([&skip](text_cursor& cc,
                                    disc_array& row) { disc_io::read(cc, row, skip, "character"); },
                            [&skip](text_cursor& cc, std::vector<disc_element>& out,
                                    index_type nchar,
                                    bool strict) { read_disc_line(cc, out, nchar, skip, strict); },
                            skip));
}
template <class Data, class IO>
Data read_literal_or_real(text_cursor& c, input_format format, row_layout layout) {
    using array = typename Data::row_vector::value_type::element_type;
    using value_type = typename array::value_type;
    const auto read_one = [](text_cursor& cc) {
        if constexpr (std::is_same_v<IO, real_chars::io>)
            return generics::read_real<value_type>(cc);
        else
            return detail::count_literal::read(cc);
    };
    return read_characters<Data>(
        c, format, layout,
        kind_of<array>(
            [read_one](text_cursor& cc, array& row) {
                if constexpr (std::is_same_v<IO, real_chars::io>) {
                    // In bulk, straight from the buffered block, as long as values end at
                    // blanks and tabs.
                    generics::read_reals(cc, row.data(), row.length(), "character", row.first(),
                                         [](text_cursor& c3, value_type v) { (void)ended(c3, v); });
                    return;
                }
                for (index_type j = row.first(); j <= row.last(); ++j) {
                    cc.set_item("character", j);
                    row.unchecked(j) = ended(cc, read_one(cc));
                }
                cc.clear_item();
            },
            [read_one](text_cursor& cc, std::vector<value_type>& out, index_type nchar,
                       bool strict) { read_value_line(cc, out, nchar, strict, read_one); },
            blanks_and_tabs));
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
    return get(file, format, skip, row_layout::SEQUENTIAL);
}
disc_data get(std::istream& file, input_format format, const character_set& skip,
              row_layout layout) {
    auto c = stream_cursor(file);
    return read_disc(c, format, skip, layout);
}

template <>
count_data get<count_data>(std::istream& file, input_format format) {
    return get<count_data>(file, format, row_layout::SEQUENTIAL);
}
template <>
real_data get<real_data>(std::istream& file, input_format format) {
    return get<real_data>(file, format, row_layout::SEQUENTIAL);
}
template <>
count_data get<count_data>(std::istream& file, input_format format, row_layout layout) {
    auto c = stream_cursor(file);
    return read_literal_or_real<count_data, count_chars::io>(c, format, layout);
}
template <>
real_data get<real_data>(std::istream& file, input_format format, row_layout layout) {
    auto c = stream_cursor(file);
    return read_literal_or_real<real_data, real_chars::io>(c, format, layout);
}

squared get(std::istream& file, dist_input_format format) {
    auto c = stream_cursor(file);
    return read_distances(c, format);
}
squared get(std::istream& file, dist_input_format format, triangle shape) {
    auto c = stream_cursor(file);
    return read_distances(c, format, shape);
}

dimensions get_header(text_cursor& c) { return read_header(c); }
index_type get_header(text_cursor& c, dist_input_format format) {
    return read_dist_header(c, format);
}
disc_data get(text_cursor& c, input_format format, const character_set& skip) {
    return read_disc(c, format, skip, row_layout::SEQUENTIAL);
}
disc_data get(text_cursor& c, input_format format, const character_set& skip, row_layout layout) {
    return read_disc(c, format, skip, layout);
}
template <>
count_data get<count_data>(text_cursor& c, input_format format) {
    return read_literal_or_real<count_data, count_chars::io>(c, format, row_layout::SEQUENTIAL);
}
template <>
real_data get<real_data>(text_cursor& c, input_format format) {
    return read_literal_or_real<real_data, real_chars::io>(c, format, row_layout::SEQUENTIAL);
}
template <>
count_data get<count_data>(text_cursor& c, input_format format, row_layout layout) {
    return read_literal_or_real<count_data, count_chars::io>(c, format, layout);
}
template <>
real_data get<real_data>(text_cursor& c, input_format format, row_layout layout) {
    return read_literal_or_real<real_data, real_chars::io>(c, format, layout);
}
squared get(text_cursor& c, dist_input_format format) { return read_distances(c, format); }
squared get(text_cursor& c, dist_input_format format, triangle shape) {
    return read_distances(c, format, shape);
}

void expect_end(text_cursor& c) {
    c.set_row({});
    c.clear_item();
    if (c.skip_blanks() != text_cursor::eof)
        c.fail<data_error>("the file goes on after the matrix the header declares, with " +
                           text_cursor::describe(c.peek()));
}

} // namespace phylo::read
