#include <phylo/nexus.hpp>

#include <phylo/chars_io.hpp>

#include <generics/current_io.hpp>
#include <generics/natural_number.hpp>
#include <textutils/charset.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <istream>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace phylo::nexus {

using generics::text_cursor;

namespace {

constexpr int eof = text_cursor::eof;

// NEXUS punctuation: each of these is a token of its own in a command.
const textutils::character_set punctuation("()[]{}/\\,;:=*'\"`+-<>");

bool is_space(int ch) { return ch != eof && textutils::whitespace.contains(static_cast<char>(ch)); }

char upper(char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch; }

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& ch : u) ch = upper(ch);
    return u;
}

std::string quoted_for_message(std::string_view s) {
    std::string m = "\"";
    m += s.size() > 40 ? std::string(s.substr(0, 40)) + "..." : std::string(s);
    m += '"';
    return m;
}

std::string taxon_context(std::size_t i, const std::string& name) {
    std::string s = "taxon " + std::to_string(i);
    if (!name.empty()) s += " (" + (name.size() > 40 ? name.substr(0, 40) + "..." : name) + ")";
    return s;
}

// A token of a command: a word, a single punctuation character, or the text of a quoted
// token.
struct token {
    std::string text;
    bool quoted = false;
    [[nodiscard]] bool is(std::string_view keyword) const {
        return !quoted && text.size() == keyword.size() && upper(text) == keyword;
    }
    [[nodiscard]] bool is(char punct) const {
        return !quoted && text.size() == 1 && text[0] == punct;
    }
};

// The tokens of a NEXUS file over a text cursor: whitespace and comments between them are
// passed over, quoted tokens are unquoted.
class lexer {
public:
    explicit lexer(text_cursor& c) : c_(c) {}
    text_cursor& cursor() noexcept { return c_; }

    // Passes over whitespace and comments and returns the next character, not consumed (eof
    // at the end). With `across_lines` false it stops at a line feed and returns '\n'.
    int skip(bool across_lines = true) {
        for (;;) {
            const int ch = c_.peek();
            if (ch == '\n' && !across_lines) return ch;
            if (ch == 0) fail_nul();
            if (ch == '[') {
                skip_comment();
            } else if (is_space(ch)) {
                c_.bump();
            } else {
                return ch;
            }
        }
    }

    // At '[': passes over the comment, nested ones inside it included.
    void skip_comment() {
        const index_type opened = c_.line();
        c_.bump();
        int depth = 1;
        while (depth > 0) {
            const int ch = c_.peek();
            if (ch == eof)
                c_.fail<end_error>("the input ends inside the comment opened on line " +
                                   std::to_string(opened));
            if (ch == 0) fail_nul();
            if (ch == '[') ++depth;
            if (ch == ']') --depth;
            c_.bump();
        }
    }

    // The next token of a command; the end error names `expected` at the end of the input.
    token word(const std::string& expected) {
        const int ch = skip();
        if (ch == eof) c_.fail_end(expected);
        token t;
        if (ch == '\'' || ch == '"') {
            t.text = quoted(static_cast<char>(ch));
            t.quoted = true;
            return t;
        }
        if (punctuation.contains(static_cast<char>(ch))) {
            c_.bump();
            t.text = static_cast<char>(ch);
            return t;
        }
        for (int k = ch; k != eof && !is_space(k) && !punctuation.contains(static_cast<char>(k));
             k = c_.peek()) {
            t.text.push_back(static_cast<char>(k));
            c_.bump();
        }
        return t;
    }

    // The next taxon name: a quoted token as it stands, or a bare word (ended by whitespace,
    // a comment or ';') with its underscores turned into blanks.
    token name_token() {
        const int ch = skip();
        if (ch == eof) c_.fail_end("a taxon name");
        token t;
        if (ch == '\'') {
            t.text = quoted('\'');
            t.quoted = true;
            return t;
        }
        for (int k = ch; k != eof && !is_space(k) && k != '[' && k != ';'; k = c_.peek()) {
            t.text.push_back(k == '_' ? ' ' : static_cast<char>(k));
            c_.bump();
        }
        return t;
    }
    std::string name() { return name_token().text; }

    // A NUL byte is no text: taken as a blank, as the whitespace set would take it, an input
    // of nothing but NULs (/dev/zero) would be read for ever.
    [[noreturn]] void fail_nul() const {
        c_.fail<data_error>("the input holds a NUL byte (code 0), which is not text");
    }

    // Consumes `ch`, which must come next.
    void expect(char ch, const std::string& what) {
        const int next = skip();
        if (next == eof) c_.fail_end(what);
        if (next != ch) c_.fail_found(what, next);
        c_.bump();
    }

private:
    // At the opening quote: the text up to the closing one, a doubled quote standing for one.
    std::string quoted(char q) {
        const index_type opened = c_.line();
        c_.bump();
        std::string s;
        for (;;) {
            const int ch = c_.peek();
            if (ch == eof)
                c_.fail<end_error>("the input ends inside the quoted token opened on line " +
                                   std::to_string(opened));
            if (ch == 0) fail_nul();
            c_.bump();
            if (ch == q) {
                if (c_.peek() != q) return s;
                c_.bump();
            }
            s.push_back(static_cast<char>(ch));
        }
    }

    text_cursor& c_;
};

// One item of a command such as DIMENSIONS or FORMAT: a key and, after "=", its value
// (a token, or a parenthesised list as one text).
struct option {
    std::string key; // upper case
    token value;
    bool has_value = false;
};

// After an opening parenthesis: the list up to the matching one, as one text such as
// "(STATES)".
std::string read_list(lexer& lx, const std::string& key) {
    std::string list = "(";
    for (int depth = 1; depth > 0;) {
        const token in = lx.word("the ')' that closes the value of " + key);
        if (in.is('(')) ++depth;
        if (in.is(')')) --depth;
        if (list.size() > 1 && !in.is(')')) list += ' ';
        list += in.text;
    }
    return list;
}

