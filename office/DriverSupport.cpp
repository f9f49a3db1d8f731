#include "office/DriverSupport.h"

#include "vb/VbString.h"

namespace kup {

std::string ExtensionOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return LCase(path.substr(dot));
}

std::string BaseNameOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string ChooseTemplate(App& app, platform::ICommonDialog& dialog, const std::vector<std::string>& extensions,
                           const std::string& folder) {
  std::string chosen;
  ReportFailureUnlessCancelled(app, "ChoiceFile", [&] {
    std::string patterns;
    for (const auto& e : extensions) patterns += (patterns.empty() ? "*" : ";*") + e;
    if (patterns.empty()) patterns = "*.*";
    dialog.state.DialogTitle = "Choix du modèle";
    dialog.state.InitDir = folder;
    dialog.state.Filter = "Modèles (" + patterns + ")|" + patterns;
    dialog.state.FilterIndex = 1;
    dialog.state.FileName.clear();
    dialog.state.CancelError = true;
    dialog.ShowOpen();
    chosen = dialog.state.FileName;
  });
  return chosen;
}

}  // namespace kup
