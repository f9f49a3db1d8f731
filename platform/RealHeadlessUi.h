#pragma once
// What a person would have seen, for a program that runs without a screen:
// message boxes and common dialogs are written to the log and answered
// without waiting; the clipboard lives inside the process (there is no
// desktop clipboard to reach).
#include <functional>
#include <map>

#include "platform/Interfaces.h"

namespace kup::platform {

// Logs "title | prompt | buttons -> answer" on the channel "msgbox" and
// answers mb::HeadlessAnswer.
class RealMessageBox : public IMessageBox {
 public:
  explicit RealMessageBox(ILog* log) : log_(log) {}
  void setLog(ILog* log) { log_ = log; }
  int show(const std::string& prompt, int buttons, const std::string& title) override;

 private:
  ILog* log_;
};

// Cancels every dialog (raising 32755 with CancelError, else FileName "")
// after logging it on the channel "dialog"; ShowOpen instead answers with the
// path in the environment variable KUP_DIALOG_ANSWER when it is set, so that
// scripted runs can choose a file.
class RealCommonDialog : public ICommonDialog {
 public:
  using Getenv = std::function<std::string(const std::string&)>;
  RealCommonDialog(ILog* log, Getenv getenv) : log_(log), getenv_(std::move(getenv)) {}
  void setLog(ILog* log) { log_ = log; }
  void ShowOpen() override;
  void ShowSave() override;
  void ShowPrinter() override;

 private:
  void cancel(const char* kind);
  void note(const std::string& text);
  ILog* log_;
  Getenv getenv_;
};

class RealClipboard : public IClipboard {
 public:
  void clear() override { formats_.clear(); }
  void setText(const std::string& text, const std::string& format = "text") override { formats_[format] = text; }
  std::string getText(const std::string& format = "text") const override {
    auto it = formats_.find(format);
    return it == formats_.end() ? std::string() : it->second;
  }

 private:
  std::map<std::string, std::string> formats_;
};

}  // namespace kup::platform
