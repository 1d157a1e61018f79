// pocsag-encode: POCSAG audio for multimon-ng from page lines on standard input.
//
//   pocsag-encode [--baud 512|1200|2400] [--noise SIGMA] [--seed N] [--gap SECONDS]
//                 [--apart] [--terminator CODE|none] < pages > audio.raw
//
// Each input line is "KIND CAPCODE FUNCTION TEXT" with KIND A (alpha), N
// (numeric) or T (tone only); "\xHH" in TEXT is the byte HH. The pages go in one
// transmission, or with --apart each in its own, with GAP seconds of noise (or
// silence) before, between and after. Output: 22050 Hz signed 16-bit raw samples.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "tests/pager_gateway/encoder/pocsag_encoder.h"

namespace {

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() + 0 && text[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

int Usage() {
  std::cerr << "usage: pocsag-encode [--baud B] [--noise SIGMA] [--seed N] [--gap S] [--apart] "
               "[--terminator CODE|none] < pages\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  pocsagtest::AudioOptions audio;
  double gap = 0.3;
  bool apart = false;
  int terminator = 0x04;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--baud" && hasValue) audio.baud = std::atoi(argv[++i]);
    else if (arg == "--noise" && hasValue) audio.noise = std::atof(argv[++i]);
    else if (arg == "--seed" && hasValue) audio.seed = std::strtoull(argv[++i], nullptr, 10);
    else if (arg == "--gap" && hasValue) gap = std::atof(argv[++i]);
    else if (arg == "--apart") apart = true;
    else if (arg == "--terminator" && hasValue) {
      const std::string v = argv[++i];
      terminator = v == "none" ? -1 : std::stoi(v, nullptr, 0);
    } else return Usage();
  }
  if (audio.baud != 512 && audio.baud != 1200 && audio.baud != 2400) return Usage();

  std::vector<pocsagtest::Page> pages;
  for (std::string line; std::getline(std::cin, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    std::string kind;
    pocsagtest::Page page;
    in >> kind >> page.capcode >> page.function;
    if (!in || kind.size() != 1 || std::string("ANT").find(kind[0]) == std::string::npos) {
      std::cerr << "pocsag-encode: bad line: " << line << "\n";
      return 2;
    }
    page.kind = kind == "A" ? pocsagtest::Kind::Alpha : kind == "N" ? pocsagtest::Kind::Numeric : pocsagtest::Kind::Tone;
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    page.text = Unescape(rest);
    page.terminator = terminator;
    pages.push_back(page);
  }

  std::string out;
  auto append = [&](const std::vector<std::int16_t>& samples) { out += pocsagtest::RawBytes(samples); };
  auto silence = [&] {
    append(pocsagtest::Gap(gap, audio));
    ++audio.seed;  // fresh noise for the next piece
  };
  silence();
  if (apart) {
    for (const auto& page : pages) {
      append(pocsagtest::Baseband(pocsagtest::TransmissionBits({page}), audio));
      ++audio.seed;
      silence();
    }
  } else if (!pages.empty()) {
    append(pocsagtest::Baseband(pocsagtest::TransmissionBits(pages), audio));
    ++audio.seed;
    silence();
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
