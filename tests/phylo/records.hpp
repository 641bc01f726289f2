#pragma once

// Records made for the tests, and what a reader gave, as one line to compare with what it should
// give: a record as "label:values/" for each taxon (states written together, numbers apart, a first
// index other than 0 as "@k" before the label or the row), or an error as "kind error: message".

#include <phylo/core.hpp>

#include <generics/errors.hpp>

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace test_records {

// A record of labels and rows, indexed from 0.
template <class Element>
phylo::character_data<Element> make_data(const std::vector<std::string>& labels,
                                         const std::vector<std::vector<Element>>& rows) {
    phylo::character_data<Element> x(0, static_cast<phylo::index_type>(labels.size()) - 1);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        x.labels[static_cast<phylo::index_type>(i)] = labels[i];
        x.rows[static_cast<phylo::index_type>(i)] =
            std::make_unique<generics::bounded_array<Element>>(0, rows[i]);
    }
    return x;
}

// The same with each row of states written as a string.
inline phylo::disc_data make_disc(const std::vector<std::string>& labels,
                                  const std::vector<std::string>& rows) {
    std::vector<std::vector<char>> r;
    for (const auto& s : rows) r.emplace_back(s.begin(), s.end());
    return make_data<char>(labels, r);
}

inline std::string shown(char c) { return {c}; }
inline std::string shown(phylo::count_element c) { return std::to_string(c); }
// The shortest text that reads back as v, sign of zero kept; nan for a missing value.
inline std::string shown(double v) {
    char s[32];
    return std::isnan(v) ? "nan" : std::string(s, std::to_chars(s, s + sizeof s, v).ptr);
}

template <class Element>
std::string summary(const phylo::character_data<Element>& x) {
    std::string s = x.first == 0 ? "" : "@" + std::to_string(x.first);
    for (phylo::index_type i = x.first; i <= x.last; ++i) {
        s += x.labels[i] + ":";
        if (x.rows[i]->first() != 0) s += "@" + std::to_string(x.rows[i]->first());
        for (phylo::index_type j = x.rows[i]->first(); j <= x.rows[i]->last(); ++j)
            s += (j == x.rows[i]->first() || std::is_same_v<Element, char> ? "" : " ") +
                 shown((*x.rows[i])[j]);
        s += "/";
    }
    return s;
}

inline std::string summary(const phylo::squared& x) {
    std::string s = x.first == 0 ? "" : "@" + std::to_string(x.first);
    for (phylo::index_type i = x.first; i <= x.last; ++i) {
        s += x.labels[i] + ":";
        for (phylo::index_type j = x.first; j <= x.last; ++j)
            s += (j == x.first ? "" : " ") + shown(x.matrix(i, j));
        s += "/";
    }
    return s;
}

// What read() gives: its string, or the library error it throws as "kind error: message".
template <class Read>
std::string outcome(Read&& read) {
    try {
        return read();
    } catch (const generics::error& e) {
        return std::string(e.name()) + ": " + e.message();
    }
}

// Checks an outcome against `expected`: the same string, or, when `expected` is "kind error:
// text", an error of that kind whose message holds text.
inline void expect_outcome(const std::string& got, const std::string& expected,
                           const std::string& input) {
    const std::size_t kind = expected.find(" error: ");
    if (kind == std::string::npos) {
        EXPECT_EQ(got, expected) << input;
    } else {
        EXPECT_EQ(got.substr(0, kind + 8), expected.substr(0, kind + 8)) << got;
        EXPECT_NE(got.find(expected.substr(kind + 8)), std::string::npos) << got;
    }
}

} // namespace test_records
