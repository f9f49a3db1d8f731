#pragma once
// DDE over Unix-domain stream sockets in the service folder (DdeFolder.h).
// A client link connects to the socket of "application|topic"; the main
// window's source listens on the socket of (application, its topic) and is
// served by poll() from the host's event loop, on the one thread, whenever
// pollFd() is readable.
#include <map>
#include <string>

#include "platform/Dde.h"
#include "platform/DdeFolder.h"

namespace kup::platform {

class RealDdeLink : public IDdeLink {
 public:
  explicit RealDdeLink(std::string folder);
  ~RealDdeLink() override;
  RealDdeLink(const RealDdeLink&) = delete;
  RealDdeLink& operator=(const RealDdeLink&) = delete;

  void setLinkTopic(const std::string& topic) override { topic_ = topic; }
  std::string linkTopic() const override { return topic_; }
  void setLinkMode(int mode) override;
  int linkMode() const override { return mode_; }
  void setLinkTimeout(int tenths) override;
  int linkTimeout() const override { return timeout_; }
  void linkExecute(const std::string& command) override;

 private:
  void close();
  // Reads what has arrived and retires the answers of earlier executes;
  // false when the partner has gone or speaks nonsense.
  bool drain();
  // Retires the answers the reader holds; returns the last one that
  // settled the newest execute ("" when still waiting), "?" on nonsense.
  std::string retire();

  std::string folder_;
  std::string topic_;
  int mode_ = 0;
  int timeout_ = 50;  // the platform's default: five seconds
  int fd_ = -1;
  size_t pending_ = 0;  // executes sent whose answer has not been read
  dde::FrameReader reader_;
};

class RealDdeSystem : public IDdeSystem {
 public:
  // folder "" : dde::ResolveFolder() (KUP_DDE_DIR, then the runtime folder).
  explicit RealDdeSystem(std::string folder = {});
  ~RealDdeSystem() override;
  RealDdeSystem(const RealDdeSystem&) = delete;
  RealDdeSystem& operator=(const RealDdeSystem&) = delete;

  std::unique_ptr<IDdeLink> createLink() override;
  // Raises 75 with the reason when the folder or the socket cannot be used;
  // the previous source then stays as it was.
  void setSource(const std::string& application, const std::string& topic, int mode) override;
  void poll() override;
  int pollFd() const override { return listen_ >= 0 ? epoll_ : -1; }
  bool waitForServer(const std::string& linkTopic, int timeoutMs) override;

  const std::string& folder() const { return folder_; }
  // Socket file name of the source ("" when off): a window record naming it
  // lets other programs send show requests here.
  const std::string& sourceSocket() const { return sourceName_; }
  // Show requests received on the source (handle, 0 hide / 9 restore).
  std::function<void(long handle, int cmd)> onShowRequest;
  // Lines about conversations refused or closed by the source.
  std::function<void(const std::string& line)> onLog;

  // A conversation silent this long is closed (its partner connects again).
  void setIdleTimeoutMs(int64_t ms) { idleMs_ = ms; }
  // At most this many conversations; beyond it the longest silent one
  // makes room for the newcomer.
  void setMaxConversations(size_t n) { maxConversations_ = n > 0 ? n : 1; }
  size_t conversations() const { return conns_.size(); }
  // Milliseconds until the next idle conversation is due to be closed by
  // poll(); -1 when there is none.
  int64_t nextExpiryMs() const;

 private:
  struct Conn {
    dde::FrameReader reader;
    std::string out;
    bool closing = false;
    int64_t lastMs = 0;  // last time the partner sent something
    // One of its strings is being handled: a poll from inside that handler
    // (a box's own loop) leaves the conversation alone, so that its
    // answers stay in order and it is not closed under the handler.
    bool serving = false;
  };
  void closeSource();
  void closeConn(int fd);
  void serve(int fd);
  void acceptWaiting();
  void expireIdle(int64_t now);
  // Closes the longest silent conversation; false when there is none.
  bool evictOldest(const char* why);
  void report(const std::string& line);

  std::string folder_;
  int epoll_ = -1;
  int listen_ = -1;
  std::string sourceName_;
  unsigned long sourceInode_ = 0;
  std::map<int, Conn> conns_;
  int64_t idleMs_;
  size_t maxConversations_;
  // Held open so that a refusal is still possible when descriptors run out.
  int reserveFd_ = -1;
};

}  // namespace kup::platform
