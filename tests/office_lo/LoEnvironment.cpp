// The office shared by the tests of one process, ended with them.
#include "tests/office_lo/LoTestSupport.h"

#include <csignal>

namespace lotest {

std::shared_ptr<kup::lo::Office>& SharedOffice() {
  static std::shared_ptr<kup::lo::Office> office = std::make_shared<kup::lo::Office>();
  return office;
}

namespace {
class OfficeEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    long pid = SharedOffice()->pid();
    SharedOffice()->shutdown();
    EXPECT_TRUE(ProcessGone(pid)) << "the office outlived its tests";
  }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new OfficeEnvironment);

// The container takes SIGPIPE (host/StdioBridge): an office killed in the
// middle of a call makes the bridge write to a closed socket, which must be
// a failed call, not the end of the test program. The office is started with
// the default action back.
const bool kPipeTaken = [] {
  std::signal(SIGPIPE, SIG_IGN);
  return true;
}();
}  // namespace

}  // namespace lotest
