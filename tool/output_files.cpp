#include <tool/output_files.hpp>

#include <tool/options.hpp>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace labmix {

namespace {

file_identity identity_from(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), "",
            S_ISCHR(st.st_mode)};
}

// The folder of `path` and its last name ("." for a name without a folder).
std::pair<std::string, std::string> split_path(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// The temporary files of the outputs not yet committed, where the handler of an interruption
// finds them. This is the process's one piece of shared mutable state: a signal handler may
// reach nothing but static storage and lock-free atomics. An output whose temporary finds no
// free slot (more than a run opens) is only removed by its destructor.
struct pending_file {
    std::atomic<bool> claimed{false}; // taken by an output_file
    std::atomic<bool> ready{false};   // `path` is complete
    char path[4096];
};
std::array<pending_file, 8> pending;

int add_pending(const std::string& path) {
    if (path.size() >= sizeof pending[0].path) return -1;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        bool free = false;
        if (!pending[i].claimed.compare_exchange_strong(free, true)) continue;
        std::memcpy(pending[i].path, path.c_str(), path.size() + 1);
        pending[i].ready.store(true, std::memory_order_release);
        return static_cast<int>(i);
    }
    return -1;
}

void drop_pending(int& slot) {
    if (slot < 0) return;
    pending[static_cast<std::size_t>(slot)].ready.store(false, std::memory_order_release);
    pending[static_cast<std::size_t>(slot)].claimed.store(false, std::memory_order_release);
    slot = -1;
}

extern "C" void on_interrupt(int signal) {
    for (auto& file : pending)
        if (file.ready.load(std::memory_order_acquire)) ::unlink(file.path);
    static constexpr char message[] = "labmix: interrupted\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(128 + signal);
}

[[noreturn]] void cannot_write(const std::string& path, int error) {
    throw write_error(path + ": cannot be written: " + std::strerror(error));
}

} // namespace

std::optional<file_identity> identity_of(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return identity_from(st);
    const auto [folder, name] = split_path(path);
    if (::stat(folder.c_str(), &st) != 0) return std::nullopt;
    auto id = identity_from(st);
    id.name = name;
    id.character_device = false;
    return id;
}

std::optional<file_identity> identity_of(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return identity_from(st);
}

bool aliases(const file_identity& output, const file_identity& other) {
    return !output.character_device && output == other;
}

output_file::output_file(std::string path) : path_(std::move(path)) {
    struct stat st {};
    std::string target = path_;
    const bool exists = ::stat(path_.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) cannot_write(path_, errno);
    if (exists && S_ISDIR(st.st_mode)) cannot_write(path_, EISDIR);
    const auto id = identity_of(path_);
    if (!id) cannot_write(path_, ENOENT); // its folder is missing
    identity_ = *id;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a named pipe: written in place.
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) cannot_write(path_, errno);
    } else {
        if (exists) {
            // Through a symbolic link, the file it names is replaced, not the link.
            std::error_code ec;
            target = std::filesystem::canonical(path_, ec).string();
            if (ec) cannot_write(path_, ec.value());
            if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
                cannot_write(path_, errno);
        }
        const auto [folder, name] = split_path(target);
        for (int attempt = 0; fd_ < 0; ++attempt) {
            temporary_ = folder + "/." + name + ".labmix-" + std::to_string(::getpid()) + "-" +
                         std::to_string(attempt);
            fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) {
                temporary_.clear();
                cannot_write(path_, errno);
            }
        }
        pending_ = add_pending(temporary_);
        if (exists) ::fchmod(fd_, st.st_mode & 07777); // the replacement keeps its permissions
        target_ = target;
    }
    writer_.emplace(fd_, path_);
}

output_file::~output_file() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    drop_pending(pending_);
}

void output_file::commit() {
    writer_->flush();
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) throw write_error(path_ + ": " + std::strerror(errno));
    if (temporary_.empty()) return;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw write_error(path_ + ": cannot be replaced: " + std::strerror(errno));
    // Only now: an interruption in between unlinks a name that is gone, which does nothing.
    drop_pending(pending_);
    temporary_.clear();
}

void remove_outputs_on_interrupt() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction before {};
        ::sigaction(signal, nullptr, &before);
        if (signal == SIGINT && before.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }
}

void check_aliasing(std::span<const std::pair<const char*, const output_file*>> outputs,
                    std::span<const std::string> inputs, bool reads_standard_input) {
    const auto stdin_id = reads_standard_input ? identity_of(0) : std::nullopt;
    const auto stdout_id = identity_of(1);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const char* const option = outputs[i].first;
        const output_file* const file = outputs[i].second;
        const auto& id = file->identity();
        const auto refuse = [&](const std::string& what) {
            throw option_error("option " + std::string(option) + " names " + file->path() + ", " +
                               what);
        };
        for (const auto& input : inputs)
            if (const auto in = identity_of(input); in && aliases(id, *in))
                refuse("an input of the run, which it would overwrite");
        if (stdin_id && aliases(id, *stdin_id))
            refuse("the table on standard input, which it would overwrite");
        if (stdout_id && aliases(id, *stdout_id))
            refuse("which is standard output, where the report goes");
        for (std::size_t j = 0; j < i; ++j)
            if (aliases(id, outputs[j].second->identity()))
                throw option_error("options " + std::string(outputs[j].first) + " and " +
                                   std::string(option) + " name the same file, " + file->path());
    }
}

} // namespace labmix
