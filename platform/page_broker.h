#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// How to reach the region's MQTT broker.
struct BrokerOptions {
  std::string host;
  int port = 1883;
  std::string clientId;  // fixed per station: the broker keeps its session under it
  std::string user, password;  // both empty: no log-in
  std::string caFile;          // set: TLS, the broker's certificate checked against this CA
  std::string certFile, keyFile;  // the client's own certificate, optional
  std::string willTopic, willPayload;  // retained last will, when a topic is given
  std::string subscription;            // a topic filter subscribed at QoS 1 at every connect, or empty
  int keepAliveSeconds = 30;
  int reconnectPauseMinMs = 500;  // the pause after a failed connection doubles up to the maximum
  int reconnectPauseMaxMs = 10000;
};

// What the broker link tells the gateway, in the order it happened.
struct BrokerEvent {
  enum class Kind {
    Connected,     // the broker took the connection; `sessionPresent` says whether it kept the session
    Disconnected,  // the connection is gone or was refused; `text` says why, the link tries again
    Delivered,     // the broker has the page `id` (its acknowledgement came)
    Arrived,       // a message on the subscription: `topic`, `payload`
    Refused,       // the broker refused the page `id`, or the subscription (`id` 0); `text` says why
  };
  Kind kind = Kind::Connected;
  std::uint64_t id = 0;
  bool sessionPresent = false;
  std::string topic, payload, text;
};

// The station's link to the region's broker. Pages are handed over with an id
// of the caller's and acknowledged by that id; messages of the subscription
// arrive as events. The link connects by itself and again after every loss,
// on a thread of its own; the caller's thread only hands over and takes.
class PageBroker {
 public:
  virtual ~PageBroker() = default;
  // A page, QoS 1, not retained. Only while connected; one handed over before
  // a loss of the connection is sent again when it is back.
  virtual void PublishPage(std::uint64_t id, const std::string& topic, const std::string& payload) = 0;
  // The receiver's state, QoS 1, retained.
  virtual void PublishState(const std::string& topic, const std::string& state) = 0;
  // The events since the last call.
  virtual std::vector<BrokerEvent> TakeEvents() = 0;
  // A descriptor that is readable while events wait (for poll()); -1 when there is none.
  virtual int WakeFd() const = 0;
};

// The libmosquitto client (MQTT 3.1.1, clean session off).
std::unique_ptr<PageBroker> MakeMosquittoBroker(const BrokerOptions& options);

}  // namespace platform
