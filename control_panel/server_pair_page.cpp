#include "control_panel/server_pair_page.h"

#include "common/address.h"
#include "control_panel/page_fields.h"

namespace tamrix {
namespace {

ServerPairPage Build(const std::string& first, const std::string& second,
                     const std::string& extra) {
  return {!first.empty(), first, second, extra};
}

}  // namespace

ServerPairPage ServerPairPage::BuildDns(const PanelSettings& s) {
  return Build(s.DNSAddr1, s.DNSAddr2, s.DomainName);
}

ServerPairPage ServerPairPage::BuildWins(const PanelSettings& s) {
  return Build(s.WINSAddr1, s.WINSAddr2, s.ScopeID);
}

bool ServerPairPage::SetUse(bool on) {
  const bool changed = use != on;
  use = on;
  return changed;
}

PageCheck ServerPairPage::Validate(const ServerPairMessages& m) const {
  if (!use) return PageCheck::Pass();
  if (primary.empty()) return PageCheck::Refuse(m.primaryEmpty);
  if (!IsValidAddressText(primary)) return PageCheck::Refuse(m.primaryInvalid);
  if (secondary.empty()) return PageCheck::Pass();
  if (!IsValidAddressText(secondary)) return PageCheck::Refuse(m.secondaryInvalid);
  if (ParseAddress(secondary) == ParseAddress(primary)) return PageCheck::Refuse(m.secondarySame);
  return PageCheck::Pass();
}

void ServerPairPage::ApplyDns(PanelSettings& s, PrivateProfile& profile) const {
  s.DNSAddr1 = use ? primary : std::string();
  s.DNSAddr2 = use ? secondary : std::string();
  s.DomainName = use ? extra : std::string();
  StorePanelSettings(profile, s, GROUP_DNS);
}

void ServerPairPage::ApplyWins(PanelSettings& s, PrivateProfile& profile) const {
  s.WINSAddr1 = use ? primary : std::string();
  s.WINSAddr2 = use ? secondary : std::string();
  s.ScopeID = use ? extra : std::string();
  StorePanelSettings(profile, s, GROUP_WINS);
}

}  // namespace tamrix
