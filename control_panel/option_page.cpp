#include "control_panel/option_page.h"

#include <climits>

#include "control_panel/page_fields.h"

namespace tamrix {
namespace {

int FieldInt(const std::string& text) {
  const std::int64_t value = FieldNumber(text);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

}  // namespace

OptionPage OptionPage::Build(const PanelSettings& s) {
  OptionPage page;
  page.srvAddr = s.OptSrvAddr != 0;
  page.nack = s.OptNACK != 0;
  page.usePing = s.OptUsePing == 1;
  page.useLog = s.OptUseLog != 0;
  page.dhcpInform = s.OptDHCPINFORM != 0;
  if (page.usePing) {
    page.pingWait = std::to_string(s.OptPingWait);
    page.pingTry = std::to_string(s.OptPingTry);
  }
  return page;
}

void OptionPage::SetUsePing(bool on) {
  usePing = on;
  if (!on) return;
  const PanelSettings defaults;
  if (pingWait.empty()) pingWait = std::to_string(defaults.OptPingWait);
  if (pingTry.empty()) pingTry = std::to_string(defaults.OptPingTry);
}

PageCheck OptionPage::Validate() const {
  if (!usePing) return PageCheck::Pass();
  if (pingWait.empty()) return PageCheck::Refuse(MSG_WAIT_EMPTY);
  if (pingTry.empty()) return PageCheck::Refuse(MSG_TRY_EMPTY);
  const std::int64_t wait = FieldNumber(pingWait);
  const std::int64_t tries = FieldNumber(pingTry);
  if (wait == 0 || wait > INT_MAX) return PageCheck::Refuse(MSG_WAIT_INVALID);
  if (tries == 0 || tries > INT_MAX) return PageCheck::Refuse(MSG_TRY_INVALID);
  if (wait * tries > 3000) return PageCheck::Ask(MSG_PING_TOO_LONG);
  return PageCheck::Pass();
}

void OptionPage::Apply(PanelSettings& s, PrivateProfile& profile) const {
  s.OptSrvAddr = srvAddr ? 1 : 0;
  s.OptNACK = nack ? 1 : 0;
  s.OptUsePing = usePing ? 1 : 0;
  s.OptUseLog = useLog ? 1 : 0;
  s.OptDHCPINFORM = dhcpInform ? 1 : 0;
  s.OptPingWait = FieldInt(pingWait);
  s.OptPingTry = FieldInt(pingTry);
  StorePanelSettings(profile, s, GROUP_OPTION);
}

}  // namespace tamrix