// The items of a command up to its ';' (consumed).
std::vector<option> read_options(lexer& lx, const std::string& command) {
    std::vector<option> items;
    const std::string end = "the ';' that ends " + command;
    for (;;) {
        token t = lx.word(end);
        if (t.is(';')) return items;
        option o;
        o.key = upper(t.text);
        if (lx.skip() == '=') {
            lx.cursor().bump();
            o.has_value = true;
            o.value = lx.word("the value of " + o.key);
            if (o.value.is('(')) {
                o.value.text = read_list(lx, o.key);
            } else if (!o.value.quoted && lx.skip() == '(') {
                lx.cursor().bump(); // a list after a word: DATATYPE=MIXED(...)
                o.value.text += read_list(lx, o.key);
            } else if (o.value.is('-') || o.value.is('+')) {
                // A signed number: the sign is a token of its own.
                const int next = lx.cursor().peek();
                if (next >= '0' && next <= '9') o.value.text += lx.word(o.key).text;
            }
        }
        items.push_back(std::move(o));
    }
}

// Passes over the rest of a command, up to and with its ';'.
void skip_command(lexer& lx, const std::string& command) {
    const std::string end = "the ';' that ends the " + command + " command";
    while (!lx.word(end).is(';')) {
    }
}

// The value of DIMENSIONS NTAX= or NCHAR=: a whole number of at least 0.
index_type natural_value(lexer& lx, const option& o) {
    text_cursor& c = lx.cursor();
    if (!o.has_value) c.fail<data_error>(o.key + " needs a value (" + o.key + "=n)");
    std::string_view digits = o.value.text;
    const bool negative = !digits.empty() && digits[0] == '-';
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
    std::string_view rest = digits;
    const generics::natural_digits n = generics::read_digits(rest);
    if (o.value.quoted || n.empty() || !rest.empty())
        c.fail<data_error>(o.key + " must be a whole number, not " +
                           quoted_for_message(o.value.text));
    if (negative && n.value != 0)
        c.fail<range_error>(o.key + " is -" + std::string(n.text()) + ", below 0");
    if (n.value > max_index)
        c.fail<range_error>(o.key + " is " + std::string(n.text()) + ", above " +
                            std::to_string(max_index));
    return static_cast<index_type>(n.value);
}

// The one character of MISSING=, GAP= or MATCHCHAR=.
char symbol_value(lexer& lx, const option& o) {
    if (!o.has_value || o.value.text.size() != 1)
        lx.cursor().fail<data_error>(o.key + " must be one character, not " +
                                     quoted_for_message(o.value.text));
    return o.value.text[0];
}

// Whether a bare INTERLEAVE (or INTERLEAVE=YES) was given.
bool yes_no_value(lexer& lx, const option& o) {
    if (!o.has_value) return true;
    const std::string v = upper(o.value.text);
    if (v == "YES") return true;
    if (v == "NO") return false;
    lx.cursor().fail<data_error>(o.key + " must be YES or NO, not " +
                                 quoted_for_message(o.value.text));
}

// The taxon names of a TAXLABELS command, up to its ';'.
std::vector<std::string> read_taxlabels(lexer& lx) {
    std::vector<std::string> names;
    for (;;) {
        const int ch = lx.skip();
        if (ch == eof) lx.cursor().fail_end("the ';' that ends TAXLABELS");
        if (ch == ';') {
            lx.cursor().bump();
            return names;
        }
        names.push_back(lx.name());
    }
}

// The blank-separated words of the names, in order.
std::vector<std::string> words_of(const std::vector<std::string>& names) {
    std::vector<std::string> words;
    for (const std::string& n : names) {
        std::size_t k = 0;
        while (k < n.size()) {
            const std::size_t e = std::min(n.size(), n.find(' ', k));
            if (e > k) words.push_back(n.substr(k, e - k));
            k = e + 1;
        }
    }
    return words;
}

// Numbers taxon names; two equal names are the data error.
class name_index {
public:
    // Adds `name` as taxon size(); false when it is there already.
    bool add(const std::string& name) {
        return index_.emplace(name, static_cast<index_type>(index_.size())).second;
    }
    // The taxon of `name`, or -1.
    [[nodiscard]] index_type find(const std::string& name) const {
        const auto it = index_.find(name);
        return it == index_.end() ? -1 : it->second;
    }
    [[nodiscard]] std::size_t size() const noexcept { return index_.size(); }
    // Moves taxon i from `from` to `to`; false when `to` is taken.
    bool rename(const std::string& from, const std::string& to, index_type i) {
        if (!index_.emplace(to, i).second) return false;
        index_.erase(from);
        return true;
    }

private:
    std::unordered_map<std::string, index_type> index_;
};

void check_unique(lexer& lx, const std::vector<std::string>& names, const char* where) {
    name_index seen;
    for (const std::string& n : names)
        if (!seen.add(n))
            lx.cursor().fail<data_error>(std::string(where) + " names the taxon " +
                                         quoted_for_message(n) + " twice");
}

// The kinds of block a call looks for.
enum class wanted { characters, distances };

// The parts of a block that decide its taxa: DIMENSIONS NEWTAXA / NTAX and TAXLABELS.
struct block_taxa {
    bool newtaxa = false;
    index_type ntax = -1;
    std::vector<std::string> labels;
    bool have_labels = false;
};

// Rows are read into storage that grows with what is read; a header promising far more
// than the input holds costs no more than this many elements per row in advance.
constexpr std::size_t reserve_cap = std::size_t{1} << 20;

// What the character classes of a discrete matrix are, one byte per character code.
enum char_class : std::uint8_t {
    state,
    space,
    line_feed,
    comment,
    matrix_end,
    polymorphic,
    match,
    nul
};

class reader {
public:
    explicit reader(text_cursor& c) : lx_(c), c_(c) {}

