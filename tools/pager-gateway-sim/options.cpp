#include "tools/pager-gateway-sim/options.h"

#include <charconv>
#include <cmath>
#include <type_traits>

namespace gatewaysim {

namespace {

// Whole-text number conversions: "1x", " 1" and "" are errors, not 1 or 0.
template <typename T>
std::optional<T> ToNumber(const std::string& text) {
  T value{};
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(value)) return std::nullopt;
  }
  return value;
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

std::variant<Options, std::string> ParseOptions(const std::vector<std::string>& args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inlineValue;
    if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name.resize(eq);
    }
    auto flag = [&]() -> std::optional<std::string> {
      if (inlineValue) return "option " + name + " takes no value";
      return std::nullopt;
    };
    std::string value;
    auto takeValue = [&]() -> bool {
      if (inlineValue) {
        value = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    auto bad = [&](const std::string& what) { return "invalid value for " + name + ": '" + value + "' (" + what + ")"; };

    if (name == "--quiet") {
      if (auto e = flag()) return *e;
      o.quiet = true;
      continue;
    }
    if (name == "--help" || name == "-h") {
      if (auto e = flag()) return *e;
      o.help = true;
      continue;
    }
    static const char* const kValued[] = {"--host",    "--port",    "--rate",      "--count", "--duration",
                                          "--capcode", "--own-share", "--seed",    "--send"};
    bool known = false;
    for (const char* k : kValued) known = known || name == k;
    if (!known) return "unknown option: " + args[i];
    if (!takeValue()) return "option " + name + " needs a value";

    if (name == "--host") {
      if (value.empty()) return bad("empty host");
      o.host = value;
    } else if (name == "--port") {
      auto n = ToNumber<int>(value);
      if (!n || *n < 1 || *n > 65535) return bad("a port 1..65535");
      o.port = *n;
    } else if (name == "--rate") {
      auto n = ToNumber<double>(value);
      if (!n || *n < kMinRate || *n > kMaxRate) return bad("lines per second, 0.001..100000");
      o.rate = *n;
    } else if (name == "--count") {
      auto n = ToNumber<std::uint64_t>(value);
      if (!n || *n == 0) return bad("a whole number of lines, at least 1");
      o.count = *n;
    } else if (name == "--duration") {
      auto n = ToNumber<double>(value);
      if (!n || *n <= 0) return bad("seconds, more than 0");
      o.duration = *n;
    } else if (name == "--capcode") {
      if (!AllDigits(value) || value.size() > 10) return bad("1 to 10 digits");
      o.generator.capcode = value;
    } else if (name == "--own-share") {
      auto n = ToNumber<double>(value);
      if (!n || *n < 0 || *n > 1) return bad("a share 0..1");
      o.generator.ownShare = *n;
    } else if (name == "--seed") {
      auto n = ToNumber<std::uint64_t>(value);
      if (!n) return bad("a whole number");
      o.seed = *n;
    } else if (name == "--send") {
      o.send = value;
    }
  }
  return o;
}

std::string UsageText(const std::string& program) {
  return "Usage: " + program +
         " [options]\n"
         "Sends simulated pager lines as UDP datagrams, one line per datagram.\n"
         "  --host H        destination host (default 127.0.0.1)\n"
         "  --port P        destination port (default " +
         std::to_string(platform::kFeedPort) +
         ")\n"
         "  --rate N        lines per second, fractions allowed (default 1)\n"
         "  --count N       stop after N lines (default: no limit)\n"
         "  --duration S    stop after S seconds (default: no limit)\n"
         "  --capcode C     the unit's capcode for own pages (default 1234)\n"
         "  --own-share F   share of lines paging the own capcode, 0..1 (default 0.1)\n"
         "  --seed S        seed of the line sequence (default 1)\n"
         "  --send TEXT     send exactly TEXT once as one datagram and exit\n"
         "  --quiet         do not print the lines sent\n";
}

}  // namespace gatewaysim
