#pragma once
// The level-by-level search over single steps: the reference for the grouped search, and the search for
// units whose dimensions are not all small whole numbers. Internal to the search.

#include <cstdint>

#include "unit/search/options.hpp"
#include "unit/search/pause.hpp"
#include "unit/search/space.hpp"

namespace tarvel::search_detail {

// Writes the answer's exponents to `answer`; false when no map within reach reproduces the vector.
bool level_search(const Space& space, const std::int32_t* target, std::uint64_t budget,
                  const SearchOptions& options, SearchStats& out, Pause& pause, Arena& arena,
                  std::int32_t* answer);

}  // namespace tarvel::search_detail