    // Reads blocks up to the BEGIN of the first one of kind `w` (its name and ';' consumed);
    // TAXA blocks on the way are kept, other blocks passed over.
    void find_block(wanted w) {
        const char* what =
            w == wanted::characters ? "a DATA or CHARACTERS block" : "a DISTANCES block";
        // The #NEXUS line opens a file; a cursor that has read a block goes on without it.
        bool opening = true;
        if (lx_.skip() == '#') {
            const token t = lx_.word("#NEXUS");
            if (!t.is("#NEXUS"))
                c_.fail<data_error>("expected #NEXUS, found " + quoted_for_message(t.text));
            opening = false;
        }
        for (;; opening = false) {
            if (lx_.skip() == eof) c_.fail_end(what);
            const token begin = lx_.word(what);
            if (!begin.is("BEGIN"))
                c_.fail<data_error>(std::string("expected ") + (opening ? "#NEXUS or " : "") +
                                    "BEGIN (of " + what + "), found " +
                                    quoted_for_message(begin.text));
            const token name = lx_.word("the name of the block");
            const std::string block = upper(name.text);
            lx_.expect(';', "the ';' after BEGIN " + name.text);
            if (block == "TAXA") {
                read_taxa_block();
            } else if ((w == wanted::characters && (block == "DATA" || block == "CHARACTERS")) ||
                       (w == wanted::distances && block == "DISTANCES")) {
                block_ = block;
                return;
            } else {
                skip_block(block);
            }
        }
    }

    // The rest of a DATA or CHARACTERS block; `read_matrix(taxa, nchar, format)` reads its
    // MATRIX.
    template <class Result, class ReadMatrix>
    Result character_block(character_format& format, ReadMatrix&& read_matrix) {
        block_taxa bt;
        bt.newtaxa = block_ == "DATA";
        index_type nchar = -1;
        bool labels = true;
        std::unique_ptr<Result> result;
        for (;;) {
            const token cmd = lx_.word("END (of the " + block_ + " block)");
            const std::string name = upper(cmd.text);
            if (cmd.is("END") || cmd.is("ENDBLOCK")) {
                lx_.expect(';', "the ';' after END");
                break;
            }
            if (name == "DIMENSIONS") {
                for (const option& o : read_options(lx_, "DIMENSIONS")) {
                    if (o.key == "NEWTAXA") bt.newtaxa = true;
                    if (o.key == "NTAX") bt.ntax = natural_value(lx_, o);
                    if (o.key == "NCHAR") nchar = natural_value(lx_, o);
                }
            } else if (name == "FORMAT") {
                read_character_format(format, labels);
            } else if (name == "TAXLABELS") {
                bt.labels = read_taxlabels(lx_);
                bt.have_labels = true;
                check_unique(lx_, bt.labels, "TAXLABELS");
            } else if (name == "MATRIX") {
                if (nchar < 0)
                    c_.fail<data_error>("MATRIX comes before DIMENSIONS NCHAR= in the " + block_ +
                                        " block");
                taxa t = block_taxa_of(bt);
                t.labels = labels;
                result = std::make_unique<Result>(read_matrix(t, nchar, format));
            } else {
                skip_command(lx_, name);
            }
        }
        if (!result) c_.fail<data_error>("the " + block_ + " block ends without a MATRIX");
        return std::move(*result);
    }

    squared distances_block();

    // The taxa a matrix is read for: known names (from TAXA or TAXLABELS) or, when the rows
    // give them, only their number.
    struct taxa {
        std::vector<std::string> names;
        bool known = false;
        index_type ntax = 0;
        bool labels = true;      // whether rows start with names
        bool join_words = false; // whether a bare name takes the words that follow it
        char missing = '\0';     // a symbol that is a value, never a word of a name
        // The words the names must be made of, in order, when a TAXA block listed the words
        // of bare names with blanks rather than the names.
        std::vector<std::string> expected_words;
    };

    lexer& lex() noexcept { return lx_; }

private:
    void read_taxa_block() {
        index_type ntax = -1;
        bool have = false;
        std::vector<std::string> names;
        for (;;) {
            const token cmd = lx_.word("END (of the TAXA block)");
            if (cmd.is("END") || cmd.is("ENDBLOCK")) {
                lx_.expect(';', "the ';' after END");
                break;
            }
            const std::string name = upper(cmd.text);
            if (name == "DIMENSIONS") {
                for (const option& o : read_options(lx_, "DIMENSIONS"))
                    if (o.key == "NTAX") ntax = natural_value(lx_, o);
            } else if (name == "TAXLABELS") {
                names = read_taxlabels(lx_);
                have = true;
            } else {
                skip_command(lx_, name);
            }
        }
        if (!have) c_.fail<data_error>("the TAXA block has no TAXLABELS");
        taxa_words_.clear();
        if (ntax >= 0 && static_cast<std::size_t>(ntax) < names.size()) {
            // More names than taxa: names with blanks written bare (phangorn does so). The
            // matrix rows will have to give the names, made of these words in this order.
            have_taxa_ = false;
            taxa_words_ = std::move(names);
            taxa_words_ntax_ = ntax;
            return;
        }
        if (ntax >= 0 && static_cast<std::size_t>(ntax) != names.size())
            c_.fail<data_error>("the TAXA block declares NTAX=" + std::to_string(ntax) +
                                " but TAXLABELS names only " + std::to_string(names.size()) +
                                " taxa");
        check_unique(lx_, names, "TAXLABELS");
        taxa_ = std::move(names);
        have_taxa_ = true;
    }

    void skip_block(const std::string& block) {
        for (;;) {
            const token cmd = lx_.word("END (of the " + block + " block)");
            if (cmd.is("END") || cmd.is("ENDBLOCK")) {
                lx_.expect(';', "the ';' after END");
                return;
            }
            if (!cmd.is(';')) skip_command(lx_, upper(cmd.text));
        }
    }

