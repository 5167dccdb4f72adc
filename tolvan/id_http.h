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
#include <string>

namespace tolvan {

// Receives the client's connection events on the requesting thread. A handler may throw: the
// request in progress is then stopped and the exception leaves the client's call.
class HttpEvents {
 public:
  virtual ~HttpEvents() = default;
  // The connection changed state; `text` is the state's text (host name or address filled in).
  virtual void IdHTTP1Status(const std::string& text) = 0;
  // The connection has been closed.
  virtual void IdHTTP1Disconnected() = 0;
};

// Where a GET writes the body of a successful (2xx) answer.
class BodySink {
 public:
  virtual ~BodySink() = default;
  // The body begins; `length` is the announced length, -1 when none was announced. Returns
  // false to stop the request (the sink keeps the reason).
  virtual bool Begin(int64_t length) = 0;
  // The next bytes of the body. Returns false to stop the request.
  virtual bool Write(const char* data, size_t size) = 0;
};

struct HttpSettings {
  int64_t connect_timeout_ms = 30000;  // name resolution, connection and TLS handshake
  int64_t stall_timeout_ms = 60000;    // longest time without any byte from the server
};

// The outcome of one request.
struct HttpReply {
  bool answered = false;      // an HTTP status line arrived
  int32_t status = 0;         // its status, when answered
  std::string status_line;    // e.g. "HTTP/1.1 404 Not Found", without the line end
  bool ok = false;            // 2xx, and for GET the whole body was handed to the sink
  bool cancelled = false;     // Cancel() stopped it
  bool sink_failed = false;   // the sink refused a Begin or Write
  std::string error;          // why the request is not ok (status line or transfer error)
  int64_t last_modified = -1; // Last-Modified as seconds since 1970 UTC, -1 when none or unreadable
};

class IdHttp {
 public:
  IdHttp(HttpEvents& events, HttpSettings settings);
  ~IdHttp();
  IdHttp(const IdHttp&) = delete;
  IdHttp& operator=(const IdHttp&) = delete;

  // Sends HEAD for `url`. Returns the reply; never throws except what an event handler threw.
  HttpReply Head(const std::string& url);

  // Sends GET for `url`; the body of a 2xx answer goes to `sink` as it arrives, the body of any
  // other answer is not read. Never throws except what an event handler threw.
  HttpReply Get(const std::string& url, BodySink& sink);

  // Closes the kept-alive connection, reporting it through the events. Nothing happens when
  // none is open.
  void Disconnect();

  // Stops the request in progress (within a fraction of a second) and every later one.
  // Any thread.
  void Cancel() { cancelled_.store(true); }

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

}  // namespace tolvan

#endif  // TOLVAN_ID_HTTP_H_
