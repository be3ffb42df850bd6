#include "control_panel/ip_addr_page.h"

#include "common/address.h"
#include "control_panel/page_fields.h"

namespace tamrix {

IpAddrPage IpAddrPage::Build(const PanelSettings& s) {
  return {s.StartIPAddr, s.EndIPAddr, s.SubnetMask, s.Gateway};
}

PageCheck IpAddrPage::Validate(const PanelSettings& settings) const {
  if (start.empty()) return PageCheck::Refuse(MSG_START_EMPTY);
  if (end.empty()) return PageCheck::Refuse(MSG_END_EMPTY);
  if (mask.empty()) return PageCheck::Refuse(MSG_MASK_EMPTY);
  if (!IsValidAddressText(start)) return PageCheck::Refuse(MSG_START_INVALID);
  if (!IsValidAddressText(end)) return PageCheck::Refuse(MSG_END_INVALID);
  if (!IsValidAddressText(mask)) return PageCheck::Refuse(MSG_MASK_INVALID);
  if (!gateway.empty() && !IsValidAddressText(gateway)) {
    return PageCheck::Refuse(MSG_GATEWAY_INVALID);
  }
  // Unsigned difference: an end below the start wraps to a huge count and is refused too.
  if (ParseAddress(end) - ParseAddress(start) >= 256u) return PageCheck::Refuse(MSG_POOL_SIZE);
  const bool stored = !settings.StartIPAddr.empty() || !settings.EndIPAddr.empty();
  if (stored && (start != settings.StartIPAddr || end != settings.EndIPAddr)) {
    return PageCheck::Ask(MSG_RANGE_CHANGE);
  }
  return PageCheck::Pass();
}

void IpAddrPage::Apply(PanelSettings& settings, PrivateProfile& profile) const {
  settings.StartIPAddr = start;
  settings.EndIPAddr = end;
  settings.SubnetMask = mask;
  settings.Gateway = gateway;
  StorePanelSettings(profile, settings, GROUP_RANGE);
}

}  // namespace tamrix
