#include "diag/text.h"

#include <charconv>
#include <limits>

#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/system.h"

namespace diag {

std::string TextBetween(std::string_view source, std::string_view startMarker, std::string_view endMarker) {
  size_t start = 0;
  if (!startMarker.empty()) {
    size_t at = source.find(startMarker);
    if (at == std::string_view::npos) return {};
    start = at + startMarker.size();
  }
  std::string_view rest = source.substr(start);
  if (!endMarker.empty()) {
    size_t end = rest.find(endMarker);
    if (end != std::string_view::npos) return std::string(rest.substr(0, end));
  }
  return std::string(rest);
}

bool TryStrToInt(std::string_view text, std::int32_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    magnitude = magnitude * base + digit;
    if (magnitude > 0x80000000LL) return false;
  }
  const std::int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(signedValue);
  return true;
}

std::int32_t StrToIntOrZero(std::string_view text) {
  std::int32_t value = 0;
  return TryStrToInt(text, value) ? value : 0;
}

std::int32_t StrToInt(std::string_view text) {
  std::int32_t value = 0;
  if (!TryStrToInt(text, value))
    throw platform::Error(platform::kConvertError, "'" + std::string(text) + "' is not a valid integer value");
  return value;
}

bool TryStrToFloat(std::string_view text, double& value) {
  size_t begin = 0, end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  std::string_view body = text.substr(begin, end - begin);
  bool negative = false;
  if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
    negative = body[0] == '-';
    body.remove_prefix(1);
  }
  // Digits, an optional "." fraction, an optional exponent; nothing else.
  size_t i = 0, digits = 0;
  while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i, ++digits;
  if (i < body.size() && body[i] == platform::kDecimalSeparator) {
    ++i;
    while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
    size_t j = i + 1;
    if (j < body.size() && (body[j] == '+' || body[j] == '-')) ++j;
    size_t expDigits = 0;
    while (j < body.size() && body[j] >= '0' && body[j] <= '9') ++j, ++expDigits;
    if (expDigits == 0) return false;
    i = j;
  }
  if (i != body.size()) return false;
  double parsed = 0;
  auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), parsed);
  if (ec != std::errc() || ptr != body.data() + body.size()) return false;
  value = negative ? -parsed : parsed;
  return true;
}

bool IsFloatText(std::string_view text) {
  double ignored = 0;
  return TryStrToFloat(text, ignored);
}

double StrToFloatOrZero(std::string_view text) {
  double value = 0;
  if (text.empty() || !TryStrToFloat(text, value)) return 0;
  return value;
}

bool IsTrueText(std::string_view text) {
  if (text.empty()) return false;
  char c = text[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return c == 'T' || c == 'Y' || c == 'E';
}

std::string GetFileVersionText(const std::string& fileName) {
  return platform::ReadFileVersion(fileName.empty() ? platform::ProgramFilePath() : fileName);
}

void DeleteMatchingFiles(const std::string& mask) {
  try {
    const std::string folder = platform::FolderOf(mask);
    for (const auto& entry : platform::ListMatching(mask))
      if (!entry.isDirectory) platform::DeleteFile(folder + entry.name);
  } catch (const std::exception&) {
    // A folder that cannot be listed has nothing to delete.
  }
}

std::string ReplaceEnDash(std::string_view text) { return ReplaceAll(text, "&#8211;", "-"); }

std::string GetAppPath(const std::string& exeName) {
  if (!exeName.empty()) return {};
  return platform::FolderOf(platform::ProgramFilePath());
}

bool AppendTimestampedLine(std::string_view text, const std::string& fileName) {
  try {
    if (text.empty()) {
      platform::DeleteFile(fileName);
      return true;
    }
    std::string line = platform::DateTimeToStr(platform::Now());
    line += ": ";
    line += text;
    line += "\r\n";
    platform::AppendToFile(fileName, line);
    return true;
  } catch (...) {
    return false;
  }
}

std::string TrimText(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return std::string(text.substr(begin, end - begin));
}

std::string UpperCaseText(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string LowerCaseText(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  size_t pos = 0;
  for (size_t at; (at = text.find(from, pos)) != std::string_view::npos; pos = at + from.size()) {
    out.append(text.substr(pos, at - pos));
    out.append(to);
  }
  out.append(text.substr(pos));
  return out;
}

std::string ReplaceFirst(std::string_view text, std::string_view from, std::string_view to) {
  size_t at = from.empty() ? std::string_view::npos : text.find(from);
  if (at == std::string_view::npos) return std::string(text);
  std::string out(text.substr(0, at));
  out.append(to);
  out.append(text.substr(at + from.size()));
  return out;
}

std::string CutText(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  const std::string marker = "... [cut, " + std::to_string(text.size()) + " bytes]";
  if (marker.size() >= maxBytes) return std::string(text.substr(0, maxBytes));
  std::string cut(text.substr(0, maxBytes - marker.size()));
  cut += marker;
  return cut;
}

std::string CutOutsideText(std::string_view text) { return CutText(text, kOutsideTextMaxBytes); }

std::string BlankControlChars(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  return out;
}

}  // namespace diag
