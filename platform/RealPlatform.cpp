#include "platform/RealPlatform.h"

#include <cstdlib>

#include "platform/RealDynamicLibraries.h"
#include "platform/RealEnvironment.h"
#include "platform/RealFileSystem.h"
#include "platform/RealHeadlessUi.h"
#include "platform/RealLog.h"
#include "platform/RealProcessLauncher.h"
#include "platform/RealShell.h"

namespace kup::platform {

namespace {
std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}
}  // namespace

RealPlatformConfig RealPlatformConfig::FromEnvironment() {
  RealPlatformConfig c;
  std::string home = Env("HOME");
  if (home.empty()) home = "/tmp";
  c.drives.drives = DriveMap::ParseDrives(Env("KUP_DRIVES"));
  c.drives.driveRoot = Env("KUP_DRIVE_ROOT");
  if (c.drives.driveRoot.empty()) c.drives.driveRoot = home + "/.korvane/drives";
  c.drives.uncRoot = Env("KUP_UNC_ROOT");
  if (c.drives.uncRoot.empty()) c.drives.uncRoot = home + "/.korvane/unc";
  c.logPath = Env("KUP_LOG");
  return c;
}

kup::Platform MakeRealPlatform(const RealPlatformConfig& config) {
  kup::Platform pf;
  // The log first: the headless boxes and dialogs write to it. Whoever
  // replaces pf.log later must keep this one alive or re-point them.
  if (config.logPath.empty())
    pf.log = std::make_unique<RealLog>();
  else
    pf.log = std::make_unique<RealLog>(config.logPath);
  ILog* log = pf.log.get();
  auto fs = std::make_unique<RealFileSystem>(config.drives, log);
  const IFileSystem* files = fs.get();
  pf.fs = std::move(fs);
  pf.env = std::make_unique<RealEnvironment>(files);
  pf.random = std::make_unique<RealRandom>();
  pf.msgbox = std::make_unique<RealMessageBox>(log);
  pf.dialog = std::make_unique<RealCommonDialog>(log, [](const std::string& name) { return Env(name.c_str()); });
  pf.clipboard = std::make_unique<RealClipboard>();
  pf.processes = std::make_unique<RealProcessLauncher>(files, log, config.settleMs);
  pf.shell = std::make_unique<RealShell>(files, log);
  pf.libraries = std::make_unique<RealDynamicLibraries>(files, log);
  return pf;
}

}  // namespace kup::platform
