#include <tool/driver.hpp>

#include <tool/distance_input.hpp>
#include <tool/options.hpp>
#include <tool/output_files.hpp>
#include <tool/permutation_command.hpp>
#include <tool/run.hpp>

#include <generics/errors.hpp>

#include <phylo/taxonomy/table.hpp>

#include <filesystem>
#include <iostream>
#include <new>
#include <string>

#include <unistd.h>

namespace labmix {

int run(std::span<const char* const> arguments) {
    const std::string invocation = arguments.empty() ? "labmix" : arguments.front();
    try {
        std::vector<std::string> rest;
        for (std::size_t i = 1; i < arguments.size(); ++i) rest.emplace_back(arguments[i]);
        scan_notes scan;
        auto s = parse_arguments(std::move(rest), &scan);
        // A lone -h asks for help, unless it names a file (which it always could).
        std::error_code ec;
        if (s && arguments.size() == 2 && s->input == "-h" && !std::filesystem::exists("-h", ec))
            s->what = action::help;
        if (s && s->what != action::run) {
            // Through the listing writer, so that a failed write is said with its reason.
            listing_writer out(STDOUT_FILENO);
            out.put(s->what == action::help ? help_text() : version_text());
            out.flush();
            return 0;
        }
        if (!s) {
            std::cerr << "labmix: " << scan.usage_reason << '\n'
                      << usage_text(invocation) << std::flush;
            return 1;
        }
        if (!s->quiet)
            for (const auto& warning : scan.warnings)
                std::cerr << "labmix: warning: " << warning << '\n';
        listing_writer out(STDOUT_FILENO);
        if (s->combine || !s->test.empty()) remove_outputs_on_interrupt();
        if (s->combine)
            run_combine(*s, out, std::cerr);
        else if (!s->test.empty())
            run_test(*s, out, std::cerr);
        else
            traverse_files(*s, out, std::cerr);
        return 0;
    } catch (const distance_error& e) {
        std::cerr << "labmix: " << e.message() << std::endl;
    } catch (const generics::name_error& e) {
        std::cerr << "Invalid filename.\nlabmix: " << e.message() << std::endl;
    } catch (const generics::use_error& e) {
        std::cerr << "Invalid filename.\nlabmix: " << e.message() << std::endl;
    } catch (const generics::data_error& e) {
        std::cerr << "Wrong file format.\nlabmix: " << e.message() << std::endl;
    } catch (const phylo::taxonomy::field_count_error& e) {
        std::cerr << "labmix: " << e.name() << ": " << e.message() << ": " << e.found
                  << (e.found == 1 ? " field" : " fields") << ", where the first row has "
                  << e.expected << std::endl;
    } catch (const broken_pipe&) {
        // The reader has all it wanted; nothing to say.
    } catch (const generics::error& e) {
        std::cerr << "labmix: " << e.name() << ": " << e.message() << std::endl;
    } catch (const std::bad_alloc&) {
        std::cerr << "labmix: out of memory" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "labmix: " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "labmix: unexpected error" << std::endl;
    }
    return 1;
}

} // namespace labmix
