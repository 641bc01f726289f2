#pragma once
// The shared vocabulary of the phylo library: taxon labels, the element types of the four
// kinds of character data, their arrays, matrices, row references and row vectors, the
// labelled data records, the labelled square matrix `squared`, and `free_data`.

#include <generics/bounded_array.hpp>
#include <generics/errors.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace phylo {

using generics::index_type;
using generics::max_index;
// Selects the per-row forms (one result per row of a vector) of folds and extremes.
using generics::per_row;
using generics::per_row_t;

using generics::argument_error;
using generics::capacity_error;
using generics::data_error;
using generics::end_error;
using generics::length_error;
using generics::name_error;
using generics::pattern_error;
using generics::range_error;
using generics::use_error;

// One taxon name (or one field of a table) per index.
using taxon_labels = generics::bounded_array<std::string>;

// Element types of the four kinds of character.
using disc_element = char; // a state symbol as read
enum class binary : std::uint8_t { PRESENCE, ABSENCE, UNKNOWN };
using count_element = std::int32_t; // 0 .. 2147483647
using real_element = double;

// What a matrix file carries.
enum class datatype { CONTINUOUS, DNA, PROTEIN };

using disc_array = generics::bounded_array<disc_element>;
using binary_array = generics::bounded_array<binary>;
using count_array = generics::bounded_array<count_element>;
using real_array = generics::bounded_array<real_element>;

using disc_matrix = generics::bounded_matrix<disc_element>;
using binary_matrix = generics::bounded_matrix<binary>;
using count_matrix = generics::bounded_matrix<count_element>;
using real_matrix = generics::bounded_matrix<real_element>;

using disc_array_access = std::unique_ptr<disc_array>;
using binary_array_access = std::unique_ptr<binary_array>;
using count_array_access = std::unique_ptr<count_array>;
using real_array_access = std::unique_ptr<real_array>;

using disc_vector = generics::bounded_array<disc_array_access>;
using binary_vector = generics::bounded_array<binary_array_access>;
using count_vector = generics::bounded_array<count_array_access>;
using real_vector = generics::bounded_array<real_array_access>;

// A character matrix of one kind with its taxon names: `labels` and `rows` both cover
// first .. last. The record owns its rows; `free_data` releases them early.
template <class Element>
struct character_data {
    using row_vector = generics::bounded_array<std::unique_ptr<generics::bounded_array<Element>>>;

    character_data(index_type first_taxon, index_type last_taxon)
        : first(first_taxon), last(last_taxon < first_taxon ? first_taxon - 1 : last_taxon),
          labels(first_taxon, last_taxon), rows(first_taxon, last_taxon) {}

    const index_type first;
    const index_type last;
    taxon_labels labels;
    row_vector rows;
};

using disc_data = character_data<disc_element>;
using binary_data = character_data<binary>;
using count_data = character_data<count_element>;
using real_data = character_data<real_element>;

// A labelled square matrix of reals (distances or similarities), rows and columns both
// first .. last.
struct squared {
    squared(index_type first_taxon, index_type last_taxon)
        : first(first_taxon), last(last_taxon < first_taxon ? first_taxon - 1 : last_taxon),
          labels(first_taxon, last_taxon),
          matrix(first_taxon, last_taxon, first_taxon, last_taxon) {}
    // Over labels and a matrix made elsewhere, which must have the same taxon bounds (the
    // range error otherwise).
    squared(taxon_labels taxa, real_matrix distances)
        : first(taxa.first()), last(taxa.last()), labels(std::move(taxa)),
          matrix(std::move(distances)) {
        if (matrix.row_first() != first || matrix.row_last() != last ||
            matrix.col_first() != first || matrix.col_last() != last)
            throw range_error("a distance matrix must span the taxa " + std::to_string(first) +
                              " .. " + std::to_string(last) + " in both directions");
    }

    const index_type first;
    const index_type last;
    taxon_labels labels;
    real_matrix matrix;
};

using disc_data_access = std::unique_ptr<disc_data>;
using binary_data_access = std::unique_ptr<binary_data>;
using count_data_access = std::unique_ptr<count_data>;
using real_data_access = std::unique_ptr<real_data>;
using squared_access = std::unique_ptr<squared>;

// Releases every row, then the record, and sets `data` to null; a null `data` is the range
// error and releases nothing.
void free_data(disc_data_access& data);
void free_data(binary_data_access& data);
void free_data(count_data_access& data);
void free_data(real_data_access& data);

} // namespace phylo
