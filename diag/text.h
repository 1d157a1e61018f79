#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Common text, number, file and system helpers. Texts are single-byte; none of
// these keeps state, and none raises except where said.
namespace diag {

// The text after the first StartMarker up to the first EndMarker after it; the
// whole rest without an EndMarker there; empty when StartMarker does not occur.
// An empty StartMarker starts at the beginning.
std::string TextBetween(std::string_view source, std::string_view startMarker, std::string_view endMarker);

// Whole-text integer: leading blanks, one sign, then decimal digits or hex digits
// after "$", "x", "X", "0x" or "0X"; nothing after. False for anything else or a
// value outside the 32-bit signed range.
bool TryStrToInt(std::string_view text, std::int32_t& value);
// As TryStrToInt, 0 when the text does not convert.
std::int32_t StrToIntOrZero(std::string_view text);
// As TryStrToInt, but raises EConvertError "'%s' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);

// Text-to-floating-point with "." as the decimal separator: blanks around, a
// sign, digits with an optional fraction and exponent.
bool TryStrToFloat(std::string_view text, double& value);
bool IsFloatText(std::string_view text);
double StrToFloatOrZero(std::string_view text);

inline std::string IfElseStr(bool flag, std::string_view whenTrue, std::string_view whenFalse) {
  return std::string(flag ? whenTrue : whenFalse);
}
// "True" or "False", as flags are written to files and shown.
inline std::string BoolText(bool flag) { return IfElseStr(flag, "True", "False"); }

// True when the first character is T, Y or E in either case.
bool IsTrueText(std::string_view text);

// The four-number version recorded in a program file ("1.0.3.27"); the running
// program's for an empty name; empty text when the file carries none.
std::string GetFileVersionText(const std::string& fileName = {});

// Deletes every file that matches a path with a "*" and "?" pattern; folders are
// skipped and failures ignored.
void DeleteMatchingFiles(const std::string& mask);

// Every "&#8211;" becomes "-".
std::string ReplaceEnDash(std::string_view text);

// The program's folder ending in "/" for an empty name. There is no registry of
// installed programs here, so any other name gives empty text.
std::string GetAppPath(const std::string& exeName = {});

// Appends "<short date> <long time>: Text" and CR LF to a file (the time is left
// out at exactly midnight); an empty Text deletes the file. False on failure.
bool AppendTimestampedLine(std::string_view text, const std::string& fileName);

// Blanks and control characters (everything at or below " ") removed at both ends.
std::string TrimText(std::string_view text);
// Letters a to z upper-cased, everything else unchanged.
std::string UpperCaseText(std::string_view text);
std::string LowerCaseText(std::string_view text);
// Every occurrence of `from` replaced by `to`.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
// The first occurrence of `from` replaced by `to`.
std::string ReplaceFirst(std::string_view text, std::string_view from, std::string_view to);

// The most of a text from outside (an answer's field, a status line, a pager
// text) that goes into a report's message, a log line's text or a syslog text.
inline constexpr std::size_t kOutsideTextMaxBytes = 1024;
// The most of a log line's text field and of a syslog message: one outside
// value at its bound and the entry's own fields around it ("[Function=...]
// [Trace=...]"), so that a long value does not cost the fields after it.
inline constexpr std::size_t kLogTextMaxBytes = 1536;

// The text as it is when it has at most `maxBytes` bytes; else its beginning
// followed by "... [cut, N bytes]" (N the full length), all of it within
// `maxBytes`.
std::string CutText(std::string_view text, std::size_t maxBytes);
// CutText to kOutsideTextMaxBytes: for each outside value where it is put in.
std::string CutOutsideText(std::string_view text);

// Every control character (below 0x20, and 0x7F) made a blank, so that a text
// from outside cannot start a line of its own in a log or the journal.
std::string BlankControlChars(std::string_view text);

}  // namespace diag
