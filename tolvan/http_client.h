// The HTTP client of the update run as the run sees it: HEAD and GET on one kept-alive
// connection, connection events for the log, and a cancel that may come from another thread.
// An interface so that the run can be tested with a scripted client instead of a TLS server;
// IdHttp (tolvan/id_http.h) is the real one.
#ifndef TOLVAN_HTTP_CLIENT_H_
#define TOLVAN_HTTP_CLIENT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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

class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // Sends HEAD for `url`. Returns the reply; never throws except what an event handler threw.
  virtual HttpReply Head(const std::string& url) = 0;

  // Sends GET for `url`; the body of a 2xx answer goes to `sink` as it arrives, the body of any
  // other answer is not read. Never throws except what an event handler threw.
  virtual HttpReply Get(const std::string& url, BodySink& sink) = 0;

  // Closes the kept-alive connection, reporting it through the events. Nothing happens when
  // none is open.
  virtual void Disconnect() = 0;

  // Stops the request in progress (within a fraction of a second) and every later one.
  // Any thread.
  virtual void Cancel() = 0;
};

// Makes the client of one update run, reporting to `events` (which outlives the client).
using HttpClientFactory =
    std::function<std::unique_ptr<HttpClient>(HttpEvents& events, const HttpSettings& settings)>;

}  // namespace tolvan

#endif  // TOLVAN_HTTP_CLIENT_H_
