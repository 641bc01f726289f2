#pragma once
// The error conditions shared by every library of the project. Each condition is its own
// type; all derive from `generics::error` (so one handler can report any of them by name)
// and from the closest standard exception (so callers that only know <stdexcept> still
// catch them). Errors carry their message by value, never pointers into the failing object.

#include <stdexcept>
#include <string>

namespace generics {

// Common base of every condition: a short name for reports ("range error") and the message.
class error {
public:
    virtual ~error() = default;
    [[nodiscard]] virtual const char* name() const noexcept = 0;
    [[nodiscard]] virtual const char* message() const noexcept = 0;

protected:
    error() = default;
    error(const error&) = default;
    error& operator=(const error&) = default;
};

// One condition: `Std` is the closest standard exception, `Name` its name in reports.
template <class Std, const char* Name>
class basic_error : public Std, public error {
public:
    explicit basic_error(const std::string& message) : Std(message) {}
    [[nodiscard]] const char* name() const noexcept override { return Name; }
    [[nodiscard]] const char* message() const noexcept override { return this->what(); }
};

namespace error_names {
inline constexpr char range[] = "range error";
inline constexpr char data[] = "data error";
inline constexpr char end[] = "end error";
inline constexpr char name[] = "name error";
inline constexpr char use[] = "use error";
inline constexpr char pattern[] = "pattern error";
inline constexpr char length[] = "length error";
inline constexpr char capacity[] = "capacity error";
inline constexpr char argument[] = "argument error";
inline constexpr char size[] = "size error";
inline constexpr char write[] = "write error";
} // namespace error_names

// A bad index, a null reference, a value outside its subtype.
using range_error = basic_error<std::out_of_range, error_names::range>;
// Malformed text where a number or literal is expected.
using data_error = basic_error<std::runtime_error, error_names::data>;
// Input ended where more was expected.
using end_error = basic_error<std::runtime_error, error_names::end>;
// A file name that names no file that can be opened.
using name_error = basic_error<std::runtime_error, error_names::name>;
// A file that exists but cannot be used as asked (a directory, no permission, a write failure).
using use_error = basic_error<std::runtime_error, error_names::use>;
// An unusable pattern or character set given to a string operation.
using pattern_error = basic_error<std::invalid_argument, error_names::pattern>;
// A string result that does not fit where it must go.
using length_error = basic_error<std::length_error, error_names::length>;
// A container already at its largest size.
using capacity_error = basic_error<std::length_error, error_names::capacity>;
// An output that could not be written (a full disk, a closed descriptor).
using write_error = basic_error<std::runtime_error, error_names::write>;
// An argument outside a mathematical function's domain (the square root of a negative number).
using argument_error = basic_error<std::domain_error, error_names::argument>;

// Base of the `size_error` that every provided form of a generic unit declares as its own
// nested type: two operands of incompatible sizes.
using size_error_base = basic_error<std::invalid_argument, error_names::size>;

} // namespace generics
