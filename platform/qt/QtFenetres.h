#pragma once
// What a person sees in desktop mode: message boxes and the common dialogs
// as Qt windows, modal, answered by the person. They need a QApplication on
// the calling thread.
#include <functional>
#include <memory>

#include "platform/Interfaces.h"

class QObject;

namespace kup::platform {

// The box of VB's MsgBox: text, title, icon, the buttons of the style in
// French, left to right, the default button (the first unless the style
// names the second or third); Escape and the close box answer Cancel where
// there is one, OK in a box with OK alone, and nothing otherwise. Each box
// is also written to the log, as in headless mode.
// Qt's own texts (the file and printer dialogs) in French, installed on the
// running application for as long as the object lives; null when the
// translation files are not there (package qt6-translations-l10n). Qt's
// default locale becomes French too (dates and sizes in the dialogs).
std::unique_ptr<QObject> InstallFrenchQtTexts();

class QtMessageBox : public IMessageBox {
 public:
  explicit QtMessageBox(ILog* log) : log_(log) {}
  int show(const std::string& prompt, int buttons, const std::string& title) override;

 private:
  ILog* log_;
};

// The CommonDialog control. Paths in and out are the system's path texts:
// the folder InitDir is mapped to the host for the dialog, and a file
// chosen under it comes back under the same text ("C:\Modeles\x.ott").
// Cancelling raises 32755 with CancelError, else leaves FileName "".
class QtCommonDialog : public ICommonDialog {
 public:
  QtCommonDialog(IFileSystem* fs, ILog* log) : fs_(fs), log_(log) {}
  void ShowOpen() override;
  void ShowSave() override;
  void ShowPrinter() override;

 private:
  void showFile(bool save);
  void cancelled(const char* kind);
  IFileSystem* fs_;
  ILog* log_;
};

// "Modèles (*.dot;*.dotx)|*.dot;*.dotx|Tous|*.*" as Qt's name filters.
std::vector<std::string> QtNameFilters(const std::string& vbFilter);

}  // namespace kup::platform
