#include "host/HostPlatform.h"

#include <cstdio>

#include "platform/FakePlatform.h"

namespace kup::host {

namespace {
class StderrLog : public platform::ILog {
 public:
  void write(const std::string& channel, const std::string& text) override {
    std::fprintf(stderr, "[%s] %s\n", channel.c_str(), text.c_str());
    std::fflush(stderr);
  }
};
}  // namespace

// Provisional: the fakes stand in until the real platform is available.
kup::Platform MakeHostPlatform() {
  kup::Platform pf = platform::MakeFakePlatform();
  pf.log = std::make_unique<StderrLog>();
  return pf;
}

}  // namespace kup::host
