#pragma once
// Reading NEXUS files: the character matrix of a DATA or CHARACTERS block and the distance
// matrix of a DISTANCES block, with the taxon names of a TAXA block before them. The reader
// takes what this library's printer writes (print::put with NEXUS or NEXUS_ENCLOSED) and
// what the common tools of the field write (Biopython, DendroPy, ape, phangorn).
//
//   std::ifstream in("primates.nex");
//   phylo::disc_data x = phylo::nexus::get<phylo::disc_data>(in);
//   phylo::squared d = phylo::nexus::get<phylo::squared>(other);
//
// What is read:
//  - keywords in any case; comments [ ... ] anywhere, nested ones too; blocks other than
//    the one asked for (TREES, ASSUMPTIONS, PAUP, ...) and unknown commands are skipped;
//  - taxon names quoted ('Homo sapiens', '' for an apostrophe inside) or not; in a name
//    that is not quoted an underscore stands for a blank, as NEXUS has it, so Homo_sapiens
//    reads as "Homo sapiens" while 'Homo_sapiens' keeps its underscore. So the labels that
//    print::put writes read back as they were, but for what the printer itself changes:
//    NEXUS writes blanks as underscores (read back as blanks) and drops or underscores the
//    other characters print::to_nexus_label names, so a label's own underscores come back
//    as blanks; NEXUS_ENCLOSED quotes the label whole and writes an apostrophe as '`';
//  - FORMAT: DATATYPE (DNA, RNA, NUCLEOTIDE, PROTEIN, STANDARD, CONTINUOUS), INTERLEAVE
//    (bare, =YES or =NO), MISSING, GAP, MATCHCHAR, SYMBOLS; for distances TRIANGLE (LOWER,
//    UPPER, BOTH), DIAGONAL / NODIAGONAL, LABELS / NOLABELS, MISSING, INTERLEAVE;
//  - a matrix row is a name and its values; discrete states may stand in groups with blanks
//    between them; interleaved rows come in blocks of one line per taxon.
//
// Taxa: with a TAXA block (or a TAXLABELS command in the block) the names and their order
// come from it, and the rows are matched to them by name, in any order (a triangle row
// holds the columns of its taxon's place in that order). A DATA block, a block declaring
// NEWTAXA, or one without a TAXA block before it takes the names from its rows, in the
// order they come. Names with blanks should be quoted; some writers (ape, phangorn) leave
// them bare, and the reader then takes the words before the first value of a distance row,
// or, in a sequential character matrix, the words that its row cannot hold (a row ending
// inside a word before its line does), as part of the name. A TAXA block whose TAXLABELS
// holds more names than its NTAX lists the words of such names: the rows then give the
// names, which must be made of those words in that order.
//
// Values: discrete states are kept as written (case, missing and gap symbols included; any
// character but whitespace, '[', ';', '(' and '{' is a state, whatever DATATYPE and SYMBOLS
// say), except that a MATCHCHAR state becomes the state of the first row at that site. Continuous
// values are reals; the MISSING symbol reads as a quiet NaN in real_data and distances and
// is the data error in count_data. A distance matrix comes back as the full square: a
// triangle is mirrored, and a diagonal that is not written is 0.
//
// Errors name the line (and the input for the forms on the current input):
//  - malformed text, an unknown taxon name, a row that is too long or too short, a block
//    of the wrong kind of data, a polymorphic state set ( ... ) or { ... }: the data error;
//  - NTAX=0, or a DIMENSIONS number below 0 or above 2147483647: the range error;
//  - a matrix too large to hold in memory: the capacity error;
//  - the input ending before the block, inside a comment or a quoted name, or inside the
//    matrix: the end error.
// Each call reads up to the END of the block it returns and leaves the rest of the input
// unread; a TAXA block is only seen by the call that reads it.

#include <phylo/core.hpp>

#include <generics/generic_character_io.hpp>

#include <concepts>
#include <iosfwd>
#include <string>
#include <string_view>

namespace phylo::nexus {

// The record types a NEXUS block reads into: disc_data from discrete data (DNA, RNA,
// NUCLEOTIDE, PROTEIN, STANDARD), count_data and real_data from CONTINUOUS data, squared
// from a DISTANCES block.
template <class Data>
concept nexus_record = std::same_as<Data, disc_data> || std::same_as<Data, count_data> ||
    std::same_as<Data, real_data> || std::same_as<Data, squared>;

// The DATATYPE of a character block.
enum class data_kind { STANDARD, DNA, RNA, NUCLEOTIDE, PROTEIN, CONTINUOUS };

// What the FORMAT command of a character block declared. A symbol that was not declared is
// '\0'.
struct character_format {
    data_kind kind = data_kind::STANDARD;
    char missing = '?';
    char gap = '\0';
    char matchchar = '\0';
    std::string symbols; // as declared, blanks removed
    bool interleave = false;
    friend bool operator==(const character_format&, const character_format&) = default;
};

// The first block of the kind Data reads from (DATA or CHARACTERS, or DISTANCES), with the
// taxa of the last TAXA block before it.
template <nexus_record Data>
Data get(std::istream& file);
template <nexus_record Data>
Data get();
template <nexus_record Data>
Data get(generics::text_cursor& c);

// The same for discrete data, also telling what the block's FORMAT declared (its missing
// and gap symbols, for instance).
disc_data get(std::istream& file, character_format& declared);
disc_data get(generics::text_cursor& c, character_format& declared);

// The name a NEXUS file gives a taxon, as the reader reads it: the text between the quotes
// of a quoted name ('' an apostrophe), or, for a bare name, the name with its underscores
// turned into blanks. nexus_name("Homo_sapiens") is "Homo sapiens",
// nexus_name("'O''Brien_2'") is "O'Brien_2".
std::string nexus_name(std::string_view written);

} // namespace phylo::nexus
