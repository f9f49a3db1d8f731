#pragma once
// DDE stand-in: client link controls (the Txt_DDE text boxes) and the main
// window as a DDE source. Outcomes raise kup::VbError with the numbers the
// code expects: 282 no partner on the topic, 285 the partner refused (NAK),
// 286 no answer within the link time-out, 293 execute with no conversation.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kup::platform {

class IDdeLink {
 public:
  virtual ~IDdeLink() = default;
  // "application|topic"
  virtual void setLinkTopic(const std::string& topic) = 0;
  virtual std::string linkTopic() const = 0;
  // 0 none (closes the conversation), 1 automatic/source, 2 manual (opens a
  // conversation with the server named by the topic; raises 282 when none).
  virtual void setLinkMode(int mode) = 0;
  virtual int linkMode() const = 0;
  // Tenths of a second.
  virtual void setLinkTimeout(int tenths) = 0;
  virtual int linkTimeout() const = 0;
  virtual void linkExecute(const std::string& command) = 0;
};

class IDdeSystem {
 public:
  virtual ~IDdeSystem() = default;
  virtual std::unique_ptr<IDdeLink> createLink() = 0;
  // The main window as a DDE source under (application, topic); mode 1
  // starts serving, 0 stops.
  virtual void setSource(const std::string& application, const std::string& topic, int mode) = 0;
  // Execute strings received by the source; the handler sets cancel to 0
  // to accept (ACK), anything else refuses (NAK).
  std::function<void(const std::string& command, int16_t& cancel)> onLinkExecute;
  // Lets the event loop hand over received strings (real implementation).
  virtual void poll() {}
};

}  // namespace kup::platform
