#include <tool/sniff.hpp>

#include <string>

namespace labmix {

std::size_t check_input_start(std::string_view start, bool whole, std::string_view name) {
    using namespace std::string_view_literals;
    const auto refuse = [name](const std::string& reason) {
        throw input_format_error(std::string(name) + ": " + reason);
    };
    if (start.starts_with("\xEF\xBB\xBF"sv)) return 3;
    if (start.starts_with("\x00\x00\xFE\xFF"sv) || start.starts_with("\xFF\xFE\x00\x00"sv))
        refuse("UTF-32 text (it starts with a UTF-32 byte order mark); save the table as UTF-8");
    if (start.starts_with("\xFF\xFE"sv) || start.starts_with("\xFE\xFF"sv))
        refuse("UTF-16 text (it starts with a UTF-16 byte order mark); save the table as UTF-8");
    if (start.find('\n') == std::string_view::npos) {
        const std::size_t cr = start.find('\r');
        if (cr != std::string_view::npos && cr + 1 < start.size())
            refuse(std::string("lines end in carriage returns alone (no line feed in ") +
                   (whole ? "the input" : "its first " + std::to_string(start.size()) + " bytes") +
                   "); convert the line ends to line feeds, e.g. with tr '\\r' '\\n'");
    }
    return 0;
}

} // namespace labmix
