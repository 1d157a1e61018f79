// pager-gateway-measure: how many encoded pages the real multimon-ng decodes
// with noise added, and how many of those reach the kiosk's port through the
// gateway. Per rate: PAGES distinct pages (alpha and numeric, to 40 capcodes),
// every 20th sent twice in a row as a network's repeat (the gateway's window
// here spans the whole run), ten pages a
// transmission with noise between; encoder | multimon-ng | gateway, the feed to
// a UDP port on loopback.
//
//   pager-gateway-measure [--pages N] [--noise SIGMA] [--rates 512,1200,2400]
//
// Exit status 1 when a decoded page (not a repeat within the window) did not arrive.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pager-gateway/decoder_line.h"
#include "pager-gateway/page_text.h"
#include "tests/pager_gateway/gateway_process.h"
#include "tests/support/temp_dir.h"

namespace {

using pagergwtest::Quote;

struct Sent {
  std::uint64_t capcode;
  std::string text;
};

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::stringstream in(s);
  for (std::string item; std::getline(in, item, sep);) out.push_back(item);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int pages = 3000;
  double noise = 3000;
  std::vector<int> rates = {512, 1200, 2400};
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--pages") pages = std::stoi(argv[i + 1]);
    else if (arg == "--noise") noise = std::stod(argv[i + 1]);
    else if (arg == "--rates") {
      rates.clear();
      for (const auto& r : Split(argv[i + 1], ',')) rates.push_back(std::stoi(r));
    } else {
      std::cerr << "usage: pager-gateway-measure [--pages N] [--noise SIGMA] [--rates 512,1200,2400]\n";
      return 2;
    }
  }
  std::printf("noise: white Gaussian, sigma %.0f against a signal level of +-12000 (peak 32767)\n", noise);
  std::printf("%-6s %8s %9s %9s %9s %9s %10s %9s %8s\n", "baud", "encoded", "decoded", "correct", "wrong", "spurious",
              "to-send", "received", "missing");
  bool allArrived = true;
  for (int baud : rates) {
    testsupport::TempDir dir;
    // The pages: distinct texts, so that only the deliberate repeats are duplicates.
    std::vector<Sent> sent;
    std::string pageLines;  // the encoder's input, one page a line
    for (int i = 0; i < pages; ++i) {
      const std::uint64_t capcode = 100000 + 7919u * static_cast<unsigned>(i % 40);
      std::string line;
      Sent s{capcode, ""};
      if (i % 3 == 2) {
        s.text = std::to_string(1000000 + i);
        line = "N " + std::to_string(capcode) + " 0 " + s.text;
      } else {
        s.text = "PAGE " + std::to_string(i) + " RESPOND STRUCTURE FIRE " + std::to_string(i % 240) + " CHURCH ST";
        line = "A " + std::to_string(capcode) + " 3 " + s.text;
      }
      const int copies = i % 20 == 0 ? 2 : 1;
      for (int c = 0; c < copies; ++c) {
        pageLines += line + "\n";
        sent.push_back(s);
      }
    }
    // Ten pages a transmission, noise between: encode the chunks one after another.
    std::string script = "set -e\n: > " + Quote(dir.File("audio.raw")) + "\n";
    std::vector<std::string> lines = Split(pageLines, '\n');
    for (std::size_t i = 0, chunk = 0; i < lines.size(); i += 10, ++chunk) {
      std::string part;
      for (std::size_t k = i; k < std::min(lines.size(), i + 10); ++k) part += lines[k] + "\n";
      testsupport::WriteWholeFile(dir.File("chunk-" + std::to_string(chunk)), part);
      script += Quote(POCSAG_ENCODE) + " --baud " + std::to_string(baud) + " --noise " + std::to_string(noise) +
                " --gap 0.2 --seed " + std::to_string(chunk + 1) + " < " + Quote(dir.File("chunk-" + std::to_string(chunk))) +
                " >> " + Quote(dir.File("audio.raw")) + "\n";
    }
    testsupport::WriteWholeFile(dir.File("encode.sh"), script);
    if (pagergwtest::Shell("sh " + Quote(dir.File("encode.sh"))) != 0) return 2;

    // The kiosk's port: a UDP socket on loopback, read on a thread of its own.
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = 8 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    std::vector<std::string> received;
    std::atomic<bool> done{false};
    std::thread reader([&] {
      char buffer[9000];
      for (int idle = 0; !done || idle < 10;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) == 1) {
          const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
          if (n >= 0) received.emplace_back(buffer, static_cast<std::size_t>(n));
          idle = 0;
        } else {
          ++idle;
        }
      }
    });
    testsupport::WriteWholeFile(dir.File("capcodes.conf"), "default Unknown\n");
    testsupport::WriteWholeFile(dir.File("gateway.conf"), "Input = stdin\nKiosks = 127.0.0.1\nPort = " +
                                                              std::to_string(ntohs(addr.sin_port)) +
                                                              "\nCapcodeTable = " + dir.File("capcodes.conf") +
                                                              "\nDuplicateWindow = 86400\n");
    const int status = pagergwtest::Shell(
        std::string(pagergwtest::kMultimon) + " -q -t raw " + pagergwtest::kAllModes + " " + Quote(dir.File("audio.raw")) +
        " 2>/dev/null | tee " + Quote(dir.File("decoded.txt")) + " | " + Quote(GATEWAY_PROGRAM) + " --settings " +
        Quote(dir.File("gateway.conf")) + " 2>/dev/null");
    done = true;
    reader.join();
    close(fd);
    if (status != 0) return 2;

    // Decoded pages against what was sent; what the gateway should have sent
    // (a decoded page once within the window) against what arrived.
    std::multiset<std::pair<std::uint64_t, std::string>> encoded;
    for (const auto& s : sent) encoded.insert({s.capcode, s.text});
    int decoded = 0, correct = 0, wrong = 0, spurious = 0;
    std::vector<std::string> expected;
    std::set<std::pair<std::uint64_t, std::string>> seen;
    std::ifstream in(dir.File("decoded.txt"));
    for (std::string line; std::getline(in, line);) {
      const auto page = pagergw::ParseDecoderLine(line);
      if (!page) continue;
      ++decoded;
      const std::string text = pagergw::PagerText(*page);
      const auto key = std::make_pair(page->capcodes.at(0), text);
      if (encoded.count(key)) ++correct;
      else if (text.empty()) ++spurious;  // an address word out of the noise: a tone-only page
      else ++wrong;
      if (seen.insert(key).second)  // the window is longer than the run: a page goes out once
        expected.push_back("[Unknown:" + std::to_string(key.first) + "] " + text);
    }
    std::multiset<std::string> arrived;
    for (const auto& r : received) arrived.insert(r.size() > 9 ? r.substr(9) : r);
    int missing = 0;
    for (const auto& e : expected) {
      const auto it = arrived.find(e);
      if (it == arrived.end()) ++missing;
      else arrived.erase(it);
    }
    allArrived = allArrived && missing == 0 && arrived.empty();
    std::printf("%-6d %8zu %9d %9d %9d %9d %10zu %9zu %8d\n", baud, sent.size(), decoded, correct, wrong, spurious,
                expected.size(), received.size(), missing);
  }
  std::printf("encoded: pages transmitted (repeats included); decoded: pages multimon-ng printed; correct: decoded as\n"
              "sent; wrong: other text; spurious: tone-only pages from noise; to-send: decoded pages less repeats\n"
              "within the window; received: datagrams at the port; missing: to-send pages that did not arrive\n");
  return allArrived ? 0 : 1;
}
