#include "pager-gateway/page_message.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <map>
#include <set>

namespace pagergw {

namespace {

constexpr std::array<std::string_view, 4> kModes = {"POCSAG512", "POCSAG1200", "POCSAG2400", "FLEX"};
// An agency tag and a receiver name: printable ASCII, at most this long.
constexpr std::size_t kMaxNameBytes = 64;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

void WriteString(std::string& out, std::string_view s) {
  out += '"';
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c > 0x7e) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

// A strict reader of one flat JSON object of strings and whole numbers.
class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}

  struct Value {
    bool isNumber = false;
    std::string text;
    std::uint64_t number = 0;
  };

  bool Object(std::map<std::string, Value>& out, std::string& why) {
    Blank();
    if (!Take('{')) return Fail(why, "not a JSON object");
    Blank();
    if (Take('}')) return End(why);
    for (;;) {
      std::string key;
      Blank();
      if (!String(key, why)) return false;
      Blank();
      if (!Take(':')) return Fail(why, "no ':' after \"" + key + "\"");
      Blank();
      Value value;
      if (Peek('{') || Peek('[')) return Fail(why, "nested value at \"" + key + "\"");
      if (Peek('"')) {
        if (!String(value.text, why)) return false;
      } else if (!Number(value, why)) {
        return false;
      }
      if (!out.emplace(key, std::move(value)).second) return Fail(why, "\"" + key + "\" twice");
      Blank();
      if (Take('}')) return End(why);
      if (!Take(',')) return Fail(why, "no ',' or '}' after \"" + key + "\"");
    }
  }

 private:
  bool Fail(std::string& why, std::string text) {
    why = std::move(text);
    return false;
  }
  bool End(std::string& why) {
    Blank();
    return at_ == s_.size() || Fail(why, "text after the object");
  }
  void Blank() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) ++at_;
  }
  bool Peek(char c) const { return at_ < s_.size() && s_[at_] == c; }
  bool Take(char c) {
    if (!Peek(c)) return false;
    ++at_;
    return true;
  }
  bool Hex4(unsigned& out) {
    if (s_.size() - at_ < 4) return false;
    const auto [p, ec] = std::from_chars(s_.data() + at_, s_.data() + at_ + 4, out, 16);
    if (ec != std::errc() || p != s_.data() + at_ + 4) return false;
    at_ += 4;
    return true;
  }
  // A code point as the single byte the pager shows: '?' above 255.
  static void Add(std::string& out, std::uint32_t cp) { out += cp <= 0xff ? static_cast<char>(cp) : '?'; }

  bool String(std::string& out, std::string& why) {
    if (!Take('"')) return Fail(why, "a string expected");
    while (at_ < s_.size()) {
      const auto c = static_cast<unsigned char>(s_[at_++]);
      if (c == '"') return true;
      if (c < 0x20) return Fail(why, "control character in a string");
      if (c == '\\') {
        if (at_ >= s_.size()) break;
        const char e = s_[at_++];
        switch (e) {
          case '"': case '\\': case '/': out += e; break;
          case 'b': out += '\b'; break;
          case 'f': out += '\f'; break;
          case 'n': out += '\n'; break;
          case 'r': out += '\r'; break;
          case 't': out += '\t'; break;
          case 'u': {
            unsigned cp = 0, low = 0;
            if (!Hex4(cp)) return Fail(why, "bad \\u escape");
            if (cp >= 0xdc00 && cp <= 0xdfff) return Fail(why, "lone surrogate");
            if (cp >= 0xd800 && cp <= 0xdbff) {
              if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xdc00 || low > 0xdfff)
                return Fail(why, "lone surrogate");
              cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
            }
            Add(out, cp);
            break;
          }
          default: return Fail(why, "bad escape");
        }
      } else if (c < 0x80) {
        out += static_cast<char>(c);
      } else {  // UTF-8
        const int more = c >= 0xf0 && c <= 0xf4 ? 3 : c >= 0xe0 ? 2 : c >= 0xc2 && c < 0xe0 ? 1 : -1;
        if (more < 0 || s_.size() - at_ < static_cast<std::size_t>(more)) return Fail(why, "not UTF-8");
        std::uint32_t cp = c & (0x3f >> more);
        for (int i = 0; i < more; ++i) {
          const auto b = static_cast<unsigned char>(s_[at_++]);
          if ((b & 0xc0) != 0x80) return Fail(why, "not UTF-8");
          cp = cp << 6 | (b & 0x3f);
        }
        if ((more == 2 && cp < 0x800) || (more == 3 && (cp < 0x10000 || cp > 0x10ffff)) ||
            (cp >= 0xd800 && cp <= 0xdfff))
          return Fail(why, "not UTF-8");
        Add(out, cp);
      }
    }
    return Fail(why, "unterminated string");
  }

  bool Number(Value& value, std::string& why) {
    const std::size_t start = at_;
    while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
    const std::string_view digits = s_.substr(start, at_ - start);
    if (digits.empty()) return Fail(why, "a string or a whole number expected");
    if (digits.size() > 1 && digits[0] == '0') return Fail(why, "a number with a leading zero");
    if (Peek('.') || Peek('e') || Peek('E')) return Fail(why, "not a whole number");
    const auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value.number);
    if (ec != std::errc()) return Fail(why, "number too large");
    value.isNumber = true;
    return true;
  }

  std::string_view s_;
  std::size_t at_ = 0;
};

