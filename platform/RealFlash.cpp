#include "platform/RealFlash.h"

#include "vb/VbError.h"

namespace kup::platform {

void RealFlash::SetReturnValue(const std::string& xml) { reply_ = xml; }

std::string RealFlash::CallFunction(const std::string& xml) {
  if (!connected_ || !bridge::WriteAll(fd_, bridge::EncodeFrame("CALL", xml))) {
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
  if (!bridge::WriteAll(fd_, bridge::EncodeFrame("RET", reply))) connected_ = false;
  return connected_;
}

}  // namespace kup::platform
