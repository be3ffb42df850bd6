#pragma once

#include <string_view>

#include "control_panel/panel_messages.h"

namespace tamrix {

// Every message box the panel shows goes through here, so tests read the texts without a modal
// loop. Texts are UTF-8 with "\n" as the line break.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // A box with an OK button.
  virtual void ShowMessage(int number, std::string_view text) = 0;
  // A box with OK and cancel; true for OK.
  virtual bool AskOkCancel(int number, std::string_view text) = 0;
};

// Shows what a check found; true when the page may be left (it passed, or the operator
// answered OK to its question).
bool ResolvePageCheck(MessageBoxes& boxes, const PageCheck& check);
// Shows a button's message, if it has one.
void ShowIfAny(MessageBoxes& boxes, int message);

}  // namespace tamrix
