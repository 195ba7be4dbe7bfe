#pragma once
// The grouped search: the level-by-level search's answer and statistics on the whole-number path,
// computed from the total steps of each group of alike units. Internal to the search.

#include <cstddef>
#include <cstdint>

#include "unit/search/options.hpp"
#include "unit/search/pause.hpp"
#include "unit/search/space.hpp"

namespace tarvel::search_detail {

enum class Grouped { Found, None, OutOfBudget, Unsuitable };

// `counted`: the statistics are wanted. Without them a search whose every map fits in the budget needs
// no counting at all.
Grouped grouped_search(const Space& space, std::uint64_t budget, bool counted, SearchStats& out, Pause& pause,
                       Arena& arena, std::int32_t* answer);

// The commonest search, settled without setting anything up: every unit that may step changes the
// remainder alike (m.ft, s.min/Hz), and all its maps fit in the budget. The grouped search with a single
// group and no counting, on the caller's arrays.
enum class Quick { Found, None, Unsuitable };

Quick one_group_search(const Dimensions* const* units, const std::int32_t* target, const std::int32_t* start,
                       std::size_t n, const Dimensions& dimensions, std::uint64_t budget, std::int32_t* answer);

}  // namespace tarvel::search_detail
