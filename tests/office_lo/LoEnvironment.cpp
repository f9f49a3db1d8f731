// The office shared by the tests of one process, ended with them.
#include "tests/office_lo/LoTestSupport.h"

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
}  // namespace

}  // namespace lotest
