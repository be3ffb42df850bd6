#include "control_panel/mail_news_page.h"

#include "platform/host_lookup.h"

namespace tamrix {

MailNewsPage MailNewsPage::Build(const PanelSettings& s) { return {s.SMTP, s.POP3, s.NNTP}; }

PageCheck MailNewsPage::Validate(HostLookup& lookup) const {
  const std::pair<const std::string*, int> fields[] = {
      {&smtp, MSG_SMTP_NOT_FOUND}, {&pop3, MSG_POP3_NOT_FOUND}, {&nntp, MSG_NNTP_NOT_FOUND}};
  for (const auto& [text, message] : fields) {
    if (!text->empty() && lookup.FirstAddressOf(*text) == 0) return PageCheck::Refuse(message);
  }
  return PageCheck::Pass();
}

void MailNewsPage::Apply(PanelSettings& s, PrivateProfile& profile) const {
  s.SMTP = smtp;
  s.POP3 = pop3;
  s.NNTP = nntp;
  StorePanelSettings(profile, s, GROUP_MAIL_NEWS);
}

}  // namespace tamrix
