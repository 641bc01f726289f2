#include <tool/formats.hpp>

#include <generics/errors.hpp>

#include <textutils/string_edit.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace labmix {

namespace {

// Labels ready to be copied into a line: each as the tables write it, followed by its end
// character, in one block with the padding that copy_label needs.
struct pieces {
    std::string text;
    std::vector<std::string_view> piece;

    [[nodiscard]] std::string_view operator[](std::size_t k) const { return piece[k]; }
};

// The distinct labels of `labels` (each stored with its line feed), ended by `end`.
pieces table_pieces(const permuted_labels& labels, char end) {
    pieces p;
    std::vector<std::size_t> ends;
    ends.reserve(labels.distinct.size());
    for (std::string_view label : labels.distinct) {
        label.remove_suffix(1);
        textutils::append_table_field(p.text, label);
        p.text.push_back(end);
        ends.push_back(p.text.size());
    }
    p.text.append(label_padding, '\0');
    std::size_t start = 0;
    p.piece.reserve(ends.size());
    for (const std::size_t e : ends) {
        p.piece.emplace_back(p.text.data() + start, e - start);
        start = e;
    }
    return p;
}

// The fixed column as the tables write it: the column itself unless a label needs quotes.
const packed_labels& table_fixed(const packed_labels& fixed, packed_labels& quoted) {
    bool needed = false;
    fixed.for_each([&needed](std::string_view piece) {
        needed = needed || textutils::needs_table_quotes(piece.substr(0, piece.size() - 1));
    });
    if (!needed) return fixed;
    std::string field;
    fixed.for_each([&](std::string_view piece) {
        field.clear();
        textutils::append_table_field(field, piece.substr(0, piece.size() - 1));
        quoted.add(field);
    });
    return quoted;
}

// Appends the pieces to the output with one room check for the whole line.
template <std::size_t N>
void put_line(listing_writer& out, const std::array<std::string_view, N>& line) {
    std::size_t n = 0;
    for (const auto piece : line) n += piece.size();
    if (n > listing_writer::capacity) {
        for (const auto piece : line) out.put(piece);
        return;
    }
    char* to = out.room(n);
    for (const auto piece : line) {
        copy_label(to, piece);
        to += piece.size();
    }
    out.advance(n);
}

} // namespace

void print_both(const packed_labels& fixed, const permuted_labels& permuted, listing_writer& out) {
    static_assert(label_padding <= listing_writer::slack);
    const std::uint32_t* labels = permuted.labels.data();
    const std::string_view* distinct = permuted.distinct.data();
    fixed.for_each([&out, &labels, distinct](std::string_view left) {
        const std::string_view right = distinct[*labels++];
        const std::size_t n = left.size() + right.size();
        if (n <= listing_writer::capacity) {
            char* to = out.room(n);
            copy_label(to, left);
            copy_label(to + left.size(), right);
            out.advance(n);
        } else {
            out.put(left);
            out.put(right);
        }
    });
    out.put('\n');
}

namespace {

class listings_format final : public listing_format {
public:
    listings_format(const listing_columns& columns, listing_writer& out)
        : columns_(columns), out_(out) {}
    void add() override { print_both(columns_.fixed, columns_.permuted, out_); }

private:
    listing_columns columns_;
    listing_writer& out_;
};

// reshuffle, fixed, permuted (, stratum): one line per listing and row.
class long_format final : public listing_format {
public:
    long_format(const listing_columns& columns, const column_titles& titles, listing_writer& out)
        : columns_(columns), fixed_(table_fixed(columns.fixed, quoted_fixed_)),
          permuted_(table_pieces(columns.permuted, columns.strata ? '\t' : '\n')), out_(out) {
        std::string header = "reshuffle\t";
        textutils::append_table_field(header, titles.fixed);
        header.push_back('\t');
        textutils::append_table_field(header, titles.permuted);
        if (columns.strata) {
            strata_ = table_pieces(*columns.strata, '\n');
            header.push_back('\t');
            textutils::append_table_field(header, titles.stratum);
        }
        header.push_back('\n');
        out_.put(header);
    }