    void read_character_format(character_format& f, bool& labels) {
        for (const option& o : read_options(lx_, "FORMAT")) {
            if (o.key == "DATATYPE") {
                const std::string v = upper(o.value.text);
                if (v == "DNA") {
                    f.kind = data_kind::DNA;
                } else if (v == "RNA") {
                    f.kind = data_kind::RNA;
                } else if (v == "NUCLEOTIDE") {
                    f.kind = data_kind::NUCLEOTIDE;
                } else if (v == "PROTEIN") {
                    f.kind = data_kind::PROTEIN;
                } else if (v == "STANDARD" || v == "RESTRICTION") {
                    f.kind = data_kind::STANDARD;
                } else if (v == "CONTINUOUS") {
                    f.kind = data_kind::CONTINUOUS;
                } else {
                    c_.fail<data_error>("DATATYPE=" + o.value.text + " is not supported");
                }
            } else if (o.key == "MISSING") {
                f.missing = symbol_value(lx_, o);
            } else if (o.key == "GAP") {
                f.gap = symbol_value(lx_, o);
            } else if (o.key == "MATCHCHAR") {
                f.matchchar = symbol_value(lx_, o);
            } else if (o.key == "SYMBOLS") {
                f.symbols.clear();
                for (char ch : o.value.text)
                    if (!is_space(static_cast<unsigned char>(ch))) f.symbols.push_back(ch);
            } else if (o.key == "INTERLEAVE") {
                f.interleave = yes_no_value(lx_, o);
            } else if (o.key == "LABELS") {
                labels = true;
            } else if (o.key == "NOLABELS") {
                labels = false;
            } else if (o.key == "TRANSPOSE") {
                c_.fail<data_error>("FORMAT TRANSPOSE is not supported");
            } else if (o.key == "TOKENS" && f.kind != data_kind::CONTINUOUS) {
                c_.fail<data_error>("FORMAT TOKENS is not supported for discrete data");
            }
        }
    }

    taxa block_taxa_of(const block_taxa& bt) {
        taxa t;
        if (bt.have_labels) {
            t.names = bt.labels;
            t.known = true;
        } else if (!bt.newtaxa && have_taxa_) {
            t.names = taxa_;
            t.known = true;
        } else if (!bt.newtaxa && !taxa_words_.empty()) {
            t.expected_words = taxa_words_;
            t.ntax = taxa_words_ntax_;
        }
        if (t.known) {
            if (bt.ntax >= 0 && static_cast<std::size_t>(bt.ntax) != t.names.size())
                c_.fail<data_error>("DIMENSIONS NTAX=" + std::to_string(bt.ntax) + " but " +
                                    std::to_string(t.names.size()) + " taxa are named");
            t.ntax = static_cast<index_type>(t.names.size());
        } else if (t.expected_words.empty() || bt.ntax >= 0) {
            if (bt.ntax < 0)
                c_.fail<data_error>("the " + block_ +
                                    " block gives no DIMENSIONS NTAX= and no TAXA block "
                                    "comes before it");
            t.ntax = bt.ntax;
        }
        if (t.ntax < 1) c_.fail<range_error>("NTAX=0: a matrix needs at least 1 taxon");
        return t;
    }

    lexer lx_;
    text_cursor& c_;
    std::vector<std::string> taxa_;
    bool have_taxa_ = false;
    std::vector<std::string> taxa_words_; // of a TAXA block with more names than NTAX
    index_type taxa_words_ntax_ = 0;
    std::string block_;
};

// Where each row of a matrix goes: the taxon of each name, in the known order or in the
// order the rows give them.
class row_assigner {
public:
    row_assigner(text_cursor& c, reader::taxa& t) : c_(c), t_(t) {
        for (const std::string& n : t.names) index_.add(n);
    }
    // The taxon of the row named `name`; a new name is the next taxon while the names are
    // not known and there is room for it.
    index_type taxon(const std::string& name) {
        const index_type i = index_.find(name);
        if (i >= 0) return i;
        if (t_.known || static_cast<index_type>(index_.size()) >= t_.ntax) {
            c_.fail<data_error>("the row name " + quoted_for_message(name) +
                                (t_.known ? " is not one of the taxa"
                                          : " is not one of the " + std::to_string(t_.ntax) +
                                                " taxa of the matrix"));
        }
        index_.add(name);
        t_.names.push_back(name);
        return static_cast<index_type>(t_.names.size()) - 1;
    }
    // Gives taxon i the name `name` in place of the one its row began with.
    void rename(index_type i, const std::string& name) {
        if (!index_.rename(t_.names[static_cast<std::size_t>(i)], name, i))
            c_.fail<data_error>("a second row for the taxon " + quoted_for_message(name));
        t_.names[static_cast<std::size_t>(i)] = name;
    }
    // The names in taxon order; the data error when a taxon got no row.
    std::vector<std::string> names() {
        if (static_cast<index_type>(t_.names.size()) < t_.ntax)
            c_.fail<data_error>("the matrix has rows for only " + std::to_string(t_.names.size()) +
                                " of its " + std::to_string(t_.ntax) + " taxa");
        return std::move(t_.names);
    }

private:
    text_cursor& c_;
    reader::taxa& t_;
    name_index index_;
};

// The rest of the current line, looked at without consuming it, when it holds only words of
// plain states (and perhaps a ';' that ends the matrix): the words and the length to
// consume. False for anything else.
template <class ReadValues>
bool line_words(lexer& lx, ReadValues& read_values, std::vector<std::string>& words,
                std::size_t& length) {
    text_cursor& c = lx.cursor();
    std::string_view w = c.window();
    while (w.find('\n') == std::string_view::npos && c.extend()) w = c.window();
    w = w.substr(0, std::min(w.size(), w.find('\n')));
    std::size_t k = 0;
    for (;;) {
        while (k < w.size() && is_space(static_cast<unsigned char>(w[k]))) ++k;
        if (k == w.size() || w[k] == ';') break;
        const std::size_t from = k;
        while (k < w.size() && read_values.plain_state(w[k])) ++k;
        if (k == from) return false;
        words.emplace_back(w.substr(from, k - from));
    }
    length = k;
    return !words.empty();
}

