#pragma once

#include <functional>
#include <string>
#include <string_view>

// The station's plain settings files (the gateway's settings, the capcode
// table): one entry a line, "#" starts a comment, blank lines are skipped.
namespace pagergw {

// Blanks and tabs off both ends (and a CR at the end).
std::string_view Trim(std::string_view s);

// Calls `entry` with each line that holds an entry, comment and surrounding
// blanks taken off, and "line N: " for the problems found in it.
void ForEachEntry(std::string_view text, const std::function<void(std::string_view line, const std::string& where)>& entry);

}  // namespace pagergw
