#pragma once

// Runs the built labmix in a child process and collects what it wrote and how it ended.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace run_support {

namespace fs = std::filesystem;

inline const std::string binary = LABMIX_BINARY;

// A scratch directory of its own, removed with everything in it.
class scratch {
public:
    scratch() {
        static std::atomic<int> counter{0};
        dir_ = fs::temp_directory_path() /
               ("labmix_tool_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::create_directories(dir_);
    }
    ~scratch() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    scratch(const scratch&) = delete;
    scratch& operator=(const scratch&) = delete;

    [[nodiscard]] std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // Writes `text` to a file of that name here and returns its path.
    std::string file(const std::string& name, std::string_view text) const {
        const auto p = path(name);
        std::ofstream(p, std::ios::binary)
            .write(text.data(), static_cast<std::streamsize>(text.size()));
        return p;
    }
    // The same under a name of its own.
    std::string file(std::string_view text) const { return file(std::to_string(files_++), text); }

private:
    fs::path dir_;
    mutable int files_ = 0;
};

inline std::string slurp(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// Exit status of a child that could not drop to another user, or that as that user cannot
// reach the temporary directory, where the scratch files are (root's TMPDIR may lie in a
// folder of mode 700): either way the run cannot be made here.
constexpr int cannot_drop = 97;

struct setup {
    std::optional<std::string> in = "/dev/null"; // nothing: standard input closed
    std::optional<std::string> out = "";         // "": captured; nothing: closed
    uid_t as_user = 0;                           // root only: run as this user
    rlim_t address_space = 0;                    // a memory limit when not 0
    std::string program = binary;
};

struct outcome {
    std::string out, err;
    int status = -1; // the exit status, or 128 + the signal that ended the run
    bool overran = false;
};

// Runs the program with `args`; kills it, and says so, when it overruns a bound generous
// enough for a loaded machine under AddressSanitizer.
inline outcome run(const std::vector<std::string>& args, const setup& how = {}) {
    const scratch io;
    const std::string out_path =
        how.out && how.out->empty() ? io.path("stdout") : how.out.value_or("");
    const std::string err_path = io.path("stderr");
    const std::string scratch_root = how.as_user != 0 ? fs::temp_directory_path().string() : "";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const auto attach = [](const std::optional<std::string>& path, int fd, int flags) {
            if (!path) {
                ::close(fd);
                return;
            }
            const int opened = ::open(path->c_str(), flags, 0644);
            if (opened < 0 || (opened != fd && ::dup2(opened, fd) < 0)) ::_exit(99);
            if (opened != fd) ::close(opened);
        };
        attach(how.in, 0, O_RDONLY);
        attach(how.out ? std::optional(out_path) : std::nullopt, 1, O_WRONLY | O_CREAT | O_TRUNC);
        attach(err_path, 2, O_WRONLY | O_CREAT | O_TRUNC);
        if (how.as_user != 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(how.as_user) != 0 ||
             ::setuid(how.as_user) != 0 || ::access(scratch_root.c_str(), X_OK) != 0))
            ::_exit(cannot_drop);
        if (how.address_space != 0) {
            const rlimit limit{how.address_space, how.address_space};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(how.program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv.front(), argv.data());
        ::_exit(98);
    }
    outcome result;
    const auto start = std::chrono::steady_clock::now();
    int wait_status = 0;
    while (::waitpid(pid, &wait_status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(60)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &wait_status, 0);
            result.overran = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) result.status = 128 + WTERMSIG(wait_status);
    if (how.out && how.out->empty()) result.out = slurp(out_path);
    result.err = slurp(err_path);
    return result;
}

// A run and everything it should leave: standard output, standard error and exit status.
struct expected {
    std::vector<std::string> args;
    std::string out = {}, err = {};
    int status = 0;
    setup how = {};
};

// A run that writes `err` alone and ends with status 1.
inline expected fails(std::vector<std::string> args, std::string err, setup how = {}) {
    return {std::move(args), "", std::move(err), 1, std::move(how)};
}

// Runs each row and checks all it left; an output is shown only in part when it differs.
inline void expect_runs(const std::vector<expected>& rows) {
    for (const auto& [args, out, err, status, how] : rows) {
        std::string said = "labmix";
        for (const auto& a : args) said += " " + a.substr(0, 60);
        const auto r = run(args, how);
        EXPECT_FALSE(r.overran) << said;
        EXPECT_TRUE(r.out == out) << said << "\nwrote: " << r.out.substr(0, 200);
        EXPECT_EQ(r.err, err) << said;
        EXPECT_EQ(r.status, status) << said;
    }
}

// `args` and then `more`.
inline std::vector<std::string> with(std::vector<std::string> args,
                                     const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

} // namespace run_support
