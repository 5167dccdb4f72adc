// Which display servers can really be reached, decided before Qt is loaded: Qt aborts the
// process when the display it is told to use cannot be opened, so a DISPLAY naming no server
// or a WAYLAND_DISPLAY whose compositor is gone must be found out here and the run go on
// without windows (Kavel) or end with a clear message (Tolvan). No Qt here.
#ifndef COMMON_DISPLAY_PROBE_H_
#define COMMON_DISPLAY_PROBE_H_

#include <string>

namespace common {

struct Displays {
  bool wayland = false;  // the compositor at WAYLAND_DISPLAY answers a round trip
  bool x11 = false;      // the X server of DISPLAY accepts a connection and our credentials
  bool any() const { return wayland || x11; }
};

// Connects to the display servers the environment names and says which ones answered. A
// working X connection stays open for the rest of the run, so that a server with no other client
// does not reset itself before Qt connects. Each attempt gives up after a few seconds.
Displays ProbeDisplays();

// The Wayland socket WAYLAND_DISPLAY names: itself when absolute, else in XDG_RUNTIME_DIR.
// Empty when it names nothing.
std::string WaylandSocketPath(const char* wayland_display, const char* runtime_dir);

}  // namespace common

#endif  // COMMON_DISPLAY_PROBE_H_
