#include "platform/RealFlash.h"

#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup::platform {

void RealFlash::SetReturnValue(const std::string& xml) { reply_ = xml; }

namespace {
// The last guard before the interface: whatever a command put together
// (a host file name, bytes read from a file), a frame carries UTF-8 only.
bool Send(int fd, std::string_view kind, const std::string& payload) {
  if (bridge::IsValidUtf8(payload)) return bridge::WriteFrame(fd, kind, payload);
  return bridge::WriteFrame(fd, kind, SanitizeUtf8(payload));
}
}  // namespace

std::string RealFlash::CallFunction(const std::string& xml) {
  if (!connected_ || !Send(fd_, "CALL", xml)) {
    connected_ = false;
    raise(vberr::InvalidCall, "Interface Flex déconnectée");
  }
  return {};
}

void RealFlash::beginRequest() { reply_.clear(); }

bool RealFlash::endRequest() {
  std::string reply;
  reply.swap(reply_);
  if (!connected_) return false;
  if (!Send(fd_, "RET", reply)) connected_ = false;
  return connected_;
}

}  // namespace kup::platform
