#include <phylo/distance/matrix_file.hpp>

#include <phylo/nexus.hpp>

#include <generics/generic_character_io.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <fstream>
#include <istream>
#include <iterator>
#include <optional>
#include <sstream>
#include <unordered_map>
#include <utility>

namespace phylo::distance {

using generics::text_cursor;

namespace {

// The first line of the input holding text other than blanks and tabs, those around it dropped
// (empty when there is none). Reads at most `limit` characters of it: enough to tell a layout.
std::string first_text_line(text_cursor& c) {
    constexpr std::size_t limit = 4096;
    for (;;) {
        std::string line;
        for (; !c.at_line_end() && line.size() < limit; c.bump())
            line.push_back(static_cast<char>(c.peek()));
        const auto from = line.find_first_not_of(" \t");
        if (from != std::string::npos || c.peek() == text_cursor::eof) {
            line.erase(0, std::min(from, line.size()));
            line.erase(line.find_last_not_of(" \t") + 1);
            return line;
        }
        c.skip_line_end();
    }
}

matrix_layout tell_layout(text_cursor& c) {
    const std::string line = first_text_line(c);
    std::string start = line.substr(0, 6);
    std::transform(start.begin(), start.end(), start.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
    if (start == "#NEXUS") return matrix_layout::NEXUS;
    if (line.find('\t') != std::string::npos) return matrix_layout::TAB_SEPARATED;
    const std::string word = line.substr(0, line.find(' '));
    if (!word.empty() && word.find_first_not_of("0123456789") == std::string::npos)
        return matrix_layout::PHYLIP;
    c.fail<data_error>(
        "the first line is neither #NEXUS, nor a PHYLIP header (the number of taxa), nor a "
        "tab-separated header line of labels, so the layout of the distances is unknown");
}

squared read_whole(text_cursor& c, matrix_layout layout, read::triangle shape) {
    using enum matrix_layout;
    squared d = [&] {
        switch (layout) {
        case NEXUS:
            return nexus::get<squared>(c);
        case PHYLIP:
            return read::get(c, read::dist_input_format::PHYLIP, shape);
        case EXTENDED_PHYLIP:
            return read::get(c, read::dist_input_format::EXTENDED_PHYLIP, shape);
        case TAB_SEPARATED:
        case AUTOMATIC:
            break;
        }
        return read::get(c, read::dist_input_format::TAB_SEPARATED, shape);
    }();
    // Other blocks may follow a NEXUS DISTANCES block; nothing may follow the other layouts.
    if (layout != NEXUS) read::expect_end(c);
    return d;
}

bool same(const squared& a, const squared& b) {
    if (a.labels.length() != b.labels.length() ||
        !std::equal(a.labels.begin(), a.labels.end(), b.labels.begin()))
        return false;
    const auto n = static_cast<std::size_t>(a.labels.length());
    return std::memcmp(a.matrix.data(), b.matrix.data(), n * n * sizeof(real_element)) == 0;
}

// The message of a failed reading, and the same error with a longer message.
std::string message_of(const std::exception_ptr& e) {
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        return x.what();
    }
}
template <class Error>
bool rethrow_as(const std::exception_ptr& e, const std::string& message) {
    try {
        std::rethrow_exception(e);
    } catch (const Error&) {
        throw Error(message);
    } catch (...) {
    }
    return false;
}

// One input, readable from its start as often as a detection needs.
class rereadable {
public:
    explicit rereadable(std::istream& file) : file_(file), start_(file.tellg()) {
        if (start_ != std::streampos(-1)) return;
        file_.clear();
        copy_.emplace(std::string(std::istreambuf_iterator<char>(file), {}));
    }
    std::istream& from_start() {
        if (copy_) {
            copy_->clear();
            copy_->seekg(0);
            return *copy_;
        }
        file_.clear();
        file_.seekg(start_);
        return file_;
    }

private:
    std::istream& file_;
    std::streampos start_;
    std::optional<std::istringstream> copy_;
};

// A PHYLIP file read with strict and with relaxed names, as the header says.
squared read_phylip(rereadable& input, std::string_view name, read::triangle shape) {
    std::optional<squared> read[2];
    std::exception_ptr failed[2];
    const matrix_layout rules[2] = {matrix_layout::EXTENDED_PHYLIP, matrix_layout::PHYLIP};
    // A tab within the first row's first 10 characters would end up in a strict name, a reading
    // never taken (below): it is not made, which halves the reading of tab-separated files.
    {
        std::istream& in = input.from_start();
        std::string line;
        int taken = 0;
        while (taken < 2 && std::getline(in, line))
            if (line.find_first_not_of(" \t\r") != std::string::npos) ++taken;
        if (taken == 2 && line.substr(0, 10).find('\t') != std::string::npos)
            failed[1] = std::make_exception_ptr(
                data_error("the first row's first 10 characters hold a tab, so they are no name"));
    }
    const bool tried_strict = !failed[1];
    for (int k = 0; k < 2; ++k) {
        if (failed[k]) continue;
        text_cursor c(input.from_start(), true);
        try {
            read[k].emplace(read_whole(c, rules[k], shape));
        } catch (const capacity_error&) {
            throw capacity_error(std::string(name) + ": " + message_of(std::current_exception()));
        } catch (const generics::error&) {
            failed[k] = std::current_exception();
        }
    }
    const std::string file(name);
    // Every writer ends a name at a tab: 10-character names that hold one cut a longer name
    // and a value apart, so that reading is not taken.
    if (read[1]) {
        const auto& labels = read[1]->labels;
        if (std::any_of(labels.data(), labels.data() + labels.length(),
                        [](const std::string& l) { return l.find('\t') != std::string::npos; }))
            read[1].reset();
    }
    if (read[0] && read[1]) {
        if (same(*read[0], *read[1])) return std::move(*read[0]);
        throw data_error(file +
                         ": the PHYLIP rows read both with names ended by a blank or tab and with "
                         "10-character names, to different matrices; name the layout "
                         "(relaxed PHYLIP for the first, PHYLIP for the second)");
    }
    if (read[0]) return std::move(*read[0]);
    if (read[1]) return std::move(*read[1]);
    if (!tried_strict) { // relaxed names were the only reading
        const std::string message = file + ": " + message_of(failed[0]);
        if (!rethrow_as<end_error>(failed[0], message)) rethrow_as<range_error>(failed[0], message);
        throw data_error(message);
    }
    const std::string message =
        file + ": the PHYLIP rows read neither with names ended by a blank or tab (" +
        message_of(failed[0]) + ") nor with 10-character names (" + message_of(failed[1]) + ")";
    if (!rethrow_as<end_error>(failed[0], message)) rethrow_as<range_error>(failed[0], message);
    throw data_error(message);
}

std::string image(double v) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}

} // namespace