    void add() override {
        // The listing number and a tab, in a buffer long enough for copy_label.
        std::array<char, 2 * label_padding> number{};
        const auto [end, error] = std::to_chars(number.data(), number.data() + 20, listing_);
        (void)error;
        *end = '\t';
        const std::string_view prefix(number.data(),
                                      static_cast<std::size_t>(end - number.data()) + 1);
        ++listing_;
        const std::uint32_t* labels = columns_.permuted.labels.data();
        if (columns_.strata) {
            const std::uint32_t* strata = columns_.strata->labels.data();
            fixed_.for_each([&](std::string_view fixed) {
                put_line<4>(out_, {prefix, fixed, permuted_[*labels++], strata_[*strata++]});
            });
        } else if (prefix.size() <= 16) {
            // The common line: the prefix (at most 15 digits and the tab) in one 16-byte copy.
            fixed_.for_each([&](std::string_view fixed) {
                const std::string_view permuted = permuted_[*labels++];
                const std::size_t n = prefix.size() + fixed.size() + permuted.size();
                if (n > listing_writer::capacity) {
                    put_line<3>(out_, {prefix, fixed, permuted});
                    return;
                }
                char* to = out_.room(n);
                std::memcpy(to, prefix.data(), 16);
                to += prefix.size();
                copy_label(to, fixed);
                copy_label(to + fixed.size(), permuted);
                out_.advance(n);
            });
        } else {
            fixed_.for_each([&](std::string_view fixed) {
                put_line<3>(out_, {prefix, fixed, permuted_[*labels++]});
            });
        }
    }

private:
    listing_columns columns_;
    packed_labels quoted_fixed_;
    const packed_labels& fixed_;
    pieces permuted_;
    pieces strata_;
    std::int64_t listing_ = 0;
    listing_writer& out_;
};

// fixed, permuted_0, ..., permuted_n: one line per row, written when every listing is in.
// Every listing is kept until then, each label as its number in the narrowest type that
// holds the column's label numbers (a byte for up to 256 distinct labels), which is most of
// the run's memory and of the bytes it moves.
template <class Number>
class wide_format final : public listing_format {
public:
    wide_format(const listing_columns& columns, const column_titles& titles,
                std::int64_t reshuffles, listing_writer& out)
        : columns_(columns), fixed_(table_fixed(columns.fixed, quoted_fixed_)),
          between_(table_pieces(columns.permuted, '\t')),
          last_(table_pieces(columns.permuted, '\n')), out_(out) {
        const auto rows = static_cast<std::size_t>(columns.permuted.labels.length());
        const auto listings = static_cast<std::size_t>(reshuffles) + 1;
        if (rows != 0 && listings > std::numeric_limits<std::size_t>::max() / 4 / rows)
            throw generics::capacity_error("the wide table of " + std::to_string(rows) +
                                           " rows and " + std::to_string(listings) +
                                           " listings does not fit in memory");
        // Left uninitialised: every number is written before it is read, and pages are
        // touched only as listings come in.
        listings_ = std::make_unique_for_overwrite<Number[]>(rows * listings);
        listings_in_line_ = listings;
        // A block of at most 16 listings and a quarter of a million labels.
        block_listings_ =
            std::clamp<std::size_t>((std::size_t{1} << 18) / std::max<std::size_t>(rows, 1), 1, 16);
        block_.reserve(block_listings_ * rows);
        std::string header;
        textutils::append_table_field(header, titles.fixed);
        for (std::size_t k = 0; k < listings; ++k) {
            header.push_back('\t');
            textutils::append_table_field(header, titles.permuted + "_" + std::to_string(k));
        }
        header.push_back('\n');
        out_.put(header);
    }

    // Listings come in one at a time but go out line by line: a few of them are gathered in a
    // block, then moved into the lines, a short run of each line at a time, so that neither the
    // gathering nor the moving strides across the whole table.
    void add() override {
        const auto& labels = columns_.permuted.labels;
        for (const std::uint32_t label : labels) block_.push_back(static_cast<Number>(label));
        if (++in_block_ == block_listings_) move_block();
    }

    void finish() override {
        move_block();
        const std::size_t n = listings_in_line_;
        const Number* line = listings_.get();
        fixed_.for_each([&](std::string_view fixed) {
            std::size_t bytes = fixed.size() + last_[line[n - 1]].size();
            for (std::size_t k = 0; k + 1 < n; ++k) bytes += between_[line[k]].size();
            if (bytes > listing_writer::capacity) {
                out_.put(fixed);
                for (std::size_t k = 0; k + 1 < n; ++k) out_.put(between_[line[k]]);
                out_.put(last_[line[n - 1]]);
            } else {
                char* to = out_.room(bytes);
                copy_label(to, fixed);
                to += fixed.size();
                for (std::size_t k = 0; k + 1 < n; ++k) {
                    const std::string_view label = between_[line[k]];
                    copy_label(to, label);
                    to += label.size();
                }
                copy_label(to, last_[line[n - 1]]);
                out_.advance(bytes);
            }
            line += n;
        });
    }

private:
    listing_columns columns_;
    packed_labels quoted_fixed_;
    const packed_labels& fixed_;
    pieces between_;                     // permuted labels ending in a tab
    pieces last_;                        // and in a line feed, for the last listing
    std::unique_ptr<Number[]> listings_; // line by line, the label number in every listing
    std::size_t listings_in_line_ = 1;
    std::vector<Number> block_; // the listings not yet moved, one after the other
    std::size_t block_listings_ = 1;
    std::size_t in_block_ = 0;
    std::size_t moved_ = 0; // listings moved into the lines

    void move_block() {
        const std::size_t rows = fixed_.size();
        const std::size_t n = listings_in_line_;
        Number* line = listings_.get() + moved_;
        for (std::size_t i = 0; i < rows; ++i, line += n)
            for (std::size_t k = 0; k < in_block_; ++k) line[k] = block_[k * rows + i];
        moved_ += in_block_;
        in_block_ = 0;
        block_.clear();
    }
    listing_writer& out_;
};

} // namespace

std::unique_ptr<listing_format> make_listing_format(output_format format,
                                                    const listing_columns& columns,
                                                    const column_titles& titles,
                                                    std::int64_t reshuffles, listing_writer& out) {
    switch (format) {
    case output_format::long_table:
        return std::make_unique<long_format>(columns, titles, out);
    case output_format::wide_table: {
        const std::size_t labels = columns.permuted.distinct.size();
        if (labels <= std::size_t{1} << 8)
            return std::make_unique<wide_format<std::uint8_t>>(columns, titles, reshuffles, out);
        if (labels <= std::size_t{1} << 16)
            return std::make_unique<wide_format<std::uint16_t>>(columns, titles, reshuffles, out);
        return std::make_unique<wide_format<std::uint32_t>>(columns, titles, reshuffles, out);
    }
    case output_format::listings:
        break;
    }
    return std::make_unique<listings_format>(columns, out);
}

} // namespace labmix