bool IsName(std::string_view s, bool isAgency) {
  if (s.empty() || s.size() > kMaxNameBytes) return false;
  for (unsigned char c : s) {
    if (c <= ' ' || c > '~' || c == '[' || c == ']' || c == '/' || c == '+' || c == '#') return false;
  }
  return !isAgency || (s.front() != ':' && s.back() != ':');
}

int Digits(std::string_view s, std::size_t at, std::size_t count) {
  int value = 0;
  const auto [p, ec] = std::from_chars(s.data() + at, s.data() + at + count, value);
  return ec == std::errc() && p == s.data() + at + count ? value : -1;
}

}  // namespace

std::string PageTopic(std::string_view prefix, std::string_view agency, std::uint64_t capcode) {
  std::string topic = std::string(prefix) + "/pages/";
  for (char c : agency) topic += c == ':' ? '/' : c;
  return topic + "/" + std::to_string(capcode);
}

std::string StateTopic(std::string_view prefix, std::string_view receiver) {
  return std::string(prefix) + "/receivers/" + std::string(receiver) + "/state";
}

std::string WriteIsoTime(std::int64_t utcSeconds, int utcOffsetSeconds) {
  const std::int64_t local = utcSeconds + utcOffsetSeconds;
  const std::int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
  const std::int64_t secs = local - days * 86400;
  std::int64_t y = 0;
  int m = 0, d = 0;
  CivilFromDays(days, y, m, d);
  const int offset = utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds;
  char text[80];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", static_cast<long long>(y), m, d,
                static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60),
                utcOffsetSeconds < 0 ? '-' : '+', offset / 3600, offset / 60 % 60);
  return text;
}

