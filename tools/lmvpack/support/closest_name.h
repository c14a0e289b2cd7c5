// "Did you mean": the known name nearest to one that was typed, for unknown commands, options
// and manifest keys.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The candidate closest to `typed` by edits (insert, delete, replace, swap two neighbours),
// letter case ignored, or "" when none is close enough to be a likely typing mistake: one
// edit for short names, up to a third of the length for longer ones, never more than three.
std::string ClosestName(std::string_view typed, const std::vector<std::string>& candidates);

// "; did you mean \"build\"?" for the closest candidate, or "" when there is none.
std::string DidYouMean(std::string_view typed, const std::vector<std::string>& candidates);
