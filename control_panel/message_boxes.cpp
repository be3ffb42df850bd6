#include "control_panel/message_boxes.h"

namespace tamrix {

bool ResolvePageCheck(MessageBoxes& boxes, const PageCheck& check) {
  switch (check.kind) {
    case PageCheck::kPass:
      return true;
    case PageCheck::kAsk:
      return boxes.AskOkCancel(check.message, PanelMessageText(check.message));
    case PageCheck::kRefuse:
      break;
  }
  boxes.ShowMessage(check.message, PanelMessageText(check.message));
  return false;
}

void ShowIfAny(MessageBoxes& boxes, int message) {
  if (message != 0) boxes.ShowMessage(message, PanelMessageText(message));
}

}  // namespace tamrix
