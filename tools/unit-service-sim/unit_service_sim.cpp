#include "tools/unit-service-sim/unit_service_sim.h"

#include <array>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <random>
#include <stdexcept>

#include "tools/unit-service-sim/charts.h"
#include "tools/unit-service-sim/documents.h"
#include "tools/unit-service-sim/http_server.h"
#include "tools/unit-service-sim/pictures.h"
#include "tools/unit-service-sim/route_map.h"
#include "tools/unit-service-sim/svg.h"
#include "tools/unit-service-sim/weather.h"

namespace sim {

namespace {

using SystemClock = std::chrono::system_clock;

constexpr size_t kEndpointCount = 7;  // without All

const std::array<std::string_view, 8> kEndpointNames = {"feed",    "incident", "summary", "iframe",
                                                        "weather", "chart",    "pix",     "all"};
const std::array<std::string_view, 8> kModeNames = {"none",   "refuse",  "silent",    "delay",
                                                    "status", "garbage", "truncated", "huge"};

// What an endpoint answers when it behaves.
struct Reply {
  int status = 200;
  std::string contentType;
  std::string body;
};

std::string ErrorPage(int status, std::string_view text) {
  return HtmlPage(std::to_string(status) + " " + std::string(text),
                  "<h1>" + std::to_string(status) + " " + XmlEscape(text) + "</h1>\n");
}

std::string RandomBytes() {
  thread_local std::mt19937_64 engine{std::random_device{}()};
  std::string bytes(static_cast<size_t>(8192 + engine() % 57344), '\0');
  for (char& c : bytes) c = static_cast<char>(engine() & 0xFF);
  return bytes;
}

// The answer blown up to kHugeBodySize bytes. The feed keeps only a
// well-formed start and never closes it; text answers are followed by
// padding comments or blanks, a picture by zero bytes.
std::string HugeBody(Endpoint endpoint, const Reply& reply) {
  std::string body;
  body.reserve(kHugeBodySize);
  if (endpoint == Endpoint::Feed) {
    body = "<xml>\r\n <RVUSrvc>\r\n  <LEDDisplay>\r\n   <PageA>";
    while (body.size() < kHugeBodySize) body += "PADDING PADDING PADDING PADDING PADDING PADDING PADDING\r\n";
  } else {
    body = reply.body;
    const bool html = reply.contentType.rfind("text/html", 0) == 0;
    const bool binary = endpoint == Endpoint::Pix;
    while (body.size() < kHugeBodySize) {
      if (binary)
        body.append(kHugeBodySize - body.size(), '\0');
      else if (html)
        body += "<!-- padding padding padding padding padding padding padding padding -->\n";
      else
        body += "                                                                \r\n";
    }
  }
  body.resize(kHugeBodySize);
  return body;
}

std::string FaultText(const Fault& fault) {
  std::string text(NameOf(fault.mode));
  if (fault.mode == FaultMode::Delay) text += " " + std::to_string(fault.seconds) + "s";
  if (fault.mode == FaultMode::Status) text += " " + std::to_string(fault.code);
  return text;
}

const char* StageName(TaskStage stage) {
  switch (stage) {
    case TaskStage::Received: return "REC";
    case TaskStage::Acknowledged: return "ACK";
    case TaskStage::Mobile: return "MOB";
    default: return "CSD";
  }
}

// The number of a picture name: three digits with leading zeros, more from
// 1000 on, as the kiosk forms them.
std::optional<int> PictureNumber(std::string_view path) {
  constexpr std::string_view kPrefix = "/rvu/kioskpix/html/IMG";
  constexpr std::string_view kSuffix = "_big.jpg";
  if (path.size() <= kPrefix.size() + kSuffix.size() || path.substr(0, kPrefix.size()) != kPrefix ||
      path.substr(path.size() - kSuffix.size()) != kSuffix)
    return std::nullopt;
  const std::string_view digits = path.substr(kPrefix.size(), path.size() - kPrefix.size() - kSuffix.size());
  for (char c : digits)
    if (c < '0' || c > '9') return std::nullopt;
  const auto number = ParseInteger(digits);
  if (!number || *number > 1000000) return std::nullopt;
  char canonical[16];
  std::snprintf(canonical, sizeof canonical, "%03d", static_cast<int>(*number));
  if (digits != canonical) return std::nullopt;
  return static_cast<int>(*number);
}

}  // namespace

std::optional<Endpoint> EndpointNamed(std::string_view name) {
  for (size_t i = 0; i < kEndpointNames.size(); ++i)
    if (EqualsNoCase(kEndpointNames[i], name)) return static_cast<Endpoint>(i);
  return std::nullopt;
}

std::optional<FaultMode> FaultModeNamed(std::string_view name) {
  for (size_t i = 0; i < kModeNames.size(); ++i)
    if (EqualsNoCase(kModeNames[i], name)) return static_cast<FaultMode>(i);
  return std::nullopt;
}

std::string_view NameOf(Endpoint endpoint) { return kEndpointNames[static_cast<size_t>(endpoint)]; }
std::string_view NameOf(FaultMode mode) { return kModeNames[static_cast<size_t>(mode)]; }

struct UnitServiceSim::Impl {
  explicit Impl(Options o) : options(std::move(o)), book(options.seed) {}

