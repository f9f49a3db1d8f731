#pragma once
// State the document modules keep for the life of the process, hung on the
// application object (App::docs) so that each test starts from nothing.
#include <memory>
#include <set>
#include <string>

#include "core/App.h"

namespace kup {

struct DocumentState {
  // Full paths of the temporary HTML pages this process wrote; the cleaning
  // command deletes these and nothing else of the temporary folder.
  std::set<std::string> pagesHtmlTemp;
};

// The document state of the application, created on first use.
inline DocumentState& Docs(App& app) {
  if (!app.docs) app.docs = std::make_shared<DocumentState>();
  return *app.docs;
}

}  // namespace kup
