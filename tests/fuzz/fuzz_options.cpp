// The option scanner over arbitrary argument lists: the bytes are the arguments, separated
// by NUL characters.
#include <tool/options.hpp>

#include <generics/errors.hpp>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size; ++i)
        data[i] == 0 ? (void)arguments.emplace_back() : arguments.back().push_back(char(data[i]));
    try {
        (void)labmix::parse_arguments(arguments);
    } catch (const generics::error&) {
    }
    return 0;
}