std::optional<IsoTime> ReadIsoTime(std::string_view t) {
  // YYYY-MM-DDTHH:MM:SS, an optional fraction, then Z or +HH:MM / -HH:MM.
  if (t.size() < 20 || t[4] != '-' || t[7] != '-' || (t[10] != 'T' && t[10] != 't') || t[13] != ':' || t[16] != ':')
    return std::nullopt;
  const int y = Digits(t, 0, 4), mo = Digits(t, 5, 2), d = Digits(t, 8, 2), h = Digits(t, 11, 2),
            mi = Digits(t, 14, 2), s = Digits(t, 17, 2);
  if (y < 0 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60)
    return std::nullopt;
  std::size_t at = 19;
  if (at < t.size() && t[at] == '.') {
    ++at;
    const std::size_t digits = at;
    while (at < t.size() && t[at] >= '0' && t[at] <= '9') ++at;
    if (at == digits) return std::nullopt;
  }
  IsoTime out;
  const std::string_view zone = t.substr(at);
  if (zone == "Z" || zone == "z") {
    out.utcOffsetSeconds = 0;
  } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
    const int zh = Digits(zone, 1, 2), zm = Digits(zone, 4, 2);
    if (zh < 0 || zh > 23 || zm < 0 || zm > 59) return std::nullopt;
    out.utcOffsetSeconds = (zone[0] == '-' ? -1 : 1) * (zh * 3600 + zm * 60);
  } else {
    return std::nullopt;
  }
  const std::int64_t days = DaysFromCivil(y, mo, d);
  std::int64_t cy = 0;
  int cm = 0, cd = 0;
  CivilFromDays(days, cy, cm, cd);
  if (cm != mo || cd != d) return std::nullopt;  // 31 April and the like
  out.utcSeconds = days * 86400 + h * 3600 + mi * 60 + s - out.utcOffsetSeconds;
  return out;
}

std::string WritePageMessage(const PageMessage& p) {
  std::string out = "{\"time\":\"" + WriteIsoTime(p.decoded, p.utcOffsetSeconds) +
                    "\",\"capcode\":" + std::to_string(p.capcode) + ",\"agency\":";
  WriteString(out, p.agency);
  out += ",\"alias\":";
  WriteString(out, p.alias);
  out += ",\"text\":";
  WriteString(out, p.text);
  out += ",\"mode\":";
  WriteString(out, p.mode);
  out += ",\"receiver\":";
  WriteString(out, p.receiver);
  return out + "}";
}

std::optional<PageMessage> ReadPageMessage(std::string_view payload, std::string& why) {
  if (payload.size() > kMaxPageMessageBytes) {
    why = "over " + std::to_string(kMaxPageMessageBytes) + " bytes";
    return std::nullopt;
  }
  std::map<std::string, Reader::Value> values;
  if (!Reader(payload).Object(values, why)) return std::nullopt;
  static const std::set<std::string> kKeys = {"time", "capcode", "agency", "alias", "text", "mode", "receiver"};
  for (const auto& [key, value] : values)
    if (!kKeys.count(key)) {
      why = "unknown key \"" + key + "\"";
      return std::nullopt;
    }
  for (const auto& key : kKeys) {
    const auto it = values.find(key);
    if (it == values.end()) {
      why = "no \"" + key + "\"";
      return std::nullopt;
    }
    if (it->second.isNumber != (key == "capcode")) {
      why = "\"" + key + "\" is " + (key == "capcode" ? "no whole number" : "no string");
      return std::nullopt;
    }
  }
  PageMessage page;
  const auto time = ReadIsoTime(values["time"].text);
  if (!time) {
    why = "\"time\" is no ISO 8601 time with its zone";
    return std::nullopt;
  }
  page.decoded = time->utcSeconds;
  page.utcOffsetSeconds = time->utcOffsetSeconds;
  page.capcode = values["capcode"].number;
  page.agency = values["agency"].text;
  page.alias = values["alias"].text;
  page.text = values["text"].text;
  page.mode = values["mode"].text;
  page.receiver = values["receiver"].text;
  if (!IsName(page.agency, true)) {
    why = "\"agency\" is no agency tag";
  } else if (!IsName(page.receiver, false)) {
    why = "\"receiver\" is no receiver name";
  } else if (std::find(kModes.begin(), kModes.end(), page.mode) == kModes.end()) {
    why = "\"mode\" is none of POCSAG512 POCSAG1200 POCSAG2400 FLEX";
  } else {
    return page;
  }
  return std::nullopt;
}

}  // namespace pagergw
