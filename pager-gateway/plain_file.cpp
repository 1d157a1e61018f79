#include "pager-gateway/plain_file.h"

namespace pagergw {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

void ForEachEntry(std::string_view text,
                  const std::function<void(std::string_view line, const std::string& where)>& entry) {
  int number = 0;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    line = Trim(line);
    if (!line.empty()) entry(line, "line " + std::to_string(number) + ": ");
  }
}

}  // namespace pagergw
