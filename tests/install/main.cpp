// Reads a small group-name table through the installed libraries, compares its two columns and
// splits a line with textutils.
#include <phylo/phylo.hpp>
#include <textutils/textutils.hpp>

#include <iostream>
#include <sstream>

int main() {
    std::istringstream text("Mus_musculus\tMuridae\r\n\nSorex_araneus\tSoricidae\n");
    const auto table = phylo::taxonomy::get(text, '\t', "inline table");
    const auto families = phylo::taxonomy::group_names::extract(table, 1);
    namespace taxonomy = phylo::taxonomy;
    const auto r =
        taxonomy::compare(taxonomy::column_groups(table, 0), taxonomy::column_groups(table, 1));
    if (families.length() != 2 || families[0] != "Muridae" || families[1] != "Soricidae" ||
        r.adjusted_rand != 1.0 || textutils::split("a\tb", '\t').length() != 2) {
        std::cerr << "unexpected table contents, comparison or split\n";
        return 1;
    }
    std::cout << "phylo consumer: " << families.length() << " rows read\n";
}
