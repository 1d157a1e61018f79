#include "platform/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string_view>

#include "platform/error.h"

namespace platform {

namespace {

constexpr long kMaxRedirects = 10;

// libcurl wants one global init before any handle exists. It is never undone:
// the library stays usable for the life of the process.
void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (rc != CURLE_OK) {
      throw Error(kSocketError, std::string("HTTP library could not start: ") +
                                    curl_easy_strerror(rc));
    }
  });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

// Header names compare without regard to case, as HTTP does, so that
// "accept" and "Accept" are one entry.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
          return std::tolower(static_cast<unsigned char>(x)) <
                 std::tolower(static_cast<unsigned char>(y));
        });
  }
};

bool ParsePort(std::string_view text, int& port) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > 65535) {
    return false;
  }
  port = value;
  return true;
}

// Frees the per-request header list however Get leaves.
struct HeaderList {
  curl_slist* list = nullptr;
  ~HeaderList() { curl_slist_free_all(list); }
};

}  // namespace

struct HttpClient::Impl {
  CURL* curl = nullptr;
  std::string host;
  int port = 80;
  long connectTimeoutMs = 0;
  long readTimeoutMs = 0;
  long totalTimeoutMs = 0;
  bool followRedirects = false;
  bool cookiesEnabled = true;
  std::map<std::string, std::string, NoCaseLess> headers;
  std::size_t maxBodyBytes = kDefaultMaxBodyBytes;
  int lastStatus = 0;

  // State of the request in progress, filled by the callbacks.
  std::string body;
  std::string statusLine;
  bool bodyTooLong = false;
  char errorBuffer[CURL_ERROR_SIZE] = {};

  static size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<Impl*>(user);
    const size_t n = size * count;
    if (n > self->maxBodyBytes - self->body.size()) {
      self->bodyTooLong = true;
      return 0;  // anything but n aborts the transfer
    }
    try {
      self->body.append(data, n);
    } catch (const std::bad_alloc&) {
      self->bodyTooLong = true;
      return 0;
    }
    return n;
  }

  // Keeps the last status line seen: after followed redirects that is the one
  // of the final answer.
  static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<Impl*>(user);
    const size_t n = size * count;
    std::string_view line(data, n);
    if (line.substr(0, 5) == "HTTP/") {
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
      }
      try {
        self->statusLine.assign(line);
      } catch (const std::bad_alloc&) {
        return 0;
      }
    }
    return n;
  }

  std::string BuildUrl(const std::string& pathOrUrl) const {
    if (StartsWithNoCase(pathOrUrl, "http://") || StartsWithNoCase(pathOrUrl, "https://")) {
      return pathOrUrl;
    }
    std::string name = host;
    int usePort = port;
    const auto colon = host.rfind(':');
    if (colon != std::string::npos) {
      name = host.substr(0, colon);
      if (!ParsePort(std::string_view(host).substr(colon + 1), usePort)) {
        throw Error(kSocketError, "Invalid port in host \"" + host + "\"");
      }
    } else if (port < 1 || port > 65535) {
      throw Error(kSocketError, "Invalid port " + std::to_string(port));
    }
    if (name.empty()) {
      throw Error(kSocketError, "No host set for \"" + pathOrUrl + "\"");
    }
    std::string url = "http://" + name + ":" + std::to_string(usePort);
    if (pathOrUrl.empty() || pathOrUrl.front() != '/') url += '/';
    url += pathOrUrl;
    return url;
  }

  void ApplyOptions(const std::string& url, curl_slist* headerList) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headerList);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, totalTimeoutMs);
    // libcurl has no "next data" limit of its own; a transfer slower than
    // 1 byte/s for the whole period counts as stalled. The period is in whole
    // seconds, so the limit is rounded up. libcurl averages the speed over the
    // last few seconds, so a stall right after some data is noticed a few
    // seconds late; a silent peer is noticed on time.
    const long lowSpeedSeconds = readTimeoutMs > 0 ? (readTimeoutMs + 999) / 1000 : 0;
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, lowSpeedSeconds > 0 ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, lowSpeedSeconds);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L);
  }

  [[noreturn]] void ThrowTransferError(CURLcode rc) const {
    std::string message = errorBuffer[0] != '\0' ? std::string(errorBuffer)
                                                 : std::string(curl_easy_strerror(rc));
    switch (rc) {
      case CURLE_OPERATION_TIMEDOUT:
        throw Error(kTimeoutError, message);
      case CURLE_TOO_MANY_REDIRECTS:
        throw Error(kHttpError, message);
      default:
        throw Error(kSocketError, message);
    }
  }
};

