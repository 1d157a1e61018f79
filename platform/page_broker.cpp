#include "platform/page_broker.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace platform {

namespace {

// How long the broker keeps the station's session (its subscription and the
// messages queued for it) while the station is away.
constexpr std::uint32_t kSessionExpirySeconds = 24 * 60 * 60;
// The longest wait of the link's thread, for keep-alive and retries.
constexpr int kLoopWaitMs = 200;
// At a stop: how long what is handed over may take to leave.
constexpr int kFlushAtStopMs = 1000;

void Signal(int fd) {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

void Drain(int fd) {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
}

std::once_flag gLibraryInit;

class MosquittoBroker final : public PageBroker {
 public:
  explicit MosquittoBroker(const BrokerOptions& options) : o_(options) {
    std::call_once(gLibraryInit, [] { mosquitto_lib_init(); });
    eventFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    commandFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    thread_ = std::thread([this] { Run(); });
  }

  ~MosquittoBroker() override {
    stop_ = true;
    Signal(commandFd_);
    thread_.join();
    ::close(eventFd_);
    ::close(commandFd_);
  }

  void PublishPage(std::uint64_t id, const std::string& topic, const std::string& payload) override {
    Push({id, topic, payload, false});
  }

  void PublishState(const std::string& topic, const std::string& state) override { Push({0, topic, state, true}); }

  std::vector<BrokerEvent> TakeEvents() override {
    std::lock_guard lock(mutex_);
    Drain(eventFd_);
    std::vector<BrokerEvent> out;
    out.swap(events_);
    return out;
  }

  int WakeFd() const override { return eventFd_; }

 private:
  struct Command {
    std::uint64_t id;
    std::string topic, payload;
    bool retained;
  };

  void Push(Command command) {
    {
      std::lock_guard lock(mutex_);
      commands_.push_back(std::move(command));
    }
    Signal(commandFd_);
  }

  void Tell(BrokerEvent event) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
    }
    Signal(eventFd_);
  }

  void Lost(const std::string& why) {
    told_ = true;
    BrokerEvent e;
    e.kind = BrokerEvent::Kind::Disconnected;
    e.text = why;
    Tell(std::move(e));
  }

  std::string Reason(int rc) const {
    std::string text = rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(rc);
    if (!lastError_.empty()) text += " (" + lastError_ + ")";
    return text;
  }

