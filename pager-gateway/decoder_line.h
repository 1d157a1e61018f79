#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagergw {

// One page as multimon-ng 1.2 prints it on a line of its own.
struct DecodedPage {
  enum class Form { Alpha, Numeric, Tone };
  // FLEX sends a long alphanumeric message in parts, each in a later frame;
  // multimon-ng prints each part as it comes, flagged "F" while more follow
  // and "C" for the last one ("K": a message in one piece).
  enum class Part { Whole, More, Last };

  std::string protocol;                 // "POCSAG512", "POCSAG1200", "POCSAG2400" or "FLEX"
  std::vector<std::uint64_t> capcodes;  // one, or the members of a FLEX group page
  int function = -1;                    // POCSAG's function bits; -1 for FLEX
  Form form = Form::Alpha;
  std::string text;                     // as printed: POCSAG alpha with its <XXX> markers
  Part part = Part::Whole;

  bool operator==(const DecodedPage&) const = default;
};

// Reads one output line (without its line end). multimon-ng 1.2 prints a
// POCSAG message of function 0 as Numeric, of any other function as Alpha. Gives nothing for every line
// that is not a page: the decoder's banner and state lines, partial decodes
// without an address, FLEX pages of unknown type.
//
//   POCSAG1200: Address: 1234567  Function: 3  Alpha:   TEXT<EOT>
//   POCSAG512: Address:    1234  Function: 0  Numeric: 12345
//   POCSAG2400: Address:    4321  Function: 0             (tone only)
//   FLEX|2024-05-01 10:11:12|1600/2/K/A|05.012|001234567|ALN|TEXT
//   FLEX|2024-05-01 10:11:12|1600/2/K/A|05.012|002029568 001234567 001234568|ALN|TEXT
//   FLEX|2024-05-01 10:11:12|1600/2/F/A|05.012|001234567|ALN|FIRST PART    (then .../C/A... for the last)
//   FLEX: 2024-05-01 10:11:12 1600/2/A 05.012 [001234567] NUM 12345
//   FLEX: 2024-05-01 10:11:12 1600/2/A 05.012 [001234567] TON
std::optional<DecodedPage> ParseDecoderLine(std::string_view line);

}  // namespace pagergw
