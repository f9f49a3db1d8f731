#pragma once
// DDE in memory, for tests: partners are link topics declared by the test,
// every execute that reaches a partner is recorded with its outcome, and the
// outcomes of the next connections and executes can be scripted per topic.
//
//   auto dde = std::make_unique<FakeDdeSystem>();
//   dde->addServer("SIG|CARTO");
//   dde->scriptExecute("SIG|CARTO", kup::vberr::DdeTimeout);
//   ... dde->sent("SIG|CARTO") == {"SIG_ParcelleCadrer", ...}
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Dde.h"

namespace kup::platform {

class FakeDdeSystem;

class FakeDdeLink : public IDdeLink {
 public:
  explicit FakeDdeLink(FakeDdeSystem& sys) : sys_(sys) {}
  void setLinkTopic(const std::string& topic) override { topic_ = topic; }
  std::string linkTopic() const override { return topic_; }
  void setLinkMode(int mode) override;
  int linkMode() const override { return mode_; }
  void setLinkTimeout(int tenths) override;
  int linkTimeout() const override { return timeout_; }
  void linkExecute(const std::string& command) override;

 private:
  FakeDdeSystem& sys_;
  std::string topic_;
  int mode_ = 0;
  int timeout_ = 50;
  std::string key_;      // topic of the open conversation (folded)
  long generation_ = 0;  // of the partner when the conversation opened
};

class FakeDdeSystem : public IDdeSystem {
 public:
  struct Execute {
    std::string linkTopic;  // as the link had it
    std::string command;
    int timeout = 0;  // the link time-out at the time, tenths
    int outcome = 0;  // 0 accepted, else the error raised (285, 286)
  };

  std::unique_ptr<IDdeLink> createLink() override { return std::make_unique<FakeDdeLink>(*this); }
  void setSource(const std::string& application, const std::string& topic, int mode) override;
  bool waitForServer(const std::string& linkTopic, int timeoutMs) override;

  // A partner answering on "application|topic" (compared without regard to case).
  void addServer(const std::string& linkTopic);
  // The partner goes away: its open conversations end (the next execute on
  // them raises 293) and connecting raises 282.
  void removeServer(const std::string& linkTopic);
  bool hasServer(const std::string& linkTopic) const;
  // Outcome of the next connection attempt to the topic: 0 opens (even
  // without a partner), any other number is raised.
  void scriptConnect(const std::string& linkTopic, int outcome);
  // Outcome of the next execute on the topic: 0 accepted, 285 refused, 286
  // no answer in time (both still delivered), 293 the conversation drops.
  void scriptExecute(const std::string& linkTopic, int outcome);
  // Outcome of every unscripted execute.
  int defaultOutcome = 0;

  // The commands delivered to the topic, in order.
  std::vector<std::string> sent(const std::string& linkTopic) const;
  // As if a partner sent an execute string to the source: the cancel value
  // the handler left (-1 when the source is off or there is no handler).
  int16_t deliver(const std::string& command);

  std::vector<Execute> executes;
  std::vector<std::string> connects;  // every connection attempt, by link topic
  std::vector<std::string> waits;     // every waitForServer, by link topic
  std::string sourceApplication, sourceTopic;
  int sourceMode = 0;
  int sourceCalls = 0;

 private:
  friend class FakeDdeLink;
  static std::string fold(const std::string& s);
  std::map<std::string, long> servers_;  // folded topic -> generation
  long nextGeneration_ = 1;
  std::map<std::string, std::deque<int>> connectScript_, executeScript_;
};

}  // namespace kup::platform
