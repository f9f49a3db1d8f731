#pragma once
// ShellExecute on Linux: "open" hands a document or an address to xdg-open,
// "print" a document to lp, and a Windows program name (.exe, .bat, .cmd)
// is started itself with the parameters as its arguments. Nothing is
// waited for. Results follow ShellExecute: 42 when started, 2 when the file
// does not exist, 31 when nothing can handle it (no xdg-open or lp, an
// unknown verb).
#include <memory>

#include "platform/Interfaces.h"
#include "platform/RealProcessLauncher.h"

namespace kup::platform {

class RealShell : public IShell {
 public:
  RealShell(const IFileSystem* fs, ILog* log);
  long execute(long ownerHwnd, const std::string& verb, const std::string& file, const std::string& parameters,
               const std::string& folder, int show) override;

  // Where xdg-open and lp are looked for (tests point these elsewhere).
  std::string openTool, printTool;

 private:
  long launch(const std::vector<std::string>& argv, const std::string& folder);
  const IFileSystem* fs_;
  ILog* log_;
  RealProcessLauncher launcher_;
};

// "scheme:..." with a scheme of two letters or more (a drive letter is one).
bool LooksLikeAddress(const std::string& text);

}  // namespace kup::platform
