#pragma once
// The output formats of the listings (--format): listings as blocks, and the long and wide
// tables that R's read.delim(f) and pandas' read_csv(f, sep="\t", keep_default_na=False) read
// with no other arguments.
//
// In the tables a field that holds a double quote or a carriage return is written between
// double quotes with its double quotes doubled: unquoted, both readers would take the quote
// as the start of a quoted field and a carriage return as a line end. Every other field is
// written as it stands. (The listings format writes every label as it stands.)

#include <tool/header.hpp>
#include <tool/labels.hpp>
#include <tool/listing_writer.hpp>
#include <tool/options.hpp>

#include <memory>
#include <string>
#include <string_view>

namespace labmix {

// The columns of every listing. The permuted labels (and the stratum labels) are read as they
// stand at each call of `add`; the road reshuffles them in place between calls.
struct listing_columns {
    const packed_labels& fixed;
    const permuted_labels& permuted;
    const permuted_labels* strata = nullptr; // with --strata: the stratum of every row
};

// Writes the listings of one run, one after the other, in one format.
class listing_format {
public:
    virtual ~listing_format() = default;
    // Takes the listing of the permuted labels as they stand now.
    virtual void add() = 0;
    // Ends the output; the wide table is written here, as it needs every listing.
    virtual void finish() {}
};

// The writer of `format` for a run of 1 + `reshuffles` listings; the long and wide tables
// write their header line first. `columns` and `out` must outlive it.
std::unique_ptr<listing_format> make_listing_format(output_format format,
                                                    const listing_columns& columns,
                                                    const column_titles& titles,
                                                    std::int64_t reshuffles, listing_writer& out);

// One listing: for every row, fixed label, tab, permuted label, line feed; then an empty line.
void print_both(const packed_labels& fixed, const permuted_labels& permuted, listing_writer& out);

} // namespace labmix
