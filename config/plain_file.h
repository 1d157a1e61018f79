#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The station's plain settings files (the kiosk's station settings, the
// gateway's settings, its capcode table): one entry a line, "#" starts a
// comment, blank lines are skipped. Settings files hold "Name = value" lines.
namespace config {

// Blanks and tabs off both ends (and a CR at the end).
std::string_view Trim(std::string_view s);

// Calls `entry` with each line that holds an entry, comment and surrounding
// blanks taken off, and "line N: " for the problems found in it.
void ForEachEntry(std::string_view text,
                  const std::function<void(std::string_view line, const std::string& where)>& entry);

// Words separated by blanks, tabs or commas.
std::vector<std::string> Words(std::string_view s);

// Takes a setting's value (blanks trimmed) and stores it; returns what is wrong
// with it, or empty text when it was taken. A value not taken leaves its
// setting as it was.
using SettingReader = std::function<std::string(std::string_view value)>;
using SettingReaders = std::map<std::string, SettingReader, std::less<>>;

// A text setting; `mayBeEmpty` false: an empty value is "needs a value".
SettingReader TextSetting(std::string& field, bool mayBeEmpty);
// A whole number from lo to hi.
SettingReader IntSetting(int& field, int lo, int hi);
// A switch: "on", "yes", "true", "1" or "off", "no", "false", "0", in any case.
SettingReader SwitchSetting(bool& field);
// An address to listen on: IPv4 (the metrics endpoint's HTTP server listens
// on IPv4 only), stored as written.
SettingReader ListenAddressSetting(std::string& field);

// Hands each "Name = value" line of `text` to the reader of its name and
// appends "line N: ..." to `problems` for a line without "=", an unknown name
// and a value its reader did not take.
void ReadSettings(std::string_view text, const SettingReaders& readers, std::vector<std::string>& problems);

}  // namespace config
