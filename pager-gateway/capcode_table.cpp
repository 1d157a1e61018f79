#include "pager-gateway/capcode_table.h"

#include <charconv>

#include "config/plain_file.h"

namespace pagergw {

namespace {

using config::ForEachEntry;
using config::Trim;

// The first blank-separated word of s, which loses it and the blanks after it.
std::string_view TakeWord(std::string_view& s) {
  std::size_t end = 0;
  while (end < s.size() && s[end] != ' ' && s[end] != '\t') ++end;
  std::string_view word = s.substr(0, end);
  s = Trim(s.substr(end));
  return word;
}

// Characters of a tag that would break the "[agency:capcode]" marker the kiosk searches.
bool ValidTag(std::string_view tag) {
  if (tag.empty()) return false;
  for (char c : tag)
    if (c == '[' || c == ']' || static_cast<unsigned char>(c) < 0x21 || c == 0x7F) return false;
  return true;
}

}  // namespace

CapcodeEntry CapcodeTable::Lookup(std::uint64_t capcode) const {
  const auto found = entries.find(capcode);
  if (found != entries.end()) return found->second;
  return {defaultAgency, ""};
}

CapcodeTableResult ParseCapcodeTable(std::string_view text) {
  CapcodeTableResult result;
  ForEachEntry(text, [&result](std::string_view line, const std::string& where) {
    const std::string_view first = TakeWord(line);
    const std::string_view tag = TakeWord(line);
    if (!ValidTag(tag)) {
      result.problems.push_back(where + "no agency tag, or one with a blank, '[' or ']'");
      return;
    }
    if (first == "default") {
      if (!line.empty()) result.problems.push_back(where + "the default takes no alias; ignored");
      result.table.defaultAgency = std::string(tag);
      return;
    }
    std::uint64_t capcode = 0;
    const auto [ptr, ec] = std::from_chars(first.data(), first.data() + first.size(), capcode);
    if (ec != std::errc() || ptr != first.data() + first.size()) {
      result.problems.push_back(where + "\"" + std::string(first) + "\" is no capcode");
      return;
    }
    if (result.table.entries.count(capcode))
      result.problems.push_back(where + "capcode " + std::to_string(capcode) + " listed again; this entry counts");
    result.table.entries[capcode] = {std::string(tag), std::string(line)};
  });
  return result;
}

}  // namespace pagergw