HttpClient::HttpClient() : impl_(std::make_unique<Impl>()) {
  InitCurlOnce();
  CURL* curl = curl_easy_init();
  if (curl == nullptr) throw Error(kSocketError, "Could not create an HTTP handle");
  impl_->curl = curl;

  // Options that stay the same for every request of this client.
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // no SIGALRM; safe with threads
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, impl_->errorBuffer);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, impl_.get());
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, impl_.get());
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");  // cookies on, in memory only
  curl_easy_setopt(curl, CURLOPT_PROXY, "");  // the unit's hosts are reached directly, whatever the environment says
  // Bodies are returned as sent: no compression is asked for and no content
  // encoding is undone. Chunked transfer encoding is still removed.
  curl_easy_setopt(curl, CURLOPT_HTTP_CONTENT_DECODING, 0L);
#if LIBCURL_VERSION_NUM >= 0x075500
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS, long{CURLPROTO_HTTP | CURLPROTO_HTTPS});
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, long{CURLPROTO_HTTP | CURLPROTO_HTTPS});
#endif
}

HttpClient::~HttpClient() {
  if (impl_ && impl_->curl != nullptr) curl_easy_cleanup(impl_->curl);
}

void HttpClient::SetHost(std::string host) { impl_->host = std::move(host); }
const std::string& HttpClient::Host() const { return impl_->host; }
void HttpClient::SetPort(int port) { impl_->port = port; }
int HttpClient::Port() const { return impl_->port; }

void HttpClient::SetConnectTimeoutMs(long ms) { impl_->connectTimeoutMs = std::max(ms, 0L); }
void HttpClient::SetReadTimeoutMs(long ms) { impl_->readTimeoutMs = std::max(ms, 0L); }
void HttpClient::SetTotalTimeoutMs(long ms) { impl_->totalTimeoutMs = std::max(ms, 0L); }
void HttpClient::SetFollowRedirects(bool follow) { impl_->followRedirects = follow; }

void HttpClient::SetCookiesEnabled(bool enabled) {
  if (enabled == impl_->cookiesEnabled) return;
  impl_->cookiesEnabled = enabled;
  if (enabled) {
    curl_easy_setopt(impl_->curl, CURLOPT_COOKIEFILE, "");
  } else {
    curl_easy_setopt(impl_->curl, CURLOPT_COOKIELIST, "ALL");
    curl_easy_setopt(impl_->curl, CURLOPT_COOKIEFILE, static_cast<char*>(nullptr));
  }
}

void HttpClient::SetHeader(const std::string& name, const std::string& value) {
  // A line break would let a value start a header or request of its own.
  if (name.empty() || name.find_first_of(":\r\n") != std::string::npos ||
      value.find_first_of("\r\n") != std::string::npos) {
    throw std::invalid_argument("Invalid HTTP header \"" + name + "\"");
  }
  impl_->headers.erase(name);
  // An empty value only drops ours: sending "Name:" would make libcurl remove
  // a header of its own as well.
  if (!value.empty()) impl_->headers.emplace(name, value);
}

void HttpClient::SetMaxBodyBytes(std::size_t bytes) { impl_->maxBodyBytes = bytes; }

std::string BlanksEscaped(const std::string& address) {
  std::string escaped;
  escaped.reserve(address.size());
  for (const char c : address) {
    if (c == ' ')
      escaped += "%20";
    else
      escaped += c;
  }
  return escaped;
}

std::string HttpClient::Get(const std::string& pathOrUrl) {
  Impl& d = *impl_;
  const std::string url = BlanksEscaped(d.BuildUrl(pathOrUrl));

  HeaderList headerList;
  for (const auto& [name, value] : d.headers) {
    const std::string line = name + ": " + value;
    curl_slist* grown = curl_slist_append(headerList.list, line.c_str());
    if (grown == nullptr) throw std::bad_alloc();
    headerList.list = grown;
  }

  d.body.clear();
  d.statusLine.clear();
  d.bodyTooLong = false;
  d.errorBuffer[0] = '\0';
  d.ApplyOptions(url, headerList.list);

  const CURLcode rc = curl_easy_perform(d.curl);
  // The list dies with this call; the handle must not keep pointing at it.
  curl_easy_setopt(d.curl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));

  long status = 0;
  curl_easy_getinfo(d.curl, CURLINFO_RESPONSE_CODE, &status);
  d.lastStatus = static_cast<int>(status);

  if (d.bodyTooLong) {
    d.body.clear();
    throw Error(kHttpError,
                "Answer longer than " + std::to_string(d.maxBodyBytes) + " bytes from " + url);
  }
  if (rc != CURLE_OK) d.ThrowTransferError(rc);
  if (status < 200 || status > 299) {
    throw Error(kHttpError,
                d.statusLine.empty() ? "HTTP status " + std::to_string(status) : d.statusLine);
  }
  std::string result;
  result.swap(d.body);
  return result;
}

int HttpClient::LastStatus() const { return impl_->lastStatus; }

}  // namespace platform
