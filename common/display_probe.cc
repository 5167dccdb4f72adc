#include "common/display_probe.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/texts.h"
#include "common/unique_fd.h"

namespace common {
namespace {

using texts::kDisplayConnectTimeoutMs;
using texts::kWaylandProbeMaxBytes;
using texts::kX11TcpBasePort;

// Connects `fd` (non-blocking) to `address`, waiting at most kDisplayConnectTimeoutMs.
bool ConnectWithin(int fd, const sockaddr* address, socklen_t length) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  if (::connect(fd, address, length) == 0) return true;
  if (errno != EINPROGRESS && errno != EAGAIN) return false;
  pollfd p{fd, POLLOUT, 0};
  int n;
  while ((n = ::poll(&p, 1, kDisplayConnectTimeoutMs)) < 0 && errno == EINTR) {
  }
  if (n <= 0) return false;
  int error = 0;
  socklen_t size = sizeof(error);
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

// Waits for `fd` to become readable; false after kDisplayConnectTimeoutMs.
bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  int n;
  while ((n = ::poll(&p, 1, kDisplayConnectTimeoutMs)) < 0 && errno == EINTR) {
  }
  return n > 0;
}

// A Wayland compositor's answer on a connected socket: asks wl_display (object 1) for a sync
// callback (new object 2) and waits for that callback's "done" event. A socket that accepts
// but speaks no Wayland, or a compositor that hangs, gives no answer in time.
bool WaylandAnswers(int fd) {
  constexpr uint32_t kDisplayObject = 1, kCallbackObject = 2, kSyncRequest = 0, kDoneEvent = 0;
  const uint32_t sync[3] = {kDisplayObject, (12u << 16) | kSyncRequest, kCallbackObject};
  if (::send(fd, sync, sizeof(sync), MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof(sync))) {
    return false;
  }
  std::string received;
  for (;;) {
    // Events are whole messages of a header (object, size << 16 | opcode) and arguments.
    while (received.size() >= 8) {
      uint32_t header[2];
      std::memcpy(header, received.data(), sizeof(header));
      const uint32_t size = header[1] >> 16;
      if (size < 8) return false;
      if (header[0] == kCallbackObject && (header[1] & 0xFFFF) == kDoneEvent) return true;
      if (received.size() < size) break;
      received.erase(0, size);
    }
    // A compositor answers a sync with a few small events; a stream of anything else is not one.
    if (received.size() > kWaylandProbeMaxBytes || !Readable(fd)) return false;
    char buffer[512];
    const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
    if (n <= 0) return false;
    received.append(buffer, static_cast<size_t>(n));
  }
}

// Connects to the Wayland socket at `path` and waits for the compositor's answer.
bool WaylandCompositorAnswers(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  const common::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return false;
  return ConnectWithin(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) &&
         WaylandAnswers(fd.get());
}

bool ConnectTcp(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
    const common::UniqueFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
    if (!fd.valid()) continue;
    ok = ConnectWithin(fd.get(), a->ai_addr, a->ai_addrlen);
  }
  ::freeaddrinfo(found);
  return ok;
}

// Whether anything listens on the TCP port of a remote DISPLAY ("host:n[.screen]"), tried
// before the X library so that an unreachable host costs seconds, not the system's long connect
// time-out. Local displays (":n", "unix:n", a socket path) need no such check: a local connect
// never waits, and a bare connection that closes could make an X server with no other client
// reset itself under the X library's connection that follows.
bool RemoteXServerListens(const std::string& display) {
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  if (host.empty() || host == "unix" || host.find('/') != std::string::npos) return true;
  return ConnectTcp(host, kX11TcpBasePort + std::atoi(display.c_str() + colon + 1));
}

// The X library's own connection: the server's hand-shake and the authorisation it demands.
// The library is loaded only here; when it is missing no window could be shown over X anyway.
bool XServerAccepts(const char* display) {
  void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (xcb == nullptr) return false;
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
  auto has_error = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
  auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
  if (connect == nullptr || has_error == nullptr || disconnect == nullptr) return false;
  void* connection = connect(display, nullptr);
  if (connection == nullptr) return false;
  if (has_error(connection) != 0) {
    disconnect(connection);
    return false;
  }
  // A working connection stays open until the program ends: an X server whose last client
  // leaves resets itself, and Qt's own connection must not arrive in the middle of that.
  return true;
}

}  // namespace

std::string WaylandSocketPath(const char* wayland_display, const char* runtime_dir) {
  if (wayland_display == nullptr || *wayland_display == '\0') return {};
  if (wayland_display[0] == '/') return wayland_display;
  if (runtime_dir == nullptr || *runtime_dir == '\0') return {};
  std::string path = runtime_dir;
  if (path.back() != '/') path += '/';
  return path + wayland_display;
}

Displays ProbeDisplays() {
  Displays found;
  const std::string wayland =
      WaylandSocketPath(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_RUNTIME_DIR"));
  found.wayland = WaylandCompositorAnswers(wayland);
  const char* display = std::getenv("DISPLAY");
  found.x11 = display != nullptr && *display != '\0' && RemoteXServerListens(display) &&
              XServerAccepts(display);
  return found;
}

}  // namespace common
