#pragma once

#include <string>

#include "control_panel/panel_messages.h"
#include "control_panel/panel_settings.h"

namespace tamrix {

class HostLookup;

// CPropertyMailNews: the mail and news servers handed to clients, by name or dotted address.
struct MailNewsPage {
  std::string smtp, pop3, nntp;

  static MailNewsPage Build(const PanelSettings& settings);
  // A filled field whose name does not resolve is refused (139, 140, 141 in field order).
  PageCheck Validate(HostLookup& lookup) const;
  void Apply(PanelSettings& settings, PrivateProfile& profile) const;
};

}  // namespace tamrix
