#pragma once
// The Flash control as a recorder: every SetReturnValue and CallFunction is
// kept; CallFunction answers from a script (default "") or fails on demand.
#include <deque>
#include <functional>
#include <vector>

#include "vb/VbError.h"
#include "platform/Interfaces.h"

namespace kup::platform {

class FakeFlash : public IFlash {
 public:
  void SetReturnValue(const std::string& xml) override { returns.push_back(xml); }
  std::string CallFunction(const std::string& xml) override {
    calls.push_back(xml);
    if (failCalls) raise(failNumber, failDescription);
    if (onCall) return onCall(xml);
    if (!answers.empty()) {
      std::string a = answers.front();
      answers.pop_front();
      return a;
    }
    return {};
  }

  // The value the pending call would return: the last one set ("" when none).
  std::string returnValue() const { return returns.empty() ? std::string() : returns.back(); }
  void clear() {
    returns.clear();
    calls.clear();
  }

  std::vector<std::string> returns;  // every SetReturnValue, in order
  std::vector<std::string> calls;    // every CallFunction, in order
  std::deque<std::string> answers;
  std::function<std::string(const std::string&)> onCall;
  bool failCalls = false;  // CallFunction raises failNumber (after recording the call)
  int failNumber = -2147467259;  // the automation error of a control that cannot be reached
  std::string failDescription = "Erreur Automation";
};

}  // namespace kup::platform
