#pragma once
// The current input and current output: the streams used by every operation that has a
// twin without a file parameter. They default to standard input and output; the tool makes
// its input file the current input. Redirect with the scoped guards below so that the old
// stream comes back even when an error ends the scope.

#include <iostream>
#include <string>
#include <utility>

namespace generics {

namespace detail {
inline std::istream*& current_input_slot() {
    static std::istream* in = &std::cin;
    return in;
}
inline std::string& current_input_name_slot() {
    static std::string name = "standard input";
    return name;
}
inline std::ostream*& current_output_slot() {
    static std::ostream* out = &std::cout;
    return out;
}
} // namespace detail

inline std::istream& current_input() { return *detail::current_input_slot(); }
inline std::ostream& current_output() { return *detail::current_output_slot(); }
// The name of the current input for messages: a full path, or "standard input".
inline const std::string& current_input_name() { return detail::current_input_name_slot(); }
inline void set_input(std::istream& in, std::string name) {
    detail::current_input_slot() = &in;
    detail::current_input_name_slot() = std::move(name);
}
inline void set_output(std::ostream& out) { detail::current_output_slot() = &out; }

// Makes `in`, called `name` in messages, the current input for the guard's lifetime.
class input_redirect {
public:
    input_redirect(std::istream& in, std::string name)
        : saved_(&current_input()), saved_name_(current_input_name()) {
        set_input(in, std::move(name));
    }
    ~input_redirect() { set_input(*saved_, std::move(saved_name_)); }
    input_redirect(const input_redirect&) = delete;
    input_redirect& operator=(const input_redirect&) = delete;

private:
    std::istream* saved_;
    std::string saved_name_;
};

// Makes `out` the current output for the guard's lifetime.
class output_redirect {
public:
    explicit output_redirect(std::ostream& out) : saved_(&current_output()) { set_output(out); }
    ~output_redirect() { set_output(*saved_); }
    output_redirect(const output_redirect&) = delete;
    output_redirect& operator=(const output_redirect&) = delete;

private:
    std::ostream* saved_;
};

} // namespace generics