  // Everything of the library happens on this thread.
  void Run() {
    mosq_ = mosquitto_new(o_.clientId.c_str(), false, this);
    if (!mosq_) {
      Lost("cannot make an MQTT client");
      return;
    }
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_max_inflight_messages_set(mosq_, 0);  // the gateway bounds what it hands over
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);  // a page is one small packet: no waiting to fill one
    if (!o_.user.empty()) mosquitto_username_pw_set(mosq_, o_.user.c_str(), o_.password.c_str());
    if (!o_.caFile.empty()) {
      const int rc = mosquitto_tls_set(mosq_, o_.caFile.c_str(), nullptr, o_.certFile.empty() ? nullptr : o_.certFile.c_str(),
                                       o_.keyFile.empty() ? nullptr : o_.keyFile.c_str(), nullptr);
      if (rc != MOSQ_ERR_SUCCESS) Lost("TLS files not usable: " + Reason(rc));
      mosquitto_tls_opts_set(mosq_, 1, nullptr, nullptr);
    }
    if (!o_.willTopic.empty())
      mosquitto_will_set(mosq_, o_.willTopic.c_str(), static_cast<int>(o_.willPayload.size()), o_.willPayload.data(), 1,
                         true);
    mosquitto_connect_v5_callback_set(mosq_, [](mosquitto*, void* self, int rc, int flags, const mosquitto_property*) {
      static_cast<MosquittoBroker*>(self)->OnConnect(rc, flags);
    });
    mosquitto_disconnect_v5_callback_set(mosq_, [](mosquitto*, void* self, int rc, const mosquitto_property*) {
      static_cast<MosquittoBroker*>(self)->OnDisconnect(rc);
    });
    mosquitto_publish_v5_callback_set(mosq_, [](mosquitto*, void* self, int mid, int rc, const mosquitto_property*) {
      static_cast<MosquittoBroker*>(self)->OnPublish(mid, rc);
    });
    mosquitto_subscribe_v5_callback_set(
        mosq_, [](mosquitto*, void* self, int, int count, const int* granted, const mosquitto_property*) {
          static_cast<MosquittoBroker*>(self)->OnSubscribe(count > 0 ? granted[0] : 0x80);
        });
    mosquitto_message_v5_callback_set(
        mosq_, [](mosquitto*, void* self, const mosquitto_message* m, const mosquitto_property*) {
          BrokerEvent e;
          e.kind = BrokerEvent::Kind::Arrived;
          e.topic = m->topic ? m->topic : "";
          e.payload.assign(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen));
          static_cast<MosquittoBroker*>(self)->Tell(std::move(e));
        });
    mosquitto_log_callback_set(mosq_, [](mosquitto*, void* self, int level, const char* text) {
      if (level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING)) static_cast<MosquittoBroker*>(self)->lastError_ = text;
    });
    mosquitto_property* properties = nullptr;
    mosquitto_property_add_int32(&properties, MQTT_PROP_SESSION_EXPIRY_INTERVAL, kSessionExpirySeconds);

    int pauseMs = o_.reconnectPauseMinMs;
    bool socketUp = false;
    while (!stop_) {
      if (!socketUp) {
        lastError_.clear();
        const int rc = mosquitto_connect_bind_v5(mosq_, o_.host.c_str(), o_.port, o_.keepAliveSeconds, nullptr, properties);
        if (rc != MOSQ_ERR_SUCCESS) {
          Lost("cannot connect to " + o_.host + ":" + std::to_string(o_.port) + ": " + Reason(rc));
          Wait(pauseMs);
          pauseMs = std::min(pauseMs * 2, o_.reconnectPauseMaxMs);
          continue;
        }
        socketUp = true;
        told_ = false;
      }
      TakeCommands();
      if (connected_) SendPending();
      pollfd fds[2] = {{mosquitto_socket(mosq_), static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0},
                       {commandFd_, POLLIN, 0}};
      ::poll(fds, 2, kLoopWaitMs);
      if (fds[1].revents & POLLIN) Drain(commandFd_);
      int rc = MOSQ_ERR_SUCCESS;
      if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) rc = mosquitto_loop_read(mosq_, 1);
      if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(mosq_)) rc = mosquitto_loop_write(mosq_, 1);
      if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_misc(mosq_);
      if (rc == MOSQ_ERR_SUCCESS && refused_) rc = MOSQ_ERR_CONN_REFUSED;
      if (rc != MOSQ_ERR_SUCCESS) {
        // A TLS handshake can fail here rather than in the connect.
        if (!told_)
          Lost((connected_ ? "connection to " : "cannot connect to ") + o_.host + ":" + std::to_string(o_.port) +
               (connected_ ? " lost: " : ": ") + Reason(rc));
        connected_ = false;
        refused_ = false;
        socketUp = false;
        mosquitto_disconnect(mosq_);
        Wait(pauseMs);
        pauseMs = std::min(pauseMs * 2, o_.reconnectPauseMaxMs);
      } else if (connected_) {
        pauseMs = o_.reconnectPauseMinMs;
      }
    }
    if (socketUp && connected_) {
      TakeCommands();
      SendPending();
      const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFlushAtStopMs);
      while (!mids_.empty() && std::chrono::steady_clock::now() < end) {
        pollfd fd{mosquitto_socket(mosq_), static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0};
        ::poll(&fd, 1, 50);
        if (mosquitto_loop_read(mosq_, 1) != MOSQ_ERR_SUCCESS && fd.revents) break;
        if (mosquitto_want_write(mosq_)) mosquitto_loop_write(mosq_, 1);
      }
      mosquitto_disconnect(mosq_);
      mosquitto_loop_write(mosq_, 1);
    }
    mosquitto_property_free_all(&properties);
    mosquitto_destroy(mosq_);
  }

  void Wait(int ms) {
    pollfd fd{commandFd_, POLLIN, 0};
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      ::poll(&fd, 1, static_cast<int>(left));  // a command wakes it; it stays queued until connected
      if (stop_) break;
      if (fd.revents & POLLIN) {
        Drain(commandFd_);
        TakeCommands();
      }
    }
  }

  void TakeCommands() {
    std::lock_guard lock(mutex_);
    for (auto& c : commands_) {
      if (c.retained) {  // only the latest state matters
        for (auto it = pending_.begin(); it != pending_.end();)
          it = it->retained && it->topic == c.topic ? pending_.erase(it) : std::next(it);
      }
      pending_.push_back(std::move(c));
    }
    commands_.clear();
  }

  void SendPending() {
    while (!pending_.empty()) {
      const Command& c = pending_.front();
      int mid = 0;
      const int rc = mosquitto_publish_v5(mosq_, &mid, c.topic.c_str(), static_cast<int>(c.payload.size()),
                                          c.payload.data(), 1, c.retained, nullptr);
      if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_OVERSIZE_PACKET || rc == MOSQ_ERR_NOMEM) return;
      if (rc != MOSQ_ERR_SUCCESS) {
        BrokerEvent e;
        e.kind = BrokerEvent::Kind::Refused;
        e.id = c.id;
        e.text = "cannot publish to " + c.topic + ": " + Reason(rc);
        Tell(std::move(e));
      } else if (!c.retained) {
        mids_[mid] = c.id;
      }
      pending_.pop_front();
    }
  }

  void OnConnect(int rc, int flags) {
    if (rc != 0) {
      refused_ = true;
      Lost("the broker " + o_.host + ":" + std::to_string(o_.port) + " refused the connection: " +
           mosquitto_reason_string(rc));
      return;
    }
    connected_ = true;
    if (!o_.subscription.empty()) mosquitto_subscribe_v5(mosq_, nullptr, o_.subscription.c_str(), 1, 0, nullptr);
    BrokerEvent e;
    e.kind = BrokerEvent::Kind::Connected;
    e.sessionPresent = (flags & 1) != 0;
    Tell(std::move(e));
  }

  void OnDisconnect(int rc) {
    if (rc != 0 && connected_) {
      Lost("connection to " + o_.host + ":" + std::to_string(o_.port) + " lost: " +
           (rc >= 0x80 ? std::string(mosquitto_reason_string(rc)) : Reason(rc)));
      connected_ = false;
    }
  }

  void OnPublish(int mid, int rc) {
    const auto it = mids_.find(mid);
    if (it == mids_.end()) return;  // the state
    BrokerEvent e;
    e.kind = rc >= 0x80 ? BrokerEvent::Kind::Refused : BrokerEvent::Kind::Delivered;
    e.id = it->second;
    if (rc >= 0x80) e.text = std::string("the broker refused the page: ") + mosquitto_reason_string(rc);
    mids_.erase(it);
    Tell(std::move(e));
  }

  void OnSubscribe(int granted) {
    if (granted < 0x80) return;
    BrokerEvent e;
    e.kind = BrokerEvent::Kind::Refused;
    e.text = "the broker refused the subscription to " + o_.subscription + ": " + mosquitto_reason_string(granted);
    Tell(std::move(e));
  }

  const BrokerOptions o_;
  mosquitto* mosq_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  int eventFd_ = -1, commandFd_ = -1;

  std::mutex mutex_;  // guards the two lists below
  std::vector<Command> commands_;
  std::vector<BrokerEvent> events_;

  // The thread's own.
  std::deque<Command> pending_;
  std::map<int, std::uint64_t> mids_;
  bool connected_ = false;
  bool refused_ = false;
  bool told_ = false;  // this connection's end has been told
  std::string lastError_;
};

}  // namespace

std::unique_ptr<PageBroker> MakeMosquittoBroker(const BrokerOptions& options) {
  return std::make_unique<MosquittoBroker>(options);
}

}  // namespace platform
