#pragma once
// One run of labmix: the input road (read the table, take the two columns, write the listing
// as read and one listing per reshuffle) and the main procedure that turns every failure into
// exit status 1 and one message on standard error.

#include <tool/options.hpp>

#include <generics/bounded_array.hpp>
#include <generics/errors.hpp>
#include <generics/generic_random_sorting.hpp>

#include <phylo/taxonomy/group_names.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace labmix {

namespace error_names {
inline constexpr char read[] = "read error";
inline constexpr char write[] = "write error";
} // namespace error_names

// The input could not be read to its end (a device error, not a bad name).
using read_error = generics::basic_error<std::runtime_error, error_names::read>;
// The output could not be written (a full disk, a closed descriptor).
using write_error = generics::basic_error<std::runtime_error, error_names::write>;
// The reader of our output has gone away: the run ends quietly.
struct broken_pipe {};

// Both label blocks end in this many spare bytes, so that a listing may copy a short label
// with one fixed-size move.
inline constexpr std::size_t label_padding = 32;

// The fixed column, laid out for listings: every label followed by a tab, one after the other
// in row order, so that a listing reads it front to back.
struct fixed_labels {
    std::string text;                 // "label\t" for every row, in row order, then padding
    std::vector<std::size_t> ends;    // end of row i's piece in `text`
};

// The permuted column. Group names repeat (a million taxa fall into some thousands of
// families), so every distinct label is kept once, followed by a line feed, and each row holds
// only the 4-byte number of its label. A reshuffle moves those numbers, and a listing reads
// them in order and finds the few distinct labels in cache.
struct permuted_labels {
    std::string text;                              // every distinct label + line feed, padding
    std::vector<std::string_view> distinct;        // label number -> its piece of `text`
    generics::bounded_array<std::uint32_t> labels; // the label number of every row
};

// The tool's instance of the random relabelling unit, over the rows' label numbers.
using random_labels = generics::generic_random_sorting<generics::bounded_array<std::uint32_t>>;

// Takes column `fixed` and column `permuted` (counting from 0) of every row of `table` and
// releases each row as soon as both fields are taken, and the table at the end. A column
// outside a row's fields is the range error, naming the column and the number of fields.
void take_columns(phylo::taxonomy::group_name_vector& table, index_type fixed,
                  index_type permuted, fixed_labels& fixed_out, permuted_labels& permuted_out);

// Standard output (or any file descriptor) through one large reused buffer, handed over in
// few write calls. A closed pipe is `broken_pipe`; every other write failure is the
// `write_error` naming the output and the reason.
class listing_writer {
public:
    explicit listing_writer(int fd, std::string name = "standard output");
    listing_writer(const listing_writer&) = delete;
    listing_writer& operator=(const listing_writer&) = delete;
    ~listing_writer() = default; // unflushed bytes are dropped: call flush() to finish

    // The buffer's capacity, and the spare bytes past it that room() also makes writable.
    static constexpr std::size_t capacity = std::size_t{1} << 20;
    static constexpr std::size_t slack = 64;

    void put(std::string_view text);
    void put(char c);
    // Room for n <= capacity bytes (and `slack` more that may be scribbled on), flushing first
    // when needed; advance(n) then takes the n bytes written there into the output.
    char* room(std::size_t n) {
        if (n > capacity - used_) flush();
        return buffer_.get() + used_;
    }
    void advance(std::size_t n) noexcept { used_ += n; }
    void flush();

private:
    void write_out(const char* p, std::size_t n);

    int fd_;
    std::string name_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

// One listing: for every row, fixed label, tab, permuted label, line feed; then an empty line.
void print_both(const fixed_labels& fixed, const permuted_labels& permuted, listing_writer& out);

// Reads the whole table from the file named `input`, or standard input for "-", and closes a
// file opened by name. A name that cannot be opened is the name error, a directory the use
// error, a failing device the read_error.
phylo::taxonomy::group_name_vector read_table(const std::string& input);

// The input road for settings `s`: reads the table from the named file or standard input,
// writes 1 + s.reshuffles listings to `out`. Errors propagate.
void traverse_files(const settings& s, listing_writer& out);

// The main procedure: scans `arguments` (argv, the invocation name first), runs, and returns
// the exit status; the usage text and every message go to standard error.
int run(std::span<const char* const> arguments);

} // namespace labmix
