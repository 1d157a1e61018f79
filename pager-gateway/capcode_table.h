#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pagergw {

// The station's capcode table: which agency each capcode belongs to.
//
// A plain text file, one entry a line: the capcode in decimal, blanks, the
// agency tag ("CFS", "RVU", "MSC:HEARTBEAT" ...) and optionally blanks and an
// alias for the journal ("Brindlemoor rescue"). "default TAG" names the agency
// of capcodes not in the table ("Unknown" when not given). "#" starts a comment.
struct CapcodeEntry {
  std::string agency;
  std::string alias;
};

struct CapcodeTable {
  std::map<std::uint64_t, CapcodeEntry> entries;
  std::string defaultAgency = "Unknown";

  // The entry of a capcode; the default agency without an alias when it is not listed.
  CapcodeEntry Lookup(std::uint64_t capcode) const;
};

struct CapcodeTableResult {
  CapcodeTable table;
  std::vector<std::string> problems;  // "line 7: ..." for each line skipped or overriding an earlier one
};

CapcodeTableResult ParseCapcodeTable(std::string_view text);

}  // namespace pagergw
