#include "office/DriverSupport.h"

namespace kup {

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
