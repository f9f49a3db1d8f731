#pragma once
// What the document command handlers share: the trap that hands a failure
// to TraiterErreur under the command's name, the first argument as a text,
// the echoed reply, the closed-document report, and the template-root rule
// of the template dialogs.
#include <cstdint>
#include <exception>
#include <string>

#include "core/App.h"
#include "core/Core.h"
#include "vb/Value.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

// Runs a handler's body; a failure ends it and goes to TraiterErreur under
// `source`: a VbError with its own number, any other exception as `autre`.
template <class F>
void Pieger(App& app, const std::string& source, F&& f, int32_t autre = vberr::InternalError) {
  try {
    f();
  } catch (const VbError& e) {
    TraiterErreur(app, source, e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, source, autre, e.what());
  }
}

// The first argument as a text to work on; none, Null and undefined are "".
inline std::string PremierTexte(const Args& args) { return args.empty() ? std::string() : StrOrEmpty(args[0]); }

// The reply of the commands that echo what they received: the name, every
// argument but the last as text, then the status pair.
inline StrArray ReponseEcho(const std::string& nom, const Args& args, const std::string& code = {},
                            const std::string& message = {}) {
  StrArray reponse{nom};
  for (size_t i = 0; i + 1 < args.size(); ++i) reponse.push_back(StrOrEmpty(args[i]));
  reponse.push_back(code);
  reponse.push_back(message);
  return reponse;
}

// Answers a listing as [nom, its element, "", ""]. A listing that failed has
// been reported and comes back without its element: reading it raises 9 and
// nothing is answered.
inline void RepondreListe(App& app, const std::string& nom, const StrArray& liste) {
  if (liste.empty()) raise(vberr::SubscriptOutOfRange);
  RenvoyerReponse(app, {nom, liste[0], "", ""});
}

// Tells the Flex interface the document is no longer in the office program.
inline void DocumentFerme(App& app) { TraiterErreur(app, "Communication", 1, "Document fermé"); }

// One step of a template dialog command; false when the command must stop.
// With a template root on a web server a failing step switches the root to
// the program folder for the rest of the session and the command goes on;
// any other failure is reported under `source`.
template <class F>
bool EtapeModele(App& app, const std::string& source, F&& f) {
  try {
    f();
    return true;
  } catch (const std::exception& e) {
    if (LCase(Left(app.G_RepModele, 4)) == "http") {
      app.G_RepModele = app.env().programFolder();
      return true;
    }
    if (auto* vb = dynamic_cast<const VbError*>(&e))
      TraiterErreur(app, source, vb->number(), vb->description());
    else
      TraiterErreur(app, source, vberr::InternalError, e.what());
    return false;
  }
}

}  // namespace kup