squared read_matrix(std::istream& file, std::string_view name, matrix_layout layout,
                    read::triangle shape) {
    rereadable input(file);
    const std::string named(name);
    if (layout == matrix_layout::AUTOMATIC) {
        text_cursor c(input.from_start(), true, named);
        layout = tell_layout(c);
        if (layout == matrix_layout::PHYLIP) return read_phylip(input, name, shape);
        // What writes these files writes the square; told from its rows, a label that starts
        // with a blank would pass for the continued line of the row above.
        if (shape == read::triangle::DETECT) shape = read::triangle::SQUARE;
    }
    text_cursor c(input.from_start(), true, named);
    return read_whole(c, layout, shape);
}

squared read_matrix(const std::string& path, matrix_layout layout, read::triangle shape) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw data_error(path + ": the file cannot be opened");
    return read_matrix(file, path, layout, shape);
}

void check_matrix(const squared& d, std::string_view file) {
    const std::string in = std::string(file) + ": ";
    const index_type first = d.labels.first();
    std::unordered_map<std::string_view, index_type> seen;
    for (index_type i = first; i <= d.labels.last(); ++i) {
        const auto [at, fresh] = seen.emplace(d.labels[i], i);
        if (!fresh)
            throw data_error(in + "the label \"" + d.labels[i] + "\" names both row " +
                             std::to_string(at->second - first + 1) + " and row " +
                             std::to_string(i - first + 1) + "; labels must be unique");
    }
    const auto taxon = [&d](index_type i) { return "\"" + d.labels[i] + "\""; };
    for (index_type i = first; i <= d.labels.last(); ++i) {
        const double self = d.matrix.unchecked(i, i);
        if (self != 0)
            throw data_error(in + "the distance from " + taxon(i) + " to itself is " + image(self) +
                             ", not 0");
        for (index_type j = i + 1; j <= d.labels.last(); ++j) {
            const double there = d.matrix.unchecked(i, j);
            const double back = d.matrix.unchecked(j, i);
            // Only a message spells the pair out: n^2 / 2 strings would cost more than the check.
            const auto pair = [&] { return "from " + taxon(i) + " to " + taxon(j); };
            for (const double v : {there, back})
                if (!std::isfinite(v))
                    throw data_error(in + "the distance " + pair() + " (or back) is " + image(v) +
                                     ", not a finite number");
            if (there != back &&
                !(std::abs(there - back) <= 1e-9 * std::max(std::abs(there), std::abs(back))))
                throw data_error(in + "the matrix is not symmetric: the distance " + pair() +
                                 " is " + image(there) + ", back " + image(back) +
                                 " (they must agree within 1e-9 of the larger)");
            if (std::min(there, back) < 0)
                throw data_error(in + "the distance " + pair() + " is " +
                                 image(std::min(there, back)) + ", below 0");
        }
    }
}

} // namespace phylo::distance
