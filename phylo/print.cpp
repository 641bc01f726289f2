#include <phylo/print.hpp>

#include <phylo/disc_io.hpp>
#include <phylo/read.hpp>

#include <generics/generic_character_io.hpp>
#include <textutils/string_edit.hpp>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>

namespace phylo::print {

using generics::text_sink;

const std::string_view data_closing_block =
    "\t;\n"
    "end;\n"
    "\n"
    "begin paup;\n"
    "\tset torder=left tcompress taxlabels=full outroot=monophyl\n"
    "\t\tautoclose maxtrees=1000 increase=auto autoinc=1000\n"
    "\t\tstoretreewts storebrlens rootmethod=outgroup\n"
    "\t\twarnroot=no;\n"
    "\tpset opt=deltran collapse=minbrlen;\n"
    "\tdset dcollapse distance=hky85 missdist=ignore rates=equal\n"
    "\t\tpinvar=0;\n"
    "\tdefaults nj bionj breakties=random;\n"
    "\tdefaults upgma bionj breakties=random;\n"
    "\tdefaults bootstrap grpfreq=no;\n"
    "\tdefaults contree grpfreq=no;\n"
    "\tdefaults hsearch addseq=random;\n"
    "\tdefaults savedist triangle=both;\n"
    "\tdefaults describetrees labelnode=no;\n"
    "end;";

const std::string_view distances_closing_block =
    "\t;\n"
    "end;\n"
    "\n"
    "begin paup;\n"
    "\tset torder=left tcompress taxlabels=full outroot=monophyl\n"
    "\t\tautoclose maxtrees=1000 increase=auto autoinc=1000\n"
    "\t\tstoretreewts storebrlens rootmethod=outgroup\n"
    "\t\twarnroot=no;\n"
    "\tdefaults nj bionj breakties=random;\n"
    "\tdefaults upgma bionj breakties=random;\n"
    "\tdefaults contree grpfreq=no;\n"
    "\tdefaults hsearch addseq=random;\n"
    "\tdefaults savedist triangle=both;\n"
    "\tdefaults describetrees labelnode=no;\n"
    "end;";

namespace {

// The characters that may not stand in a NEXUS name: every character outside the graphic
// ones (32 .. 126, 160 .. 255), and the blank and punctuation among them.
const textutils::character_set& nexus_invalid() {
    static const textutils::character_set invalid =
        textutils::character_set::range(0, 32) | textutils::character_set::range(127, 159) |
        textutils::character_set(" ()[]{}/\\,;:=*'\"`+-<>");
    return invalid;
}

// The image of a number in a header line: a blank or a minus sign, then the digits.
std::string image(index_type n) {
    std::string s = n < 0 ? std::string() : std::string(1, ' ');
    s += std::to_string(n);
    return s;
}

void put_fitted(text_sink& s, std::string_view text, index_type width) {
    const auto w = static_cast<std::size_t>(std::max<index_type>(width, 0));
    if (text.size() >= w) {
        s.put(text.substr(0, w));
    } else {
        s.put(text);
        s.put(w - text.size(), ' ');
    }
}

void write_numbers(text_sink& s, index_type nchar, index_type width) {
    if (width < 1)
        throw range_error("the ruler needs a positive label width, not " + std::to_string(width));
    const auto lead = [&] {
        s.put('[');
        s.put(static_cast<std::size_t>(width - 1), ' ');
        s.put('\t');
    };
    index_type last = 10;
    while (last <= nchar) last += 10;
    lead();
    for (index_type i = 10; i <= last; i += 10) {
        const std::string n = std::to_string(i);
        s.put(n.size() < 10 ? 10 - n.size() : 0, ' ');
        s.put(n);
    }
    s.put(']');
    s.line_end();
    lead();
    for (index_type i = 10; i <= last; i += 10) s.put("         .");
    s.put(']');
    s.line_end();
}

void write_label(text_sink& s, std::string_view label, output_format format, index_type width) {
    switch (format) {
    case output_format::EXTENDED_PHYLIP: {
        std::string l(label);
        std::replace(l.begin(), l.end(), ' ', '_');
        put_fitted(s, l, width);
        return;
    }
    case output_format::LABELS:
        s.put(label);
        s.line_end();
        return;
    case output_format::NEXUS:
        put_fitted(s, to_nexus_label(label), width);
        return;
    case output_format::NEXUS_ENCLOSED: {
        std::string l = "'";
        l += label;
        std::replace(l.begin() + 1, l.end(), '\'', '`');
        l += '\'';
        put_fitted(s, l, width);
        return;
    }
    case output_format::PHYLIP:
        put_fitted(s, label, 10);
        return;
    case output_format::RAW:
        return;
    }
}

void write_header(text_sink& s, index_type ntax, index_type nchar, output_format format,
                  datatype kind, char separator = '\t') {
    switch (format) {
    case output_format::EXTENDED_PHYLIP:
    case output_format::PHYLIP:
        s.put(image(ntax));
        s.put(separator);
        s.put(image(nchar));
        s.line_end();
        return;
    case output_format::NEXUS:
    case output_format::NEXUS_ENCLOSED:
        s.put("#NEXUS\n\nbegin data;\n\tdimensions ntax=");
        s.put(image(ntax));
        s.put(" nchar=");
        s.put(image(nchar));
        s.put(";\n\tformat datatype=");
        s.put(kind == datatype::CONTINUOUS ? "continuous"
              : kind == datatype::DNA      ? "nucleotide gap=-"
                                           : "protein gap=-");
        s.put(" missing=?;\n\tmatrix");
        s.line_end();
        return;
    case output_format::LABELS:
    case output_format::RAW:
        return;
    }
}

void write_header(text_sink& s, const taxon_labels& labels, dist_output_format format) {
    switch (format) {
    case dist_output_format::EXTENDED_PHYLIP:
    case dist_output_format::PHYLIP:
        s.put(image(labels.length()));
        s.line_end();
        return;
    case dist_output_format::NEXUS:
    case dist_output_format::NEXUS_ENCLOSED:
        s.put("#NEXUS\n\nbegin distances;\n\tdimensions newtaxa ntax=");
        s.put(image(labels.length()));
        s.put(";\n\tformat triangle=both labels;\n\tmatrix");
        s.line_end();
        return;
    case dist_output_format::TAB_SEPARATED:
        for (const std::string& l : labels) {
            s.put('\t');
            const std::size_t at = s.buffer().size();
            s.put(l);
            std::replace(s.buffer().begin() + static_cast<std::ptrdiff_t>(at), s.buffer().end(),
                         ' ', '_');
        }
        s.line_end();
        return;
    case dist_output_format::LABELS:
    case dist_output_format::ONE_COLUMN:
    case dist_output_format::RAW:
        return;
    }
}

void write_footer(text_sink& s, output_format format) {
    if (format == output_format::NEXUS || format == output_format::NEXUS_ENCLOSED) {
        s.put(data_closing_block);
        s.line_end();
    }
}

void write_footer(text_sink& s, dist_output_format format) {
    switch (format) {
    case dist_output_format::NEXUS:
    case dist_output_format::NEXUS_ENCLOSED:
        s.put(distances_closing_block);
        s.line_end();
        return;
    case dist_output_format::LABELS:
    case dist_output_format::ONE_COLUMN:
    case dist_output_format::RAW:
        s.line_end();
        return;
    default:
        return;
    }
}

// A reader of PHYLIP takes the 10 columns of a name and strips them, so two labels that
// agree there would come back as one name twice: refused before anything is written. Equal
// labels are left alone; they are the caller's own.
void check_phylip_names(const taxon_labels& labels) {
    std::unordered_map<std::string_view, index_type> seen;
    seen.reserve(static_cast<std::size_t>(std::max<index_type>(labels.length(), 0)));
    for (index_type i = labels.first(); i <= labels.last(); ++i) {
        const std::string& label = labels.unchecked(i);
        const std::string_view name =
            textutils::trim(std::string_view(label).substr(0, 10), textutils::whitespace);
        const auto [at, fresh] = seen.emplace(name, i);
        if (!fresh && labels.unchecked(at->second) != label)
            throw range_error("the labels \"" + labels.unchecked(at->second) + "\" (taxon " +
                              std::to_string(at->second) + ") and \"" + label + "\" (taxon " +
                              std::to_string(i) + ") are both \"" + std::string(name) +
                              "\" in the 10 columns of a PHYLIP name");
    }
}

[[noreturn]] void fail_no_width() {
    throw range_error("every label is empty, so the label column would have no width");
}

std::string label_for_message(std::string_view label) {
    std::string s = "\"";
    for (const char ch : label.substr(0, 40)) {
        if (ch == '\t')
            s += "\\t";
        else if (ch == '\n')
            s += "\\n";
        else if (ch == '\r')
            s += "\\r";
        else
            s += ch;
    }
    return s + (label.size() > 40 ? "...\"" : "\"");
}

// A label that the reader of `format` would take apart or lose is refused before anything
// is written: a line end anywhere it is written as it stands (PHYLIP does not count it in a
// name's 10 columns; a label list ends the label there), a tab or other control character
// where the reader ends a name at one (extended PHYLIP, the tab-separated and one-column
// distance layouts; PHYLIP trims one at the name's ends), and a PHYLIP name whose 10 columns
// are blank, which the reader refuses. NEXUS turns every such character into "_" and the
// quoted NEXUS names keep them.
void check_labels(const taxon_labels& labels, output_format format) {
    if (format == output_format::NEXUS || format == output_format::NEXUS_ENCLOSED ||
        format == output_format::RAW)
        return;
    const textutils::character_set refused =
        format == output_format::EXTENDED_PHYLIP ? read::control_characters
        : format == output_format::LABELS        ? textutils::character_set("\n\r")
                                                 : textutils::character_set("\t\n\r");
    for (index_type i = labels.first(); i <= labels.last(); ++i) {
        const std::string& label = labels.unchecked(i);
        const auto bad = std::find_if(label.begin(), label.end(),
                                      [&refused](char ch) { return refused.contains(ch); });
        if (bad != label.end())
            throw range_error("the label " + label_for_message(label) + " of taxon " +
                              std::to_string(i) + " holds " +
                              generics::text_cursor::describe(static_cast<unsigned char>(*bad)) +
                              ", where a reader of the layout would end the name");
        if (format == output_format::PHYLIP &&
            textutils::trim(std::string_view(label).substr(0, 10), textutils::whitespace).empty())
            throw range_error("the label " + label_for_message(label) + " of taxon " +
                              std::to_string(i) +
                              " is blank in the 10 columns of a PHYLIP name, which names no taxon");
    }
    if (format == output_format::PHYLIP) check_phylip_names(labels);
}

// No double needs more digits than these before the point (309), after it (1074) or in its
// exponent (3); far larger layouts only fill memory with padding.
void check_layout(std::size_t fore, std::size_t aft, std::size_t exp) {
    constexpr std::size_t most = 1100;
    if (fore > most || aft > most || exp > most)
        throw range_error("the real layout " + std::to_string(fore) + ", " + std::to_string(aft) +
                          ", " + std::to_string(exp) + " asks for more than " +
                          std::to_string(most) + " digits");
}

// The separator of the fields of `format`: blanks replace tabs only in the PHYLIP layouts.
char separator_of(output_format format, field_separator separator) {
    const bool phylip = format == output_format::PHYLIP || format == output_format::EXTENDED_PHYLIP;
    return phylip && separator == field_separator::BLANK ? ' ' : '\t';
}

// The shared steps of the character matrix layouts; `write_row(s, row, sep)` writes the
// sep-led values of one row and its line end.
template <class Data, class WriteRow>
void put_characters(std::ostream& file, const Data& x, output_format format, datatype kind,
                    field_separator separator, WriteRow&& write_row) {
    if (x.last < x.first) throw range_error("a character matrix without taxa cannot be written");
    const auto& first_row = x.rows[x.first];
    if (!first_row)
        throw range_error("the row of the first taxon " + std::to_string(x.first) + " is null");
    const index_type ntax = x.last - x.first + 1;
    const index_type nchar = first_row->length();
    // The header declares the first row's length for every row: a row of another length, read
    // back, would take values from the next row or leave them to it.
    if (format != output_format::LABELS)
        for (index_type i = x.first; i <= x.last; ++i) {
            const auto& row = x.rows[i];
            if (!row) throw range_error("the row of taxon " + std::to_string(i) + " is null");
            if (row->length() != nchar)
                throw range_error("the row of taxon " + std::to_string(i) + " holds " +
                                  std::to_string(row->length()) + " characters, the first row " +
                                  std::to_string(nchar) + "; every row must be as long");
        }
    check_labels(x.labels, format);
    index_type w = 10;
    switch (format) {
    case output_format::EXTENDED_PHYLIP:
    case output_format::NEXUS:
        w = longest_label(x.labels);
        if (w == 0) fail_no_width();
        break;
    case output_format::NEXUS_ENCLOSED:
        w = longest_label(x.labels) + 2;
        break;
    default:
        break;
    }
    const char sep = separator_of(format, separator);
    text_sink s(file);
    write_header(s, ntax, nchar, format, kind, sep);
    if (format == output_format::NEXUS || format == output_format::NEXUS_ENCLOSED)
        write_numbers(s, nchar, w);
    for (index_type i = x.first; i <= x.last; ++i) {
        write_label(s, x.labels[i], format, w);
        if (format == output_format::LABELS) continue;
        write_row(s, *x.rows[i], sep);
    }
    write_footer(s, format);
    s.flush();
}

} // namespace

index_type longest_label(const taxon_labels& labels) {
    std::size_t longest = 0;
    for (const std::string& l : labels) longest = std::max(longest, l.size());
    return static_cast<index_type>(longest);
}

std::string to_nexus_label(std::string_view label) {
    const auto& invalid = nexus_invalid();
    const textutils::character_mapping to_underscore = textutils::map_all(invalid, '_');
    std::string out(textutils::trim(label, invalid));
    for (char& ch : out) ch = to_underscore(ch);
    return out;
}

void print_numbers(std::ostream& file, index_type nchar, index_type width) {
    text_sink s(file);
    write_numbers(s, nchar, width);
    s.flush();
}

void print_label(std::ostream& file, std::string_view label, output_format format,
                 index_type width) {
    text_sink s(file);
    write_label(s, label, format, width);
    s.flush();
}

void print_header(std::ostream& file, index_type ntax, index_type nchar, output_format format,
                  datatype kind) {
    text_sink s(file);
    write_header(s, ntax, nchar, format, kind);
    s.flush();
}
void print_header(std::ostream& file, const taxon_labels& labels, dist_output_format format) {
    text_sink s(file);
    write_header(s, labels, format);
    s.flush();
}

void print_footer(std::ostream& file, output_format format) {
    text_sink s(file);
    write_footer(s, format);
    s.flush();
}
void print_footer(std::ostream& file, dist_output_format format) {
    text_sink s(file);
    write_footer(s, format);
    s.flush();
}

void put(std::ostream& file, const disc_data& x, output_format format, field_separator separator) {
    put_characters(
        file, x, format, datatype::DNA, separator,
        [](text_sink& s, const disc_array& row, char sep) { disc_io::write(s, row, false, sep); });
}
void put(std::ostream& file, const disc_data& x, output_format format) {
    put(file, x, format, field_separator::TAB);
}

void put(std::ostream& file, const count_data& x, output_format format, field_separator separator) {
    put_characters(file, x, format, datatype::CONTINUOUS, separator,
                   [](text_sink& s, const count_array& row, char sep) {
                       count_chars::io::write(s, row, false, sep);
                   });
}
void put(std::ostream& file, const count_data& x, output_format format) {
    put(file, x, format, field_separator::TAB);
}

void put(std::ostream& file, const real_data& x, output_format format, field_separator separator,
         std::size_t fore, std::size_t aft, std::size_t exp) {
    check_layout(fore, aft, exp);
    put_characters(file, x, format, datatype::CONTINUOUS, separator,
                   [=](text_sink& s, const real_array& row, char sep) {
                       real_chars::io::write(s, row, false, sep, fore, aft, exp);
                   });
}
void put(std::ostream& file, const real_data& x, output_format format, std::size_t fore,
         std::size_t aft, std::size_t exp) {
    put(file, x, format, field_separator::TAB, fore, aft, exp);
}

void put(std::ostream& file, const squared& x, dist_output_format format, std::size_t fore,
         std::size_t aft, std::size_t exp) {
    put(file, x, format, field_separator::TAB, fore, aft, exp);
}

void put(std::ostream& file, const real_data& x, output_format format, const real_layout& layout,
         field_separator separator) {
    put(file, x, format, separator, layout.fore, layout.aft, layout.exp);
}
void put(std::ostream& file, const squared& x, dist_output_format format, const real_layout& layout,
         field_separator separator) {
    put(file, x, format, separator, layout.fore, layout.aft, layout.exp);
}

void put(std::ostream& file, const squared& x, dist_output_format format, field_separator separator,
         std::size_t fore, std::size_t aft, std::size_t exp) {
    check_layout(fore, aft, exp);
    const output_format lf = label_format(format);
    check_labels(x.labels, lf);
    // What a reader of distances cannot take back as the value written.
    if (format != dist_output_format::LABELS)
        for (index_type i = x.matrix.row_first(); i <= x.matrix.row_last(); ++i)
            for (index_type j = x.matrix.col_first(); j <= x.matrix.col_last(); ++j)
                if (!std::isfinite(x.matrix.unchecked(i, j)))
                    throw range_error(
                        "the distance of row " + std::to_string(i) + ", column " +
                        std::to_string(j) + " is " +
                        (std::isnan(x.matrix.unchecked(i, j)) ? "not a number" : "infinite") +
                        ", which no reader of distances takes back");
    const bool phylip =
        format == dist_output_format::PHYLIP || format == dist_output_format::EXTENDED_PHYLIP;
    const char sep = phylip && separator == field_separator::BLANK ? ' ' : '\t';
    index_type w = 0;
    switch (format) {
    case dist_output_format::NEXUS_ENCLOSED:
        w = longest_label(x.labels) + 2;
        break;
    case dist_output_format::LABELS:
    case dist_output_format::PHYLIP:
        w = 10;
        break;
    case dist_output_format::RAW:
        break;
    default:
        w = longest_label(x.labels);
        if (w == 0) fail_no_width();
        break;
    }
    text_sink s(file);
    write_header(s, x.labels, format);
    switch (format) {
    case dist_output_format::ONE_COLUMN:
        for (index_type i = x.first + 1; i <= x.last; ++i) {
            for (index_type j = x.first; j < i; ++j) {
                write_label(s, x.labels[i], lf, w);
                s.put('\t');
                write_label(s, x.labels[j], lf, w);
                s.put('\t');
                generics::put_real(s.buffer(), x.matrix(i, j), fore, aft, exp);
                s.line_end();
            }
        }
        break;
    case dist_output_format::LABELS:
        for (index_type i = x.first; i <= x.last; ++i) write_label(s, x.labels[i], lf, w);
        break;
    default:
        for (index_type i = x.first; i <= x.last; ++i) {
            write_label(s, x.labels[i], lf, w);
            real_chars::io::write_row(s, i, x.matrix, false, sep, fore, aft, exp);
        }
        break;
    }
    write_footer(s, format);
    s.flush();
}

} // namespace phylo::print
