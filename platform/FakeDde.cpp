#include "platform/FakeDde.h"

#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup::platform {

// ------------------------------------------------------------------ link

void FakeDdeLink::setLinkMode(int mode) {
  if (mode != 0 && mode != 1 && mode != 2) raise(380, "Valeur de propriété incorrecte");
  mode_ = 0;
  key_.clear();
  if (mode == 0) return;
  sys_.connects.push_back(topic_);
  std::string key = FakeDdeSystem::fold(topic_);
  auto script = sys_.connectScript_.find(key);
  if (script != sys_.connectScript_.end() && !script->second.empty()) {
    int outcome = script->second.front();
    script->second.pop_front();
    if (outcome != 0) raise(outcome);
  } else if (!sys_.servers_.count(key) || topic_.find('|') == std::string::npos) {
    raise(vberr::DdeNoForeignApp);
  }
  auto s = sys_.servers_.find(key);
  generation_ = s == sys_.servers_.end() ? 0 : s->second;
  key_ = key;
  mode_ = mode;
}

void FakeDdeLink::setLinkTimeout(int tenths) {
  if (!LinkTimeoutInRange(tenths)) raise(vberr::Overflow);
  timeout_ = tenths;
}

void FakeDdeLink::linkExecute(const std::string& command) {
  if (mode_ == 0) raise(vberr::DdeNoChannel);
  auto s = sys_.servers_.find(key_);
  long generation = s == sys_.servers_.end() ? 0 : s->second;
  if (generation != generation_) {
    // The partner went away (or came back as another process).
    mode_ = 0;
    raise(vberr::DdeNoChannel);
  }
  int outcome = sys_.defaultOutcome;
  auto script = sys_.executeScript_.find(key_);
  if (script != sys_.executeScript_.end() && !script->second.empty()) {
    outcome = script->second.front();
    script->second.pop_front();
  }
  if (outcome == vberr::DdeNoChannel) {
    mode_ = 0;
    raise(outcome);
  }
  sys_.executes.push_back({topic_, command, timeout_, outcome});
  if (outcome != 0) raise(outcome);
}

// ------------------------------------------------------------------ system

std::string FakeDdeSystem::fold(const std::string& s) { return UCase(s); }

void FakeDdeSystem::setSource(const std::string& application, const std::string& topic, int mode) {
  ++sourceCalls;
  sourceMode = mode;
  if (mode == 0) return;
  sourceApplication = application;
  sourceTopic = topic;
}

bool FakeDdeSystem::waitForServer(const std::string& linkTopic, int) {
  waits.push_back(linkTopic);
  return hasServer(linkTopic);
}

void FakeDdeSystem::addServer(const std::string& linkTopic) { servers_[fold(linkTopic)] = nextGeneration_++; }

void FakeDdeSystem::removeServer(const std::string& linkTopic) { servers_.erase(fold(linkTopic)); }

bool FakeDdeSystem::hasServer(const std::string& linkTopic) const { return servers_.count(fold(linkTopic)) > 0; }

void FakeDdeSystem::scriptConnect(const std::string& linkTopic, int outcome) {
  connectScript_[fold(linkTopic)].push_back(outcome);
}

void FakeDdeSystem::scriptExecute(const std::string& linkTopic, int outcome) {
  executeScript_[fold(linkTopic)].push_back(outcome);
}

std::vector<std::string> FakeDdeSystem::sent(const std::string& linkTopic) const {
  std::vector<std::string> out;
  std::string key = fold(linkTopic);
  for (auto& e : executes)
    if (fold(e.linkTopic) == key) out.push_back(e.command);
  return out;
}

int16_t FakeDdeSystem::deliver(const std::string& command) {
  int16_t cancel = -1;
  if (sourceMode == 0 || !onLinkExecute) return cancel;
  try {
    onLinkExecute(command, cancel);
  } catch (...) {
    cancel = -1;
  }
  return cancel;
}

}  // namespace kup::platform
