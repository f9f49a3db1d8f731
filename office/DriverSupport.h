#pragma once
// What both office drivers share: trapping what a call into an office
// program throws, making a twin through a factory, and the template dialog.
// Each driver keeps its own rule for what a trapped failure becomes.
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/App.h"
#include "core/Core.h"
#include "vb/VbError.h"

namespace kup {

// Of a document path ("\" or "/" separated): the extension, lower-cased,
// with its dot ("" when none), and the file name without folder and
// extension (a name that starts with its only dot is kept whole).
std::string ExtensionOf(const std::string& path);
std::string BaseNameOf(const std::string& path);

// Calls fn and answers true. What it throws is handed to
// failed(number, description) instead and false answered: a VbError with its
// own number and description, any other exception as `other` with its
// message, anything else as `unknown` with the VB text of that number.
template <class F, class G>
bool TrapFailure(F&& fn, int32_t other, int32_t unknown, G&& failed) {
  try {
    fn();
    return true;
  } catch (const VbError& e) {
    failed(e.number(), e.description());
  } catch (const std::exception& e) {
    failed(other, std::string(e.what()));
  } catch (...) {
    failed(unknown, vbErrorText(unknown));
  }
  return false;
}

// Calls fn; a failure is reported through TraiterErreur under `source` (an
// exception that is no VbError as 5) and false answered.
template <class F>
bool ReportFailure(App& app, const char* source, F&& fn) {
  return TrapFailure(fn, vberr::InvalidCall, vberr::InternalError,
                     [&](int32_t number, const std::string& text) { TraiterErreur(app, source, number, text); });
}

// As ReportFailure, but the user's cancelling a dialog is no failure to report.
template <class F>
bool ReportFailureUnlessCancelled(App& app, const char* source, F&& fn) {
  return TrapFailure(fn, vberr::InvalidCall, vberr::InternalError, [&](int32_t number, const std::string& text) {
    if (number != vberr::CancelError) TraiterErreur(app, source, number, text);
  });
}

// A twin of editor type `type` made by the factory. A failure of the factory
// (429 unless it says otherwise), or no twin for that type (429 with
// `noTwin` followed by the type), is reported under `source` and nullptr
// answered.
template <class Twin, class Factory>
std::unique_ptr<Twin> MakeTwin(App& app, const char* source, const Factory& factory, int type,
                               const std::string& noTwin) {
  std::unique_ptr<Twin> made;
  auto report = [&](int32_t number, const std::string& text) { TraiterErreur(app, source, number, text); };
  if (!TrapFailure([&] { if (factory) made = factory(app, type); }, vberr::CantCreateObject,
                   vberr::CantCreateObject, report))
    return nullptr;
  if (!made) report(vberr::CantCreateObject, noTwin + std::to_string(type));
  return made;
}

// The template dialog on `folder`, filtered on the extensions (every file
// when there are none). The chosen path, or "" when the user cancels; any
// other failure is reported under "ChoiceFile" and gives "".
std::string ChooseTemplate(App& app, platform::ICommonDialog& dialog, const std::vector<std::string>& extensions,
                           const std::string& folder);

}  // namespace kup
