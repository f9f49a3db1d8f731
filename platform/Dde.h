#pragma once
// DDE stand-in: client link controls (the Txt_DDE text boxes) and the main
// window as a DDE source. Outcomes raise kup::VbError with the numbers the
// code expects: 282 no partner on the topic, 285 the partner refused (NAK),
// 286 no answer within the link time-out, 293 execute with no conversation.
//
// The real implementation (RealDde.h) talks over Unix-domain sockets in the
// service folder (DdeFolder.h); the fake (FakeDde.h) records and scripts.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kup::platform {

class IDdeLink {
 public:
  virtual ~IDdeLink() = default;
  // "application|topic"; takes effect at the next opening of the link.
  virtual void setLinkTopic(const std::string& topic) = 0;
  virtual std::string linkTopic() const = 0;
  // 0 none (closes the conversation), 1 automatic, 2 manual: 1 and 2 open a
  // conversation with the server named by the topic and raise 282 when none
  // answers; any other value raises 380. The mode falls back to 0 by itself
  // when the partner goes away.
  virtual void setLinkMode(int mode) = 0;
  virtual int linkMode() const = 0;
  // Tenths of a second, a 16-bit property: outside -32768..32767 raises 6.
  // 0: the execute does not wait for the partner's answer (an answer not
  // already there gives 286); a negative value waits the longest time
  // (65535 tenths).
  virtual void setLinkTimeout(int tenths) = 0;
  virtual int linkTimeout() const = 0;
  // Sends an execute string: 293 when no conversation is open (or the
  // partner went away), 285 refused, 286 no answer in time.
  virtual void linkExecute(const std::string& command) = 0;
};

// Range check of the 16-bit link time-out property.
inline bool LinkTimeoutInRange(long long tenths) { return tenths >= -32768 && tenths <= 32767; }

class IDdeSystem {
 public:
  virtual ~IDdeSystem() = default;
  virtual std::unique_ptr<IDdeLink> createLink() = 0;
  // The main window as a DDE source under (application, topic); mode 1
  // starts serving (a new topic replaces the previous one), 0 stops.
  virtual void setSource(const std::string& application, const std::string& topic, int mode) = 0;
  // Execute strings received by the source. cancel starts at -1 (refused);
  // the handler sets it to 0 to accept (ACK), anything else refuses (NAK).
  // The handler runs inside poll(); what it throws is taken as a refusal.
  std::function<void(const std::string& command, int16_t& cancel)> onLinkExecute;
  // Accepts waiting conversations and hands the received execute strings to
  // onLinkExecute. Never blocks; not re-entered from inside a handler. The
  // host's event loop calls it whenever pollFd() is readable, or
  // periodically.
  virtual void poll() {}
  // A descriptor that becomes readable when poll() has work (-1 when the
  // source is off). Only for waiting on: never read it.
  virtual int pollFd() const { return -1; }
  // Waits until a server answers on the link topic "application|topic", at
  // most timeoutMs; true when one does. Used after starting a partner
  // program, the counterpart of waiting until it is ready for input.
  virtual bool waitForServer(const std::string& linkTopic, int timeoutMs) { return true; }
};

}  // namespace kup::platform
