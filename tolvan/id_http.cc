#include "tolvan/id_http.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "tolvan/text_util.h"
#include "tolvan/texts.h"

namespace tolvan {
namespace {

constexpr long kReceiveBufferBytes = 128 * 1024;
constexpr long kPollIntervalMs = 100;  // how often a waiting transfer looks at Cancel()

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CURL* Easy(void* p) { return static_cast<CURL*>(p); }
CURLM* Multi(void* p) { return static_cast<CURLM*>(p); }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i];
    char b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

std::string HostOf(const std::string& url) {
  std::string host;
  CURLU* u = curl_url();
  if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    char* part = nullptr;
    if (curl_url_get(u, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
      host = part;
      curl_free(part);
    }
  }
  curl_url_cleanup(u);
  return host;
}

std::string AddressText(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
              sizeof text);
  } else if (address->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
              sizeof text);
  }
  return text;
}

}  // namespace

// libcurl calls these on the requesting thread. None lets an exception through into C code:
// a handler's exception is kept and rethrown once libcurl has returned.
struct IdHttpCallbacks {
  template <typename F>
  static bool Guard(IdHttp& self, F&& f) {
    try {
      f();
      return true;
    } catch (...) {
      if (!self.handler_error_) self.handler_error_ = std::current_exception();
      return false;
    }
  }

  static void Status(IdHttp& self, const std::string& text) {
    if (!self.quiet_) self.events_.IdHTTP1Status(text);
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* p) {
    IdHttp& self = *static_cast<IdHttp*>(p);
    const size_t bytes = size * count;
    self.NoteActivity();
    const std::string_view text = Trim(std::string_view(data, bytes));
    if (StartsWithNoCase(text, "HTTP/")) {
      // A new answer begins (there is never more than one final answer: no redirects).
      self.reply_.answered = true;
      self.reply_.status_line = std::string(text);
      self.reply_.status = ResponseCode(self);
      return bytes;
    }
    if (!text.empty()) return bytes;
    // The headers of an answer are complete: libcurl has read its status and length.
    self.reply_.status = ResponseCode(self);
    curl_off_t length = -1;
    if (curl_easy_getinfo(Easy(self.easy_), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) !=
        CURLE_OK) {
      length = -1;
    }
    self.content_length_ = length >= 0 ? static_cast<int64_t>(length) : -1;
    if (!self.head_ && self.reply_.status >= 200 && self.reply_.status <= 299 &&
        !self.body_begun_) {
      self.body_begun_ = true;
      bool begun = false;
      if (!Guard(self, [&] { begun = self.sink_->Begin(self.content_length_); })) return 0;
      if (!begun) {
        self.reply_.sink_failed = true;
        return 0;
      }
    }
    return bytes;
  }

  static int32_t ResponseCode(IdHttp& self) {
    long code = 0;
    if (curl_easy_getinfo(Easy(self.easy_), CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) return 0;
    return static_cast<int32_t>(code);
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* p) {
    IdHttp& self = *static_cast<IdHttp*>(p);
    const size_t bytes = size * count;
    self.NoteActivity();
    // The body of a failed answer is of no use: stop reading it.
    if (!self.body_begun_ || self.sink_ == nullptr) return 0;
    bool written = false;
    if (!Guard(self, [&] { written = self.sink_->Write(data, bytes); })) return 0;
    if (!written) {
      self.reply_.sink_failed = true;
      return 0;
    }
    return bytes;
  }

  static int OnResolverStart(void*, void*, void* p) {
    IdHttp& self = *static_cast<IdHttp*>(p);
    return Guard(self, [&] { Status(self, Format(texts::kStateResolving, self.host_)); }) ? 0 : 1;
  }

  static curl_socket_t OnOpenSocket(void* p, curlsocktype, curl_sockaddr* address) {
    IdHttp& self = *static_cast<IdHttp*>(p);
    const std::string where = AddressText(&address->addr);
    if (!Guard(self, [&] { Status(self, Format(texts::kStateConnecting, where)); })) {
      return CURL_SOCKET_BAD;
    }
    const curl_socket_t fd =
        socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (fd != CURL_SOCKET_BAD) self.new_socket_ = true;
    return fd;
  }

  static int OnPrereq(void* p, char*, char*, int, int) {
    IdHttp& self = *static_cast<IdHttp*>(p);
    self.request_sent_ = true;
    self.NoteActivity();
    if (!self.new_socket_) return CURL_PREREQFUNC_OK;
    self.new_socket_ = false;
    return Guard(self, [&] { Status(self, texts::kStateConnected); }) ? CURL_PREREQFUNC_OK
                                                                      : CURL_PREREQFUNC_ABORT;
  }

  static int OnCloseSocket(void* p, curl_socket_t fd) {
    IdHttp& self = *static_cast<IdHttp*>(p);
    Guard(self, [&] { Status(self, texts::kStateDisconnecting); });
    const int result = close(fd);
    Guard(self, [&] {
      Status(self, texts::kStateDisconnected);
      if (!self.quiet_) self.events_.IdHTTP1Disconnected();
    });
    return result;
  }
};

IdHttp::IdHttp(HttpEvents& events, HttpSettings settings)
    : events_(events), settings_(settings) {
  GlobalInit();
  multi_ = curl_multi_init();
  easy_ = curl_easy_init();
  headers_ = curl_slist_append(nullptr, texts::kAcceptHeader);
  Configure();
}

IdHttp::~IdHttp() {
  quiet_ = true;
  curl_multi_cleanup(Multi(multi_));
  curl_easy_cleanup(Easy(easy_));
  curl_slist_free_all(static_cast<curl_slist*>(headers_));
}

void IdHttp::Configure() {
  CURL* e = Easy(easy_);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, error_buffer_);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_SSLVERSION,
                   static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
  // The server is verified: what it hands us may be run with administrator rights.
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  // The system's trust store, unless OpenSSL's own variables name another one.
  const char* file = std::getenv("SSL_CERT_FILE");
  const char* dir = std::getenv("SSL_CERT_DIR");
  const bool own_file = file != nullptr && *file != '\0';
  const bool own_dir = dir != nullptr && *dir != '\0';
  if (own_file) curl_easy_setopt(e, CURLOPT_CAINFO, file);
  if (own_dir) curl_easy_setopt(e, CURLOPT_CAPATH, dir);
  if (!own_file) {
    // Where the store is also a hashed folder, only the authority a server names is read from
    // it; parsing the whole bundle costs more than the rest of a run, on every connection.
    char* system_dir = nullptr;
    curl_easy_getinfo(e, CURLINFO_CAPATH, &system_dir);
    struct stat st {};
    if (own_dir || (system_dir != nullptr && ::stat(system_dir, &st) == 0 && S_ISDIR(st.st_mode))) {
      curl_easy_setopt(e, CURLOPT_CAINFO, nullptr);
    }
  }
  curl_easy_setopt(e, CURLOPT_PROXY, "");
  curl_easy_setopt(e, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_USERAGENT, texts::kUserAgent);
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(headers_));
  curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, nullptr);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings_.connect_timeout_ms));
  curl_easy_setopt(e, CURLOPT_FILETIME, 1L);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &IdHttpCallbacks::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &IdHttpCallbacks::OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_RESOLVER_START_FUNCTION, &IdHttpCallbacks::OnResolverStart);
  curl_easy_setopt(e, CURLOPT_RESOLVER_START_DATA, this);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &IdHttpCallbacks::OnOpenSocket);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, this);
  curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &IdHttpCallbacks::OnPrereq);
  curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
  curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, &IdHttpCallbacks::OnCloseSocket);
  curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, this);
}