// A bare name with blanks, as ape writes them, over a row that ended inside a word before
// its line did (a row that ends between two words leaves a new row on its line, not the
// rest of itself): the line's words are the name's later words and then the states. The last
// words that make up exactly as many states as the row are the row; the words before them
// join the name. Returns false (consuming nothing) when no such split exists.
template <class Row, class ReadValues>
bool rejoin_name(lexer& lx, ReadValues& read_values, const std::vector<std::size_t>& starts,
                 Row& row, std::string& name) {
    std::vector<std::string> tail;
    std::size_t length = 0;
    if (!line_words(lx, read_values, tail, length)) return false;
    // The row's own words, the last one continued by the line's first word when no blank
    // stands between them.
    std::vector<std::string> words;
    std::size_t from = 0;
    for (const std::size_t b : starts) {
        words.emplace_back(row.begin() + static_cast<std::ptrdiff_t>(from),
                           row.begin() + static_cast<std::ptrdiff_t>(b));
        from = b;
    }
    words.emplace_back(row.begin() + static_cast<std::ptrdiff_t>(from), row.end());
    words.back() += tail.front();
    words.insert(words.end(), tail.begin() + 1, tail.end());
    std::size_t states = 0;
    std::size_t m = words.size();
    while (m > 0 && states < row.size()) states += words[--m].size();
    if (states != row.size() || m == 0) return false;
    std::string states_text;
    for (std::size_t k = 0; k < words.size(); ++k) {
        if (k < m) {
            name += ' ';
            for (const char ch : words[k]) name.push_back(ch == '_' ? ' ' : ch);
        } else {
            states_text += words[k];
        }
    }
    row.assign(states_text.begin(), states_text.end());
    lx.cursor().advance(length);
    return true;
}

// Reads the rows of a matrix, sequential or interleaved. Row i holds want_of(i) values;
// `read_values(row, want, line_mode, reference)` appends values to `row` up to `want` (in
// line mode only up to the line end); `reference` is the first row read, for MATCHCHAR, or
// null for the first row itself.
template <class Row, class WantOf, class ReadValues>
std::vector<Row> read_rows(lexer& lx, reader::taxa& t, bool interleave, WantOf&& want_of,
                           ReadValues&& read_values) {
    text_cursor& c = lx.cursor();
    if (!t.labels && !t.known)
        c.fail<data_error>("a matrix without row names (NOLABELS) needs its taxa named by a "
                           "TAXA block or TAXLABELS");
    const auto n = static_cast<std::size_t>(t.ntax);
    // Rows are made as their taxa come, so that NTAX costs nothing before the rows are there.
    std::vector<Row> rows;
    std::vector<bool> started;
    const auto grow = [&](index_type i) {
        const auto ui = static_cast<std::size_t>(i);
        while (rows.size() <= ui) {
            rows.emplace_back().reserve(
                std::min(want_of(static_cast<index_type>(rows.size())), reserve_cap));
            started.push_back(false);
        }
    };
    row_assigner assign(c, t);
    index_type first = -1;
    bool bare = false; // whether the name of the row just begun was written without quotes
    const auto row_of = [&](std::size_t k) -> index_type {
        bare = false;
        if (!t.labels) {
            if (k >= n)
                c.fail<data_error>("the matrix has more than NTAX=" + std::to_string(n) + " rows");
            grow(static_cast<index_type>(k));
            return static_cast<index_type>(k);
        }
        c.set_row("row " + std::to_string(k) + ": ");
        token name = lx.name_token();
        if (t.join_words && !name.quoted) {
            // A name with blanks that its writer did not quote: the words before the first
            // value are all part of it (values are numbers, so a letter starts a word).
            for (int ch = lx.skip(false);
                 ch != t.missing &&
                 ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '_');
                 ch = lx.skip(false))
                name.text += ' ' + lx.name();
        }
        bare = !name.quoted;
        const index_type i = assign.taxon(name.text);
        grow(i);
        return i;
    };
    const auto reference = [&](index_type i) {
        return i == first ? nullptr : &rows[static_cast<std::size_t>(first)];
    };
    if (!interleave) {
        for (std::size_t k = 0; k < n; ++k) {
            const index_type i = row_of(k);
            const auto ui = static_cast<std::size_t>(i);
            if (started[ui])
                c.fail<data_error>("a second row for the taxon " + quoted_for_message(t.names[ui]));
            started[ui] = true;
            if (first < 0) first = i;
            c.set_row(taxon_context(ui, t.names[ui]) + ", ");
            const std::size_t want = want_of(i);
            std::vector<std::size_t> word_starts;
            const bool recover = bare && !t.known && want > 0;
            read_values.track_words(recover ? &word_starts : nullptr);
            read_values(rows[ui], want, false, reference(i));
            read_values.track_words(nullptr);
            // A row of states that ends inside a word, before its line does, may have begun
            // with the later words of its name.
            if constexpr (std::is_same_v<Row, std::vector<char>>) {
                const int after = c.peek();
                std::string name = t.names[ui];
                if (recover && read_values.on_one_line() && after != eof &&
                    read_values.plain_state(static_cast<char>(after)) &&
                    rejoin_name(lx, read_values, word_starts, rows[ui], name))
                    assign.rename(i, name);
            }
        }
        c.set_row({});
        lx.expect(';', "the ';' that ends the matrix after its " + std::to_string(n) + " rows");
    } else {
        if (!t.labels) c.fail<data_error>("an interleaved matrix needs row names (LABELS)");
        for (std::size_t k = 0;; ++k) {
            const int ch = lx.skip();
            if (ch == eof) c.fail_end("the ';' that ends the matrix");
            if (ch == ';') {
                c.bump();
                break;
            }
            const index_type i = row_of(k);
            const auto ui = static_cast<std::size_t>(i);
            if (first < 0) first = i;
            c.set_row(taxon_context(ui, t.names[ui]) + ", ");
            const std::size_t want = want_of(i);
            read_values(rows[ui], want, true, reference(i));
            // A line of an interleaved block holds values of one row only.
            const int after = lx.skip(false);
            if (after != '\n' && after != eof && after != ';')
                c.fail<data_error>("the row holds more than its " + std::to_string(want) +
                                   " values" +
                                   (bare ? " (a taxon name with blanks must be quoted)" : ""));
            c.set_row({});
        }
        // Known taxa that got no line at all come out as rows too short.
        if (t.known) grow(t.ntax - 1);
        for (std::size_t i = 0; i < rows.size() && i < t.names.size(); ++i) {
            const std::size_t want = want_of(static_cast<index_type>(i));
            if (rows[i].size() != want)
                c.fail<data_error>(taxon_context(i, t.names[i]) + " has " +
                                   std::to_string(rows[i].size()) + " values, not " +
                                   std::to_string(want));
        }
    }
    t.names = assign.names();
    if (!t.expected_words.empty() && words_of(t.names) != words_of(t.expected_words))
        c.fail<data_error>("the TAXA block lists " + std::to_string(t.expected_words.size()) +
                           " names for NTAX=" + std::to_string(t.ntax) +
                           " taxa, and the names of the matrix rows are not made of them (a "
                           "name with blanks must be quoted)");
    return rows;
}

