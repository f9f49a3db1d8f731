#pragma once
// The body of korvane: wires the real platform to the core, runs the
// start-up routine, then serves the UI bridge on the standard streams until
// end of input. Returns the process exit code.
//
// configure runs once the command table is installed and before start-up,
// so a program built on this one can replace a command (a test program
// gives Connexion a scripted database, for instance).
#include <functional>

namespace kup {
struct App;
}

namespace kup::host {

int RunKorvane(int argc, char** argv, const std::function<void(kup::App&)>& configure);

}  // namespace kup::host
