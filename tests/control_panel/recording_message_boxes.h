#pragma once

#include <deque>
#include <string>
#include <vector>

#include "control_panel/message_boxes.h"

namespace tamrix::testing {

// Records every box instead of showing it; questions take their answers from a queue (OK when
// it is empty).
class RecordingMessageBoxes final : public MessageBoxes {
 public:
  struct Shown {
    int number;
    std::string text;
    bool question;
  };

  void ShowMessage(int number, std::string_view text) override {
    shown.push_back({number, std::string(text), false});
  }
  bool AskOkCancel(int number, std::string_view text) override {
    shown.push_back({number, std::string(text), true});
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::vector<int> Numbers() const {
    std::vector<int> numbers;
    for (const Shown& s : shown) numbers.push_back(s.number);
    return numbers;
  }

  std::vector<Shown> shown;
  std::deque<bool> answers;
};

}  // namespace tamrix::testing