// Reads discrete states straight from the buffered window, a run of plain states at a time.
class state_reader {
public:
    state_reader(lexer& lx, const character_format& f) : lx_(lx) {
        classes_.fill(state);
        for (int ch = 0; ch < 256; ++ch)
            if (textutils::whitespace.contains(static_cast<char>(ch)))
                classes_[static_cast<std::size_t>(ch)] = space;
        classes_['\n'] = line_feed;
        classes_[0] = nul;
        classes_['['] = comment;
        classes_[';'] = matrix_end;
        classes_['('] = polymorphic;
        classes_['{'] = polymorphic;
        if (f.matchchar != '\0') classes_[static_cast<unsigned char>(f.matchchar)] = match;
    }

    // While `starts` is set, the positions in the row where a word of states begins after a
    // gap are put in it, up to the first line end.
    void track_words(std::vector<std::size_t>* starts) noexcept {
        starts_ = starts;
        gap_ = false;
        if (starts != nullptr) one_line_ = true;
    }
    // Whether the last row read while tracking words stayed on the line it began on.
    [[nodiscard]] bool on_one_line() const noexcept { return one_line_; }
    [[nodiscard]] bool plain_state(char ch) const noexcept {
        return classes_[static_cast<unsigned char>(ch)] == state;
    }

    void operator()(std::vector<char>& row, std::size_t want, bool line_mode,
                    const std::vector<char>* reference) {
        text_cursor& c = lx_.cursor();
        while (row.size() < want) {
            const std::string_view w = c.window();
            if (w.empty()) {
                if (c.extend()) continue;
                if (line_mode) return;
                fail_short(row, want, "the input ends");
            }
            std::size_t k = 0;
            std::uint8_t cls = state;
            while (k < w.size() && row.size() < want) {
                std::size_t j = k;
                const std::size_t room = k + (want - row.size());
                const std::size_t stop = std::min(w.size(), room);
                while (j < stop && classes_[static_cast<unsigned char>(w[j])] == state) ++j;
                if (starts_ != nullptr && j > k) note_word(row);
                row.insert(row.end(), w.data() + k, w.data() + j);
                k = j;
                if (k == w.size() || row.size() == want) break;
                cls = classes_[static_cast<unsigned char>(w[k])];
                if (cls != space) break;
                gap_ = true;
                ++k;
            }
            c.advance(k);
            if (k == w.size() || row.size() == want || cls == space) continue;
            switch (cls) {
            case line_feed:
                if (line_mode) return;
                starts_ = nullptr;
                one_line_ = false;
                c.bump();
                break;
            case comment:
                lx_.skip_comment();
                gap_ = true;
                break;
            case matrix_end:
                if (line_mode) return;
                fail_short(row, want, "the matrix ends (;)");
            case polymorphic:
                c.set_item("character", static_cast<index_type>(row.size()));
                c.fail<data_error>("a polymorphic or uncertain state set " +
                                   std::string(1, static_cast<char>(c.peek())) +
                                   " ... cannot be held as one state");
            case nul:
                lx_.fail_nul();
            case match:
                if (reference == nullptr || reference->size() <= row.size()) {
                    c.set_item("character", static_cast<index_type>(row.size()));
                    c.fail<data_error>("the match character " + text_cursor::describe(c.peek()) +
                                       " stands in the first row, which it refers to");
                }
                if (starts_ != nullptr) note_word(row);
                row.push_back((*reference)[row.size()]);
                c.bump();
                break;
            default:
                break;
            }
        }
    }

private:
    void note_word(const std::vector<char>& row) {
        if (gap_ && !row.empty()) starts_->push_back(row.size());
        gap_ = false;
    }

    [[noreturn]] void fail_short(const std::vector<char>& row, std::size_t want, const char* what) {
        text_cursor& c = lx_.cursor();
        if (c.peek() == eof)
            c.fail<end_error>(std::string(what) + " after " + std::to_string(row.size()) + " of " +
                              std::to_string(want) + " characters");
        c.fail<data_error>(std::string(what) + " after " + std::to_string(row.size()) + " of " +
                           std::to_string(want) + " characters");
    }

    lexer& lx_;
    std::array<std::uint8_t, 256> classes_{};
    std::vector<std::size_t>* starts_ = nullptr;
    bool gap_ = false;
    bool one_line_ = true;
};

// Reads numeric values one at a time: reals (the MISSING symbol a quiet NaN), or counts.
template <class Element>
class value_reader {
public:
    value_reader(lexer& lx, char missing, char matchchar, const char* item_word)
        : lx_(lx), missing_(missing), matchchar_(matchchar), item_word_(item_word) {}

    // Numbers are never taken for words of a name.
    void track_words(std::vector<std::size_t>*) noexcept {}
    [[nodiscard]] bool on_one_line() const noexcept { return false; }
    [[nodiscard]] bool plain_state(char) const noexcept { return false; }

