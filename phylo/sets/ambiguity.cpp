#include <phylo/sets/ambiguity.hpp>

#include <string_view>

namespace phylo::sets {

namespace {

struct ambiguity_entry {
    std::string_view states;
    char code;
};

// Single states, then pairs, triples, quadruples and all five, each group in the order of
// a, c, g, t, '-'.
constexpr ambiguity_entry ambiguity_table[] = {
    {"-", '-'},     {"a", 'a'},    {"c", 'c'},    {"g", 'g'},    {"t", 't'},    {"a-", '?'},
    {"ac", 'm'},    {"ag", 'r'},   {"at", 'w'},   {"c-", '?'},   {"cg", 's'},   {"ct", 'y'},
    {"g-", '?'},    {"gt", 'k'},   {"t-", '?'},   {"ac-", '?'},  {"acg", 'v'},  {"act", 'h'},
    {"ag-", '?'},   {"agt", 'd'},  {"at-", '?'},  {"cg-", '?'},  {"cgt", 'b'},  {"ct-", '?'},
    {"gt-", '?'},   {"acg-", '?'}, {"acgt", 'n'}, {"act-", '?'}, {"agt-", '?'}, {"cgt-", '?'},
    {"acgt-", '?'},
};

} // namespace

c_set ambiguity_code() {
    c_set table;
    table.reserve(std::size(ambiguity_table));
    for (const auto& entry : ambiguity_table)
        table.emplace(character_set(entry.states), entry.code);
    return table;
}

} // namespace phylo::sets
