// IdHTTP1, the updater's one HTTPS client (libcurl over OpenSSL): HEAD and GET with the two
// fixed request headers, TLS 1.2 exactly with the server certificate verified against the
// system's trust store, no proxy, no redirects, one kept-alive connection reused between
// requests until Disconnect(). Connection changes are reported as they happen so the window
// can log them.
//
// The client is used by one thread at a time; only Cancel() may be called from another.
#ifndef TOLVAN_ID_HTTP_H_
#define TOLVAN_ID_HTTP_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "tolvan/http_client.h"

namespace tolvan {

class IdHttp final : public HttpClient {
 public:
  IdHttp(HttpEvents& events, HttpSettings settings);
  ~IdHttp() override;
  IdHttp(const IdHttp&) = delete;
  IdHttp& operator=(const IdHttp&) = delete;

  // Sends HEAD for `url`. Returns the reply; never throws except what an event handler threw.
  HttpReply Head(const std::string& url) override;

  // Sends GET for `url`; the body of a 2xx answer goes to `sink` as it arrives, the body of any
  // other answer is not read. Never throws except what an event handler threw.
  HttpReply Get(const std::string& url, BodySink& sink) override;

  // Closes the kept-alive connection, reporting it through the events. Nothing happens when
  // none is open.
  void Disconnect() override;

  // Stops the request in progress (within a fraction of a second) and every later one.
  // Any thread.
  void Cancel() override { cancelled_.store(true); }

 private:
  HttpReply Perform(const std::string& url, bool head, BodySink* sink);
  void Configure();
  void NoteActivity() { last_activity_ = std::chrono::steady_clock::now(); }

  friend struct IdHttpCallbacks;  // libcurl's C callbacks

  HttpEvents& events_;
  HttpSettings settings_;
  void* multi_ = nullptr;  // CURLM*: owns the connection cache
  void* easy_ = nullptr;   // CURL*: the one request handle
  void* headers_ = nullptr;  // curl_slist* of the fixed request headers
  std::atomic<bool> cancelled_{false};
  bool quiet_ = false;  // no more events (the client is being destroyed)

  // State of the request in progress.
  std::string host_;                  // host of the current URL, for the resolving report
  bool head_ = false;
  BodySink* sink_ = nullptr;
  HttpReply reply_;
  int64_t content_length_ = -1;
  bool body_begun_ = false;
  bool new_socket_ = false;           // a socket was opened and not yet reported connected
  bool request_sent_ = false;         // the connection stands and the request is under way
  std::chrono::steady_clock::time_point last_activity_;
  std::exception_ptr handler_error_;  // thrown by an event handler inside a callback
  char error_buffer_[256] = {};
};

// The real client for an update run: an HttpClientFactory.
inline std::unique_ptr<HttpClient> MakeIdHttp(HttpEvents& events, const HttpSettings& settings) {
  return std::make_unique<IdHttp>(events, settings);
}

}  // namespace tolvan

#endif  // TOLVAN_ID_HTTP_H_