HttpReply IdHttp::Head(const std::string& url) { return Perform(url, true, nullptr); }

HttpReply IdHttp::Get(const std::string& url, BodySink& sink) { return Perform(url, false, &sink); }

HttpReply IdHttp::Perform(const std::string& url, bool head, BodySink* sink) {
  reply_ = HttpReply{};
  host_ = HostOf(url);
  head_ = head;
  sink_ = sink;
  content_length_ = -1;
  body_begun_ = false;
  new_socket_ = false;
  request_sent_ = false;
  handler_error_ = nullptr;
  error_buffer_[0] = '\0';
  if (cancelled_.load()) {
    reply_.cancelled = true;
    reply_.error = "cancelled";
    return reply_;
  }

  CURL* e = Easy(easy_);
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  if (head) {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  }

  CURLcode result = CURLE_OK;
  bool stalled = false;
  curl_multi_add_handle(Multi(multi_), e);
  NoteActivity();
  for (;;) {
    int running = 0;
    curl_multi_perform(Multi(multi_), &running);
    if (handler_error_ || running == 0) break;
    if (cancelled_.load()) {
      reply_.cancelled = true;
      break;
    }
    // The connect time-out of libcurl covers the way to the server; from the moment the
    // request stands, any silence longer than the stall time-out ends it.
    if (request_sent_ && std::chrono::steady_clock::now() - last_activity_ >
                             std::chrono::milliseconds(settings_.stall_timeout_ms)) {
      stalled = true;
      break;
    }
    curl_multi_poll(Multi(multi_), nullptr, 0, kPollIntervalMs, nullptr);
  }
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(Multi(multi_), &queued)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == e) result = message->data.result;
  }
  curl_off_t filetime = -1;
  if (curl_easy_getinfo(e, CURLINFO_FILETIME_T, &filetime) == CURLE_OK && filetime >= 0) {
    reply_.last_modified = static_cast<int64_t>(filetime);
  }
  // Leaving the multi handle mid-transfer closes that connection; a finished one stays cached.
  curl_multi_remove_handle(Multi(multi_), e);
  sink_ = nullptr;

  if (handler_error_) {
    std::exception_ptr error = handler_error_;
    handler_error_ = nullptr;
    std::rethrow_exception(error);
  }

  const bool success_status = reply_.answered && reply_.status >= 200 && reply_.status <= 299;
  if (reply_.cancelled) {
    reply_.error = "cancelled";
  } else if (stalled) {
    reply_.error = texts::kErrStalled;
  } else if (reply_.answered && !success_status) {
    reply_.error = reply_.status_line;
  } else if (reply_.sink_failed) {
    reply_.error.clear();  // the sink knows why
  } else if (result == CURLE_OPERATION_TIMEDOUT && !request_sent_) {
    reply_.error = texts::kErrConnectTimeout;
  } else if (result != CURLE_OK) {
    reply_.error = Format(texts::kErrConnection,
                          error_buffer_[0] != '\0' ? error_buffer_ : curl_easy_strerror(result));
  } else if (!reply_.answered) {
    reply_.error = Format(texts::kErrConnection, "no answer");
  } else {
    reply_.ok = true;
  }
  return reply_;
}

void IdHttp::Disconnect() {
  handler_error_ = nullptr;
  // Closing the multi handle closes the connections it keeps alive; the close callbacks report
  // them on the way.
  curl_multi_cleanup(Multi(multi_));
  multi_ = curl_multi_init();
  if (handler_error_) {
    std::exception_ptr error = handler_error_;
    handler_error_ = nullptr;
    std::rethrow_exception(error);
  }
}

}  // namespace tolvan
