#pragma once
// Message boxes recorded; answers from a script, else the headless answer.
#include <deque>
#include <functional>
#include <vector>

#include "platform/Interfaces.h"

namespace kup::platform {

class FakeMessageBox : public IMessageBox {
 public:
  struct Box {
    std::string prompt;
    int buttons = 0;
    std::string title;
    int answer = 0;
  };

  int show(const std::string& prompt, int buttons, const std::string& title) override {
    int answer = mb::HeadlessAnswer(buttons);
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    boxes.push_back({prompt, buttons, title, answer});
    if (onShow) onShow(boxes.back());
    return answer;
  }

  std::vector<Box> boxes;
  std::deque<int> answers;
  std::function<void(const Box&)> onShow;
};

}  // namespace kup::platform
