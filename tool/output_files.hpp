#pragma once
// The files a permutation test writes besides standard output (--null, --plot), and the
// check that none of them is an input of the run, standard output or another of them.
//
// An output that is a regular file (or does not exist yet) is written to a temporary file
// beside it and renamed over it once complete: a run that fails or is stopped leaves the old
// file as it was, never half a file. An output that is something else (a device such as
// /dev/null, a named pipe) is written in place, as there is nothing to rename over.
//
// Every output is opened (created) before the first reshuffle is drawn, so that a missing
// folder, a file that cannot be written or a full device ends the run at once, not after
// hours of drawing.
//
//     output_file null(path);            // throws write_error when it cannot be written
//     null.out().put("...");
//     null.commit();                     // flushed, closed, renamed over `path`

#include <tool/listing_writer.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace labmix {

// What a path or a descriptor refers to, for telling whether two names mean one file. A
// file that exists is its device and inode (however it is named: ./X, sub/../X, a link,
// /dev/stdout); a file that does not exist yet is its folder's device and inode and its
// last name.
struct file_identity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::string name; // only for a file that does not exist yet
    bool character_device = false;
    friend bool operator==(const file_identity&, const file_identity&) = default;
};

// The identity of `path`, or nothing when neither it nor its folder can be looked at.
[[nodiscard]] std::optional<file_identity> identity_of(const std::string& path);
// The identity of an open descriptor, or nothing when it is closed.
[[nodiscard]] std::optional<file_identity> identity_of(int fd);

// Whether writing to `output` would overwrite or interleave with `other`. Character devices
// (/dev/null, a terminal) never count: nothing written there is lost.
[[nodiscard]] bool aliases(const file_identity& output, const file_identity& other);

// An output file, written through the buffered writer and put in place by commit().
class output_file {
public:
    // Opens (creates) the file that will become `path`; the write_error when it cannot be.
    explicit output_file(std::string path);
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    // Without commit(), a temporary file is removed and `path` is left as it was.
    ~output_file();

    [[nodiscard]] listing_writer& out() { return *writer_; }
    [[nodiscard]] const std::string& path() const noexcept { return path_; }
    // The identity of `path` as it was found (before anything was written).
    [[nodiscard]] const file_identity& identity() const noexcept { return identity_; }
    // Writes what is buffered, closes the file and renames it over `path`; the write_error
    // when any of that fails.
    void commit();

private:
    std::string path_;
    std::string target_;    // the file that the temporary one replaces
    std::string temporary_; // empty when writing in place
    file_identity identity_;
    int fd_ = -1;
    std::optional<listing_writer> writer_;
    int pending_ = -1; // its place among the temporaries that an interruption removes
};

// From now on SIGINT and SIGTERM end the run by removing the temporary files of the outputs
// not yet committed, writing "labmix: interrupted" to standard error and exiting with status
// 128 + the signal (130, 143), so that no half-written output is left. A SIGINT that the run
// was started with ignored (a background job) stays ignored.
void remove_outputs_on_interrupt();

// The test's outputs checked against its inputs (the table or the parts, standard input when
// the table is read from it) and standard output, and against each other: an output that is
// one of them is the option_error naming the option and the file, raised before anything is
// written. `outputs` pairs each option's name with its open file.
void check_aliasing(std::span<const std::pair<const char*, const output_file*>> outputs,
                    std::span<const std::string> inputs, bool reads_standard_input);

} // namespace labmix