    void operator()(std::vector<Element>& row, std::size_t want, bool line_mode,
                    const std::vector<Element>* reference) {
        text_cursor& c = lx_.cursor();
        while (row.size() < want) {
            if constexpr (std::is_same_v<Element, double>) {
                // Plain decimals between blanks and tabs, parsed straight from the buffered
                // block; anything else goes one value at a time below.
                const std::string_view w = c.window();
                const char* p = w.data();
                const char* const e = p + w.size();
                while (row.size() < want) {
                    while (p != e && (*p == ' ' || *p == '\t')) ++p;
                    double v;
                    const std::size_t n = generics::detail::fast_decimal(
                        std::string_view(p, static_cast<std::size_t>(e - p)), v);
                    if (n == 0 || !ends_value(static_cast<unsigned char>(p[n]))) break;
                    row.push_back(v);
                    p += n;
                }
                c.advance(static_cast<std::size_t>(p - w.data()));
                if (row.size() == want) break;
            }
            const int ch = lx_.skip(!line_mode);
            if (line_mode && (ch == '\n' || ch == ';' || ch == eof)) return;
            c.set_item(item_word_, static_cast<index_type>(row.size()));
            if (ch == eof)
                c.fail_end("value " + std::to_string(row.size() + 1) + " of " +
                           std::to_string(want));
            if (ch == ';')
                c.fail<data_error>("the matrix ends (;) after " + std::to_string(row.size()) +
                                   " of " + std::to_string(want) + " values");
            if (ch == missing_ && symbol_alone()) {
                if constexpr (std::is_same_v<Element, count_element>)
                    c.fail<data_error>("a missing value cannot be held as a count");
                else
                    row.push_back(std::numeric_limits<Element>::quiet_NaN());
                c.bump();
            } else if (ch == matchchar_ && symbol_alone()) {
                if (reference == nullptr || reference->size() <= row.size())
                    c.fail<data_error>("the match character stands in the first row, which it "
                                       "refers to");
                row.push_back((*reference)[row.size()]);
                c.bump();
            } else if (ch == '(' || ch == '{') {
                c.fail<data_error>("a polymorphic or uncertain value set cannot be held as one "
                                   "value");
            } else if constexpr (std::is_same_v<Element, count_element>) {
                row.push_back(ended(detail::count_literal::read(c)));
            } else {
                row.push_back(ended(generics::read_real<Element>(c)));
            }
            c.clear_item();
        }
    }

private:
    // A value ends at whitespace, a comment or the ';' of the matrix.
    static bool ends_value(int ch) { return ch == eof || is_space(ch) || ch == '[' || ch == ';'; }
    // Taking the front of "1,5", "2.5.1" or "2x" would change the value or, with the rest read
    // as the next value or name, shift the row.
    Element ended(Element value) {
        text_cursor& c = lx_.cursor();
        if (ends_value(c.peek())) return value;
        std::string rest;
        for (int ch = c.peek(); !ends_value(ch) && rest.size() < 40; ch = c.peek()) {
            rest.push_back(static_cast<char>(ch));
            c.bump();
        }
        char text[32];
        const auto r = std::to_chars(text, text + sizeof text, value);
        c.fail<data_error>("the value " + std::string(text, r.ptr) + " runs on into \"" + rest +
                           "\"; values end at whitespace, a comment or ';'");
    }

    // Whether the character at the cursor stands alone, not at the start of a number (a
    // MISSING symbol '-' before "-0.5", or '.' before ".5").
    bool symbol_alone() {
        text_cursor& c = lx_.cursor();
        std::string_view w = c.window();
        while (w.size() < 2 && c.extend()) w = c.window();
        if (w.size() < 2) return true;
        const char next = w[1];
        return !((next >= '0' && next <= '9') || next == '.');
    }

    lexer& lx_;
    char missing_;
    char matchchar_;
    const char* item_word_;
};

// The row length of a character matrix: NCHAR for every taxon.
auto every_row(index_type nchar) {
    return [want = static_cast<std::size_t>(nchar)](index_type) { return want; };
}

template <class Data, class Row>
Data make_record(std::vector<std::string> names, std::vector<Row> rows) {
    using array = typename Data::row_vector::value_type::element_type;
    const auto n = static_cast<index_type>(names.size());
    Data x(0, n - 1);
    for (index_type i = 0; i < n; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        x.labels.unchecked(i) = std::move(names[ui]);
        x.rows.unchecked(i) = std::make_unique<array>(0, std::move(rows[ui]));
    }
    return x;
}

const char* kind_name(data_kind k) {
    switch (k) {
    case data_kind::STANDARD:
        return "STANDARD";
    case data_kind::DNA:
        return "DNA";
    case data_kind::RNA:
        return "RNA";
    case data_kind::NUCLEOTIDE:
        return "NUCLEOTIDE";
    case data_kind::PROTEIN:
        return "PROTEIN";
    case data_kind::CONTINUOUS:
        break;
    }
    return "CONTINUOUS";
}

disc_data read_disc(text_cursor& c, character_format& format) {
    reader r(c);
    r.find_block(wanted::characters);
    format = character_format{};
    return r.character_block<disc_data>(
        format, [&](reader::taxa& t, index_type nchar, const character_format& f) {
            if (f.kind == data_kind::CONTINUOUS)
                c.fail<data_error>("the matrix holds CONTINUOUS data, not discrete states");
            state_reader states(r.lex(), f);
            auto rows =
                read_rows<std::vector<char>>(r.lex(), t, f.interleave, every_row(nchar), states);
            return make_record<disc_data>(std::move(t.names), std::move(rows));
        });
}

template <class Data>
Data read_continuous(text_cursor& c) {
    using element = typename Data::row_vector::value_type::element_type::value_type;
    reader r(c);
    r.find_block(wanted::characters);
    character_format format;
    return r.character_block<Data>(
        format, [&](reader::taxa& t, index_type nchar, const character_format& f) {
            if (f.kind != data_kind::CONTINUOUS)
                c.fail<data_error>(std::string("the matrix holds ") + kind_name(f.kind) +
                                   " data, not CONTINUOUS values");
            value_reader<element> values(r.lex(), f.missing, f.matchchar, "character");
            auto rows =
                read_rows<std::vector<element>>(r.lex(), t, f.interleave, every_row(nchar), values);
            return make_record<Data>(std::move(t.names), std::move(rows));
        });
}

enum class triangle { LOWER, UPPER, BOTH };

