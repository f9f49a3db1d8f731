#include "platform/FakePlatform.h"

namespace kup::platform {

kup::Platform MakeFakePlatform(FakePlatform* out) {
  kup::Platform pf;
  auto fs = std::make_unique<FakeFileSystem>();
  auto env = std::make_unique<FakeEnvironment>();
  fs->createFolder(env->program);
  fs->createFolder(env->hostTemp);
  fs->currentFolder = env->current;
  FakePlatform refs;
  refs.fs = fs.get();
  refs.env = env.get();
  pf.fs = std::move(fs);
  pf.env = std::move(env);
  auto make = [](auto& slot, auto*& ref, auto ptr) {
    ref = ptr.get();
    slot = std::move(ptr);
  };
  make(pf.random, refs.random, std::make_unique<FakeRandom>());
  make(pf.msgbox, refs.msgbox, std::make_unique<FakeMessageBox>());
  make(pf.dialog, refs.dialog, std::make_unique<FakeCommonDialog>());
  make(pf.clipboard, refs.clipboard, std::make_unique<FakeClipboard>());
  make(pf.windows, refs.windows, std::make_unique<FakeWindowSystem>());
  make(pf.processes, refs.processes, std::make_unique<FakeProcessLauncher>());
  make(pf.shell, refs.shell, std::make_unique<FakeShell>());
  make(pf.libraries, refs.libraries, std::make_unique<FakeDynamicLibraries>());
  make(pf.log, refs.log, std::make_unique<FakeLog>());
  make(pf.flash, refs.flash, std::make_unique<FakeFlash>());
  make(pf.timer, refs.timer, std::make_unique<FakeTimer>());
  if (out) *out = refs;
  return pf;
}

}  // namespace kup::platform
