#pragma once
// State the document modules keep for the life of the process, hung on the
// application object (App::docs) so that each test starts from nothing.
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "core/App.h"

namespace kup {

struct DocumentState {
  // Full paths of the temporary HTML pages this process wrote; the cleaning
  // command deletes these and nothing else of the temporary folder.
  std::set<std::string> pagesHtmlTemp;

  // Decrees: the file of the last load or save (deleted when the editing
  // ends), whether the decree was printed since the last save, and where the
  // main window stood before it became the editing panel (twips).
  std::string arreteFichier;
  bool arreteImprime = false;
  int32_t arreteGauche = 0, arreteHaut = 0;

  // Tax documents: where the main window stood before it became the tax
  // panel (twips; zero until the panel is first entered), and the file the
  // last stored document was written to.
  int32_t taxeGauche = 0, taxeHaut = 0;
  std::string taxeFichierCharge;

  // Text libraries: where the main window stood when the library panel was
  // last entered (twips; zero until then). The read-back keeps no state: its
  // place in the library is the word processor's cursor.
  int32_t bibleGauche = 0, bibleHaut = 0;
};

// The document state of the application, created on first use.
inline DocumentState& Docs(App& app) {
  if (!app.docs) app.docs = std::make_shared<DocumentState>();
  return *app.docs;
}

}  // namespace kup
