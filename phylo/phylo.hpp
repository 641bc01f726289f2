#pragma once
// The whole phylo library: the core records, the four character forms with their generic
// operations, element text I/O, transformations and translation, matrix files, sets and
// the taxonomy package, the distance-based tests. Include the narrower headers where compile time
// matters.

#include <phylo/core.hpp>

#include <phylo/binary_chars.hpp>
#include <phylo/count_chars.hpp>
#include <phylo/disc_chars.hpp>
#include <phylo/real_chars.hpp>

#include <phylo/chars_io.hpp>
#include <phylo/disc_io.hpp>
#include <phylo/disc_to_binary.hpp>
#include <phylo/real_transform.hpp>

#include <phylo/nexus.hpp>
#include <phylo/print.hpp>
#include <phylo/read.hpp>

#include <phylo/sets.hpp>
#include <phylo/taxonomy.hpp>

#include <phylo/distance.hpp>
