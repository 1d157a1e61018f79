#include "tools/unit-service-sim/text.h"
#include "tools/unit-service-sim/unit_service_sim.h"

namespace sim {

std::string Usage() {
  return "usage: unit-service-sim [--port N] [--control-port M] [--pix N] [--log FILE] [--no-incident]\n"
         "  --port N          main port on 127.0.0.1 (default 8080, 0 = any free port)\n"
         "  --control-port M  control port (default port+1, 0 = any free port)\n"
         "  --pix N           number of station pictures (default 12)\n"
         "  --log FILE        append the request log to FILE instead of stdout\n"
         "  --no-incident     start without a current incident\n";
}

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string& error) {
  CommandLine line;
  line.options.logPath = "-";
  line.options.announce = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // The value of an option given as "--name value" or "--name=value".
    auto valueOf = [&](std::string_view name) -> std::optional<std::string> {
      if (arg == name) {
        if (i + 1 >= args.size()) {
          error = std::string(name) + " needs a value";
          return std::nullopt;
        }
        return args[++i];
      }
      return arg.substr(name.size() + 1);
    };
    auto isOption = [&](std::string_view name) {
      return arg == name || (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
                             arg[name.size()] == '=');
    };
    auto number = [&](std::string_view name, long long low, long long high) -> std::optional<int> {
      const auto text = valueOf(name);
      if (!text) return std::nullopt;
      const auto value = ParseInteger(*text);
      if (!value || *value < low || *value > high) {
        error = std::string(name) + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) +
                ", not '" + *text + "'";
        return std::nullopt;
      }
      return static_cast<int>(*value);
    };

    if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--no-incident") {
      line.options.startWithIncident = false;
    } else if (isOption("--port")) {
      const auto port = number("--port", 0, 65535);
      if (!port) return std::nullopt;
      line.options.port = *port;
    } else if (isOption("--control-port")) {
      const auto port = number("--control-port", 0, 65535);
      if (!port) return std::nullopt;
      line.options.controlPort = *port;
    } else if (isOption("--pix")) {
      const auto pix = number("--pix", 0, 9999);
      if (!pix) return std::nullopt;
      line.options.pix = *pix;
    } else if (isOption("--log")) {
      const auto path = valueOf("--log");
      if (!path) return std::nullopt;
      if (path->empty()) {
        error = "--log needs a file name";
        return std::nullopt;
      }
      line.options.logPath = *path;
    } else {
      error = "unknown argument '" + arg + "'";
      return std::nullopt;
    }
  }
  return line;
}

}  // namespace sim