squared reader::distances_block() {
    block_taxa bt;
    triangle tri = triangle::LOWER;
    bool diagonal = true;
    bool labels = true;
    bool interleave = false;
    char missing = '?';
    std::unique_ptr<squared> result;
    for (;;) {
        const token cmd = lx_.word("END (of the DISTANCES block)");
        if (cmd.is("END") || cmd.is("ENDBLOCK")) {
            lx_.expect(';', "the ';' after END");
            break;
        }
        const std::string name = upper(cmd.text);
        if (name == "DIMENSIONS") {
            for (const option& o : read_options(lx_, "DIMENSIONS")) {
                if (o.key == "NEWTAXA") bt.newtaxa = true;
                if (o.key == "NTAX") bt.ntax = natural_value(lx_, o);
            }
        } else if (name == "FORMAT") {
            for (const option& o : read_options(lx_, "FORMAT")) {
                if (o.key == "TRIANGLE") {
                    const std::string v = upper(o.value.text);
                    if (v == "LOWER") {
                        tri = triangle::LOWER;
                    } else if (v == "UPPER") {
                        tri = triangle::UPPER;
                    } else if (v == "BOTH") {
                        tri = triangle::BOTH;
                    } else {
                        c_.fail<data_error>("TRIANGLE must be LOWER, UPPER or BOTH, not " +
                                            quoted_for_message(o.value.text));
                    }
                } else if (o.key == "DIAGONAL") {
                    diagonal = true;
                } else if (o.key == "NODIAGONAL") {
                    diagonal = false;
                } else if (o.key == "LABELS") {
                    labels = true;
                } else if (o.key == "NOLABELS") {
                    labels = false;
                } else if (o.key == "MISSING") {
                    missing = symbol_value(lx_, o);
                } else if (o.key == "INTERLEAVE") {
                    interleave = yes_no_value(lx_, o);
                }
            }
        } else if (name == "TAXLABELS") {
            bt.labels = read_taxlabels(lx_);
            bt.have_labels = true;
            check_unique(lx_, bt.labels, "TAXLABELS");
        } else if (name == "MATRIX") {
            taxa t = block_taxa_of(bt);
            t.labels = labels;
            t.join_words = true;
            t.missing = missing;
            const index_type n = t.ntax;
            // Row i holds the columns lo .. hi, without i itself when the diagonal is left
            // out of a full square.
            const auto lo_of = [&](index_type i) {
                return tri == triangle::UPPER ? (diagonal ? i : i + 1) : index_type{0};
            };
            const auto hi_of = [&](index_type i) {
                return tri == triangle::LOWER ? (diagonal ? i : i - 1) : n - 1;
            };
            const auto want_of = [&](index_type i) {
                index_type k = hi_of(i) - lo_of(i) + 1;
                if (!diagonal && tri == triangle::BOTH) --k;
                return static_cast<std::size_t>(std::max<index_type>(k, 0));
            };
            value_reader<real_element> values(lx_, missing, '\0', "value");
            auto rows = read_rows<std::vector<real_element>>(lx_, t, interleave, want_of, values);
            const auto un = static_cast<std::size_t>(n);
            std::vector<real_element> square(un * un, 0.0);
            for (index_type i = 0; i < n; ++i) {
                const std::vector<real_element>& row = rows[static_cast<std::size_t>(i)];
                index_type j = lo_of(i);
                for (const real_element v : row) {
                    if (!diagonal && tri == triangle::BOTH && j == i) ++j;
                    const auto ui = static_cast<std::size_t>(i);
                    const auto uj = static_cast<std::size_t>(j);
                    square[ui * un + uj] = v;
                    if (tri != triangle::BOTH) square[uj * un + ui] = v;
                    ++j;
                }
            }
            result = std::make_unique<squared>(taxon_labels(0, std::move(t.names)),
                                               real_matrix(0, n - 1, 0, n - 1, std::move(square)));
        } else {
            skip_command(lx_, name);
        }
    }
    if (!result) c_.fail<data_error>("the DISTANCES block ends without a MATRIX");
    return std::move(*result);
}

squared read_distances(text_cursor& c) {
    reader r(c);
    r.find_block(wanted::distances);
    return r.distances_block();
}

// Runs `read`, turning a failed allocation (a header promising a matrix larger than memory)
// into the capacity error.
template <class Read>
auto within_memory(text_cursor& c, Read&& read) {
    try {
        return read();
    } catch (const std::bad_alloc&) {
        throw capacity_error(c.where() + "the matrix is too large to hold in memory");
    }
}

text_cursor current_cursor() {
    return text_cursor(generics::current_input(), true, generics::current_input_name());
}

} // namespace

template <nexus_record Data>
Data get(text_cursor& c) {
    return within_memory(c, [&c] {
        if constexpr (std::is_same_v<Data, disc_data>) {
            character_format declared;
            return read_disc(c, declared);
        } else if constexpr (std::is_same_v<Data, squared>) {
            return read_distances(c);
        } else {
            return read_continuous<Data>(c);
        }
    });
}

template <nexus_record Data>
Data get(std::istream& file) {
    text_cursor c(file, true);
    return get<Data>(c);
}

template <nexus_record Data>
Data get() {
    auto c = current_cursor();
    return get<Data>(c);
}

disc_data get(text_cursor& c, character_format& declared) {
    return within_memory(c, [&] { return read_disc(c, declared); });
}

disc_data get(std::istream& file, character_format& declared) {
    text_cursor c(file, true);
    return get(c, declared);
}

std::string nexus_name(std::string_view written) {
    std::string name;
    if (written.size() >= 2 && written.front() == '\'' && written.back() == '\'') {
        const std::string_view inner = written.substr(1, written.size() - 2);
        for (std::size_t k = 0; k < inner.size(); ++k) {
            name.push_back(inner[k]);
            if (inner[k] == '\'' && k + 1 < inner.size() && inner[k + 1] == '\'') ++k;
        }
        return name;
    }
    name = written;
    std::replace(name.begin(), name.end(), '_', ' ');
    return name;
}

template disc_data get<disc_data>(text_cursor&);
template count_data get<count_data>(text_cursor&);
template real_data get<real_data>(text_cursor&);
template squared get<squared>(text_cursor&);
template disc_data get<disc_data>(std::istream&);
template count_data get<count_data>(std::istream&);
template real_data get<real_data>(std::istream&);
template squared get<squared>(std::istream&);
template disc_data get<disc_data>();
template count_data get<count_data>();
template real_data get<real_data>();
template squared get<squared>();

} // namespace phylo::nexus
