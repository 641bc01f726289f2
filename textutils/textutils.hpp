#pragma once
// The text library: character sets and mappings, string vectors and tokenising.

#include <textutils/charset.hpp>
#include <textutils/tokenize.hpp>