  Options options;
  HttpServer main{128};
  HttpServer control{8};
  int port = 0;
  int controlPort = 0;
  bool started = false;

  mutable std::mutex mutex;
  std::condition_variable changed;  // faults changed or stopping
  bool stopping = false;
  IncidentBook book;
  std::array<Fault, kEndpointCount> faults{};
  std::vector<std::string> requests;
  int logRecId = 50000;

  std::mutex logMutex;
  std::FILE* logFile = nullptr;
  PictureCache pictures;

  void LogRequest(const std::string& method, const std::string& target);
  std::optional<std::pair<Endpoint, Reply>> Route(const httplib::Request& req);
  void HandleMain(const httplib::Request& req, httplib::Response& res);
  void SetupControl();
  int Raise(const IncidentFields& fields);
  void SetFault(Endpoint endpoint, Fault fault);
  std::string State() const;
};

void UnitServiceSim::Impl::LogRequest(const std::string& method, const std::string& target) {
  {
    std::lock_guard lock(mutex);
    requests.push_back(method + " " + target);
  }
  if (!logFile) return;
  const auto now = SystemClock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03d", static_cast<int>(ms));
  const std::string line = DateTimeText(now) + millis + " " + method + " " + target + "\n";
  std::lock_guard lock(logMutex);
  std::fputs(line.c_str(), logFile);
  std::fflush(logFile);
}

std::optional<std::pair<Endpoint, Reply>> UnitServiceSim::Impl::Route(const httplib::Request& req) {
  const std::string& path = req.path;
  const size_t question = req.target.find('?');
  const std::string rawQuery = question == std::string::npos ? std::string() : req.target.substr(question + 1);
  const auto now = SystemClock::now();
  const std::string html = "text/html; charset=utf-8";

  if (path == "/rvu/RVUSrvc.xml") {
    std::lock_guard lock(mutex);
    return std::pair{Endpoint::Feed, Reply{200, "text/xml", FeedDocument(book, now, options.pix)}};
  }
  if (path == options.uri + "/GetZAVPagerXML") {
    std::lock_guard lock(mutex);
    return std::pair{Endpoint::Incident, Reply{200, "text/xml", IncidentAnswer(book, ParseQuery(rawQuery), now, ++logRecId)}};
  }
  if (path == "/rvu/rvuisapi.dll/json") {
    std::lock_guard lock(mutex);
    return std::pair{Endpoint::Summary, Reply{200, "application/json", SummaryAnswer(book, ParseQuery(rawQuery), now)}};
  }
  if (path == options.uri + "/iframe") {
    const MapRequest request = ParseMapRequest(rawQuery);
    if (!EqualsNoCase(Trim(request.guid), kAccessGuid))
      return std::pair{Endpoint::Iframe, Reply{403, html, ErrorPage(403, "Access denied: invalid GUID")}};
    if (request.from.empty() || request.to.empty())
      return std::pair{Endpoint::Iframe, Reply{400, html, ErrorPage(400, "The map address lacks saddr or daddr")}};
    return std::pair{Endpoint::Iframe, Reply{200, html, RouteMapPage(request)}};
  }
  if (path == "/rvu/bom.htm") return std::pair{Endpoint::Weather, Reply{200, html, WeatherPage(now)}};
  if (path.rfind("/rvu/", 0) == 0) {
    std::lock_guard lock(mutex);
    if (auto page = ChartPage(std::string_view(path).substr(5), book, now))
      return std::pair{Endpoint::Chart, Reply{200, html, std::move(*page)}};
  }
  if (const auto number = PictureNumber(path); number && *number >= 1) {
    std::unique_lock lock(mutex);
    const bool offered = *number <= options.pix;
    lock.unlock();
    if (offered) return std::pair{Endpoint::Pix, Reply{200, "image/jpeg", pictures.Get(*number)}};
  }
  return std::nullopt;
}

void UnitServiceSim::Impl::HandleMain(const httplib::Request& req, httplib::Response& res) {
  auto routed = Route(req);
  if (!routed) {
    res.status = 404;
    res.set_content(ErrorPage(404, "Not Found"), "text/html; charset=utf-8");
    return;
  }
  auto& [endpoint, reply] = *routed;
  Connection* connection = HttpServer::CurrentConnection();
  Fault fault;
  {
    std::lock_guard lock(mutex);
    fault = faults[static_cast<size_t>(endpoint)];
  }
  switch (fault.mode) {
    case FaultMode::None:
      break;
    case FaultMode::Refuse:
      if (connection) connection->Drop();
      return;
    case FaultMode::Silent: {
      std::unique_lock lock(mutex);
      const size_t index = static_cast<size_t>(endpoint);
      changed.wait_for(lock, kSilentHoldLimit, [&] { return stopping || faults[index].mode != FaultMode::Silent; });
      if (connection) connection->Drop();
      return;
    }
    case FaultMode::Delay: {
      std::unique_lock lock(mutex);
      if (changed.wait_for(lock, std::chrono::seconds(fault.seconds), [&] { return stopping; })) {
        if (connection) connection->Drop();
        return;
      }
      break;
    }
    case FaultMode::Status:
      reply = Reply{fault.code, "text/html; charset=utf-8", ErrorPage(fault.code, "Simulated failure")};
      break;
    case FaultMode::Garbage:
      reply.status = 200;
      reply.body = RandomBytes();
      break;
    case FaultMode::Truncated: {
      const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: " + reply.contentType +
                               "\r\nContent-Length: " + std::to_string(reply.body.size()) +
                               "\r\nConnection: close\r\n\r\n";
      if (connection) {
        connection->WriteRaw(head + reply.body.substr(0, reply.body.size() / 2));
        connection->Drop();
      }
      return;
    }
    case FaultMode::Huge:
      reply.status = 200;
      reply.body = HugeBody(endpoint, reply);
      break;
  }
  res.status = reply.status;
  res.set_header("Cache-Control", "no-cache");
  res.set_content(std::move(reply.body), reply.contentType);
}

int UnitServiceSim::Impl::Raise(const IncidentFields& fields) {
  if (fields.priority && *fields.priority != 1 && *fields.priority != 2 && *fields.priority != 3 &&
      *fields.priority != 7)
    throw std::invalid_argument("priority must be 1, 2, 3 or 7");
  if (fields.minutesAgo && *fields.minutesAgo < 0) throw std::invalid_argument("minutesago must not be negative");
  std::lock_guard lock(mutex);
  return book.Raise(fields, SystemClock::now()).number;
}

void UnitServiceSim::Impl::SetFault(Endpoint endpoint, Fault fault) {
  {
    std::lock_guard lock(mutex);
    if (endpoint == Endpoint::All)
      faults.fill(fault);
    else
      faults[static_cast<size_t>(endpoint)] = fault;
  }
  changed.notify_all();
}

std::string UnitServiceSim::Impl::State() const {
  std::lock_guard lock(mutex);
  const auto now = SystemClock::now();
  std::string text = "main 127.0.0.1:" + std::to_string(port) + "\ncontrol 127.0.0.1:" + std::to_string(controlPort) +
                     "\npix " + std::to_string(options.pix) + "\nincidents " + std::to_string(book.All().size()) + "\n";
  if (const Incident* inc = book.Current()) {
    text += "current " + std::to_string(inc->number) + " P" + std::to_string(inc->priority) + " " + inc->taskType +
            " | " + inc->PlainStreet() + " | " + inc->suburb + " | paged " + DateTimeText(inc->pagerTime) +
            " | task " + (inc->task ? std::string("yes ") + StageName(inc->Stage(now)) : std::string("no")) + "\n";
  } else {
    text += "current none\n";
  }
  for (size_t i = 0; i < kEndpointCount; ++i)
    text += "fault " + std::string(kEndpointNames[i]) + " " + FaultText(faults[i]) + "\n";
  text += "requests " + std::to_string(requests.size()) + "\n";
  return text;
}

void UnitServiceSim::Impl::SetupControl() {
  using httplib::Request;
  using httplib::Response;
  auto param = [](const Request& req, const char* key) -> std::optional<std::string> {
    if (!req.has_param(key)) return std::nullopt;
    return req.get_param_value(key);
  };
  auto fail = [](Response& res, const std::string& why) {
    res.status = 400;
    res.set_content("error: " + why + "\n", "text/plain");
  };
  auto integer = [&](const Request& req, const char* key, long long low, long long high,
                     std::optional<int>& out) -> bool {
    const auto text = param(req, key);
    if (!text) return true;
    const auto value = ParseInteger(Trim(*text));
    if (!value || *value < low || *value > high) return false;
    out = static_cast<int>(*value);
    return true;
  };

  control.Get("/", [](const Request&, Response& res) {
    res.set_content(
        "POST /incident?street=&suburb=&priority=&tasktype=&minutesago=&task=0|1\n"
        "POST /fault?endpoint=feed|incident|summary|iframe|weather|chart|pix|all"
        "&mode=none|refuse|silent|delay|status|garbage|truncated|huge&seconds=N&code=N\n"
        "POST /faults/clear\nPOST /pix?count=N\nGET /requests\nPOST /requests/clear\nGET /state\n",
        "text/plain");
  });
  control.Post("/incident", [=, this](const Request& req, Response& res) {
    IncidentFields fields;
    fields.street = param(req, "street");
    fields.suburb = param(req, "suburb");
    fields.taskType = param(req, "tasktype");
    if (!integer(req, "priority", 1, 7, fields.priority)) return fail(res, "priority must be 1, 2, 3 or 7");
    if (!integer(req, "minutesago", 0, 60 * 24 * 366, fields.minutesAgo))
      return fail(res, "minutesago must be a number of minutes");
    std::optional<int> task;
    if (!integer(req, "task", 0, 1, task)) return fail(res, "task must be 0 or 1");
    if (task) fields.task = *task == 1;
    for (const auto& text : {fields.street, fields.suburb, fields.taskType})
      if (text && Trim(*text).empty()) return fail(res, "street, suburb and tasktype must not be empty");
    try {
      res.set_content(std::to_string(Raise(fields)) + "\n", "text/plain");
    } catch (const std::invalid_argument& e) {
      fail(res, e.what());
    }
  });
  control.Post("/fault", [=, this](const Request& req, Response& res) {
    const auto endpoint = EndpointNamed(param(req, "endpoint").value_or(""));
    if (!endpoint) return fail(res, "endpoint must be one of feed, incident, summary, iframe, weather, chart, pix, all");
    const auto mode = FaultModeNamed(param(req, "mode").value_or(""));
    if (!mode) return fail(res, "mode must be one of none, refuse, silent, delay, status, garbage, truncated, huge");
    Fault fault;
    fault.mode = *mode;
    std::optional<int> seconds, code;
    if (!integer(req, "seconds", 0, 3600, seconds)) return fail(res, "seconds must be from 0 to 3600");
    if (!integer(req, "code", 100, 599, code)) return fail(res, "code must be an HTTP status from 100 to 599");
    fault.seconds = seconds.value_or(fault.seconds);
    fault.code = code.value_or(fault.code);
    SetFault(*endpoint, fault);
    res.set_content("OK\n", "text/plain");
  });
  control.Post("/pix", [=, this](const Request& req, Response& res) {
    std::optional<int> count;
    if (!integer(req, "count", 0, 100000, count) || !count) return fail(res, "count must be from 0 to 100000");
    {
      std::lock_guard lock(mutex);
      options.pix = *count;
    }
    res.set_content("OK\n", "text/plain");
  });
  control.Post("/faults/clear", [this](const Request&, Response& res) {
    SetFault(Endpoint::All, Fault{});
    res.set_content("OK\n", "text/plain");
  });
  control.Get("/requests", [this](const Request&, Response& res) {
    std::string text;
    {
      std::lock_guard lock(mutex);
      for (const std::string& line : requests) text += line + "\n";
    }
    res.set_content(text, "text/plain");
  });
  control.Post("/requests/clear", [this](const Request&, Response& res) {
    {
      std::lock_guard lock(mutex);
      requests.clear();
    }
    res.set_content("OK\n", "text/plain");
  });
  control.Get("/state", [this](const Request&, Response& res) { res.set_content(State(), "text/plain"); });
}

UnitServiceSim::UnitServiceSim(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {
  const auto now = SystemClock::now();
  impl_->book.AddHistory(now);
  if (impl_->options.startWithIncident) {
    IncidentFields fields;
    fields.minutesAgo = 4;
    impl_->book.Raise(fields, now);
  }
}

UnitServiceSim::~UnitServiceSim() { Stop(); }

void UnitServiceSim::Start() {
  Impl& s = *impl_;
  if (s.started) return;
  if (s.stopping) throw std::logic_error("the simulator cannot be started again after a stop");
  if (!s.options.logPath.empty()) {
    s.logFile = s.options.logPath == "-" ? stdout : std::fopen(s.options.logPath.c_str(), "a");
    if (!s.logFile) throw std::runtime_error("cannot open the log file " + s.options.logPath);
  }
  s.main.OnRequestLine([&s](const std::string& method, const std::string& target) { s.LogRequest(method, target); });
  s.main.Get(".*", [&s](const httplib::Request& req, httplib::Response& res) { s.HandleMain(req, res); });
  s.SetupControl();

  s.port = s.main.Bind(s.options.port);
  const int wanted = s.options.controlPort.value_or(s.options.port == 0 || s.options.port == 65535 ? 0 : s.port + 1);
  s.controlPort = s.control.Bind(wanted);
  if (s.options.announce) {
    std::printf("unit-service-sim listening on 127.0.0.1:%d control 127.0.0.1:%d\n", s.port, s.controlPort);
    std::fflush(stdout);
  }
  s.main.Serve();
  s.control.Serve();
  s.started = true;
}

void UnitServiceSim::Stop() {
  Impl& s = *impl_;
  {
    std::lock_guard lock(s.mutex);
    s.stopping = true;
  }
  s.changed.notify_all();
  s.main.Shutdown();
  s.control.Shutdown();
  std::lock_guard lock(s.logMutex);
  if (s.logFile && s.logFile != stdout) std::fclose(s.logFile);
  s.logFile = nullptr;
}

int UnitServiceSim::Port() const { return impl_->port; }
int UnitServiceSim::ControlPort() const { return impl_->controlPort; }

int UnitServiceSim::RaiseIncident(const IncidentFields& fields) { return impl_->Raise(fields); }

std::optional<Incident> UnitServiceSim::CurrentIncident() const {
  std::lock_guard lock(impl_->mutex);
  if (const Incident* inc = impl_->book.Current()) return *inc;
  return std::nullopt;
}

void UnitServiceSim::SetFault(Endpoint endpoint, Fault fault) { impl_->SetFault(endpoint, fault); }
void UnitServiceSim::ClearFaults() { impl_->SetFault(Endpoint::All, Fault{}); }

std::vector<std::string> UnitServiceSim::Requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

void UnitServiceSim::ClearRequests() {
  std::lock_guard lock(impl_->mutex);
  impl_->requests.clear();
}

std::string UnitServiceSim::StateText() const { return impl_->State(); }

}  // namespace sim
