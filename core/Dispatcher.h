#pragma once
// The command dispatcher and its table.
#include <functional>
#include <map>
#include <string>

#include "core/App.h"
#include "core/Value.h"

namespace kup {

// A handler gets the argument array with the command name removed (element
// 0 is the first value after the name; a request without arguments arrives
// as one element holding the name), by reference.
using Handler = std::function<void(App&, Args&)>;

struct CommandTable {
  // Keyed by upper-cased command name.
  std::map<std::string, Handler> handlers;
  // Commands run from the deferred-call timer, with their interval in ms.
  std::map<std::string, int> deferred;
  void add(const std::string& name, Handler h);
  void addDeferred(const std::string& name, int intervalMs, Handler h);
  const Handler* find(const std::string& name) const;
};

// Parses a Flex request; returns false when it is not an <invoke>.
bool ParseFlexRequest(const std::string& xml, std::string& name, Args& args);

// The dispatcher: runs the request (or stores it on the deferred-call timer).
void sGetFlashXML(App& app, const std::string& request, bool deferred = false);

// Called when the deferred-call timer fires.
void TimerAppelDiffere_Timer(App& app);

}  // namespace kup
