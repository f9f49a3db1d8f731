#pragma once
// The command dispatcher and its table.
#include <functional>
#include <map>
#include <string>

#include "core/App.h"
#include "vb/Value.h"

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
  // The same with the name already upper-cased.
  const Handler* findKey(const std::string& key) const;
};

// Parses a Flex request; returns false when it is not an <invoke>.
// name is the invoke name; args the elements of the single array argument
// (or the arguments themselves when they are not one array), element 0
// the command name. <string> gives text (entities decoded, invalid UTF-8
// repaired), <number> a number (text that is no number stays text),
// <null/> Null, <undefined/> Empty; anything else its XML as text, so that
// <true/> arrives as the text "<true/>".
bool ParseFlexRequest(const std::string& xml, std::string& name, Args& args);

// The dispatcher: runs the request (or stores it on the deferred-call timer).
void sGetFlashXML(App& app, const std::string& request, bool deferred = false);

// The Flash control's FlashCall event: the dispatcher between the busy
// indicator's show and hide. The host's entry point for one request.
void FlashCall(App& app, const std::string& request);

// Called when the deferred-call timer fires (the timer's onTimer is wired
// to it by Main and by the first deferred request).
void TimerAppelDiffere_Timer(App& app);

}  // namespace kup
