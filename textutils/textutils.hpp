#pragma once
// The text library: character sets and mappings, string vectors and tokenising, string
// editing.

#include <textutils/charset.hpp>
#include <textutils/string_edit.hpp>
#include <textutils/tokenize.hpp>
