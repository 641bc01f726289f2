#include <tool/driver.hpp>

#include <cstddef>
#include <span>

int main(int argc, char* argv[]) {
    return labmix::run(std::span<const char* const>(argv, static_cast<std::size_t>(argc)));
}
