#include <tool/options.hpp>

#include <generics/errors.hpp>

#include <charconv>
#include <cstddef>
#include <limits>

namespace labmix {

std::optional<std::int32_t> read_whole_number(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return std::nullopt;
    text.remove_prefix(first);
    text.remove_suffix(text.size() - text.find_last_not_of(' ') - 1);
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    // Read the magnitude in 64 bits so that -2147483648 and overlong numbers are told apart.
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (end != text.data() + text.size()) return std::nullopt;
    const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
    if (error == std::errc::result_out_of_range || magnitude > limit) return std::nullopt;
    const auto value = static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
}

namespace {

bool is_option(const std::string& argument) {
    return argument.size() == 2 && argument[0] == '-' &&
           (argument[1] == 'f' || argument[1] == 'n' || argument[1] == 'p' || argument[1] == 's');
}

std::int32_t option_value(const std::string& option, const std::string& value) {
    const auto number = read_whole_number(value);
    if (!number)
        throw generics::range_error("the value of option " + option + " is not a whole number in " +
                                    "-2147483648 .. 2147483647: \"" + value + "\"");
    const std::int32_t least = option == "-f" || option == "-p" ? 1 : 0;
    if (*number < least)
        throw generics::range_error("the value of option " + option + " must be at least " +
                                    std::to_string(least) + ", not " + std::to_string(*number));
    return *number;
}

} // namespace

std::optional<settings> parse_arguments(std::vector<std::string> arguments) {
    settings result;
    for (std::size_t p = arguments.size(); p-- > 0;) {
        if (!is_option(arguments[p])) continue;
        if (p + 1 >= arguments.size())
            throw generics::range_error("option " + arguments[p] + " has no value");
        const std::int32_t value = option_value(arguments[p], arguments[p + 1]);
        switch (arguments[p][1]) {
        case 'f': result.fixed_column = value - 1; break;
        case 'p': result.permuted_column = value - 1; break;
        case 'n': result.reshuffles = value; break;
        default: result.seed = static_cast<std::uint64_t>(value); break;
        }
        arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(p),
                        arguments.begin() + static_cast<std::ptrdiff_t>(p) + 2);
    }
    if (arguments.size() != 1) return std::nullopt;
    result.input = std::move(arguments.front());
    return result;
}

std::string usage_text(std::string_view invocation) {
    std::string text;
    text.append(invocation).append(" randomizes associations.\n\n");
    text.append("Usage: ").append(invocation).append(" [options] inputfile(s)\n\n");
    text.append("Options:\n"
                "  -f  Column to keep fixed.\n"
                "  -n  Randomly reshuffle taxon labels this number of times.\n"
                "  -p  Column to permute.\n"
                "  -s  Seed for random reshuffles.\n"
                "\n");
    return text;
}

} // namespace labmix
