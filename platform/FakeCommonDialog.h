#pragma once
// The common dialog with scripted answers; records the state it was shown
// with. Without an answer queued it is cancelled.
#include <deque>
#include <vector>

#include "vb/VbError.h"
#include "platform/Interfaces.h"

namespace kup::platform {

class FakeCommonDialog : public ICommonDialog {
 public:
  struct Answer {
    bool cancel = true;
    std::string fileName;     // open / save
    std::string printerName;  // printer
    int copies = 1;
  };
  struct Shown {
    std::string kind;  // "open", "save", "printer"
    CommonDialogState state;
  };

  void ShowOpen() override { run("open"); }
  void ShowSave() override { run("save"); }
  void ShowPrinter() override { run("printer"); }

  void answerFile(const std::string& fileName) { answers.push_back({false, fileName, {}, 1}); }
  void answerPrinter(const std::string& printer, int copies = 1) { answers.push_back({false, {}, printer, copies}); }
  void answerCancel() { answers.push_back({}); }

  std::deque<Answer> answers;
  std::vector<Shown> shown;

 private:
  void run(const char* kind) {
    shown.push_back({kind, state});
    Answer a;
    if (!answers.empty()) {
      a = answers.front();
      answers.pop_front();
    }
    if (a.cancel) {
      if (std::string(kind) != "printer") state.FileName.clear();
      if (state.CancelError) raise(vberr::CancelError);
      return;
    }
    if (std::string(kind) == "printer") {
      state.PrinterName = a.printerName;
      state.Copies = a.copies;
    } else {
      state.FileName = a.fileName;
    }
  }
};

}  // namespace kup::platform
