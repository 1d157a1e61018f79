#pragma once

#include <string>
#include <vector>

#include "platform/page_broker.h"

// A broker link that records what it is handed; the test plays its events.
namespace pagergwtest {

class FakeBroker : public platform::PageBroker {
 public:
  struct Handed {
    std::uint64_t id;
    std::string topic, payload;
    bool retained;
  };
  std::vector<Handed> handed;

  void PublishPage(std::uint64_t id, const std::string& topic, const std::string& payload) override {
    handed.push_back({id, topic, payload, false});
  }
  void PublishState(const std::string& topic, const std::string& state) override {
    handed.push_back({0, topic, state, true});
  }
  std::vector<platform::BrokerEvent> TakeEvents() override { return {}; }
  int WakeFd() const override { return -1; }

  // The pages handed over so far, by their ids.
  std::vector<std::uint64_t> PageIds() const {
    std::vector<std::uint64_t> ids;
    for (const auto& h : handed)
      if (!h.retained) ids.push_back(h.id);
    return ids;
  }
};

inline platform::BrokerEvent Event(platform::BrokerEvent::Kind kind, std::uint64_t id = 0, std::string topic = "",
                                   std::string payload = "") {
  platform::BrokerEvent e;
  e.kind = kind;
  e.id = id;
  e.topic = std::move(topic);
  e.payload = std::move(payload);
  e.text = "connection lost";
  return e;
}

}  // namespace pagergwtest
