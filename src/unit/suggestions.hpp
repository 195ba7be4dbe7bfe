#pragma once
// What a text that did not resolve probably meant: the notes added to a failed lookup of a unit
// expression, a constant or a logarithmic scale. Only the failure path calls these, so they may take
// their time (tens of microseconds); every suggestion they make has been tried and resolves.

#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

// For a unit expression that from_unit_name refused: the terms that are no unit (when there are
// several terms), the expression with the usual slips corrected and why, or else up to three nearest
// catalogue names, symbols and aliases for the failing term.
std::vector<std::string> unit_lookup_notes(std::string_view text);

// For a constant name that search_for_constant_name refused: up to three nearest names and aliases.
std::vector<std::string> constant_lookup_notes(std::string_view text);

// For a logarithmic scale name that search_for_log_unit_name refused: up to three nearest names and
// symbols.
std::vector<std::string> log_unit_lookup_notes(std::string_view text);

// Edit distance with adjacent transpositions (optimal string alignment), over bytes; any value above
// `limit` is reported as limit + 1.
std::size_t edit_distance(std::string_view a, std::string_view b, std::size_t limit);

}  // namespace tarvel
