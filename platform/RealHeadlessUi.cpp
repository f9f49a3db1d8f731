#include "platform/RealHeadlessUi.h"

#include "vb/VbError.h"
#include "platform/PathText.h"

namespace kup::platform {

int RealMessageBox::show(const std::string& prompt, int buttons, const std::string& title) {
  int answer = mb::HeadlessAnswer(buttons);
  if (log_) {
    std::string names;
    for (int b : mb::Buttons(buttons)) names += (names.empty() ? "" : "/") + mb::ButtonName(b);
    log_->write("msgbox", title + " | " + prompt + " | " + names + " -> " + mb::ButtonName(answer));
  }
  return answer;
}

void RealCommonDialog::note(const std::string& text) {
  if (log_) log_->write("dialog", text);
}

void RealCommonDialog::cancel(const char* kind) {
  note(std::string(kind) + " cancelled");
  if (state.CancelError) raise(vberr::CancelError);
}

void RealCommonDialog::ShowOpen() {
  note("open: title \"" + state.DialogTitle + "\", folder \"" + state.InitDir + "\", filter \"" + state.Filter +
       "\", file \"" + state.FileName + "\"");
  std::string answer = getenv_ ? getenv_("KUP_DIALOG_ANSWER") : std::string();
  if (!answer.empty()) {
    state.FileName = HostValueToText(answer);  // a path text as the script wrote it
    note("open answered \"" + answer + "\"");
    return;
  }
  state.FileName.clear();
  cancel("open");
}

void RealCommonDialog::ShowSave() {
  note("save: title \"" + state.DialogTitle + "\", folder \"" + state.InitDir + "\", filter \"" + state.Filter +
       "\", file \"" + state.FileName + "\"");
  state.FileName.clear();
  cancel("save");
}

void RealCommonDialog::ShowPrinter() {
  note("printer: copies " + std::to_string(state.Copies));
  cancel("printer");
}

}  // namespace kup::platform
