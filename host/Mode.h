#pragma once
// Headless or desktop. Desktop when a display is there and answers; the
// switches --desktop and --headless force either. Qt aborts the process
// when its display does not answer, and an office started for a dead display
// shows nothing and says nothing: so the display is asked here first.
#include <string>
#include <vector>

namespace kup::host {

enum class Mode { Headless, Desktop };

struct ModeChoice {
  Mode mode = Mode::Headless;
  // What led to the choice, for the log once it exists.
  std::vector<std::string> notes;
  // Desktop forced without any display that answers: nothing can be shown.
  bool impossible = false;
};

// Takes the switches out of argv (argc follows) and chooses.
ModeChoice ChooseMode(int& argc, char** argv);

// True when the X server named by a DISPLAY text (":0", ":1.0", "host:2",
// "unix:0") answers the connection set-up within timeoutMs and accepts a
// connection made as Qt makes it (its authorization from XAUTHORITY); why
// says what failed, in French.
bool X11DisplayAnswers(const std::string& display, int timeoutMs, std::string* why);
// The connection X11DisplayAnswers made is held open until this is called
// (once Qt has its own).
void ReleaseX11Probe();
// True when the Wayland socket (WAYLAND_DISPLAY, relative to the runtime
// folder unless absolute) accepts a connection.
bool WaylandDisplayAnswers(const std::string& display, const std::string& runtimeDir, std::string* why);

}  // namespace kup::host
