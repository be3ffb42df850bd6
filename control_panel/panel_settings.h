#pragma once

#include <string>

namespace tamrix {

class PrivateProfile;

inline constexpr const char* kPanelSection = "TAMRIX";
inline constexpr const char* kPanelProfileName = "TAMRIX.INI";

// The control panel's copy of the settings, texts in UTF-8 as typed.
struct PanelSettings {
  std::string StartIPAddr, EndIPAddr, SubnetMask, Gateway;
  std::string DNSAddr1, DNSAddr2, DomainName;
  std::string WINSAddr1, WINSAddr2, ScopeID;
  std::string SMTP, POP3, NNTP;
  int LeaseTime = -1;
  int ExtendTime = 0;
  int OptSrvAddr = 0;
  int OptNACK = 0;
  int OptUseLog = 0;
  int OptUsePing = 0;
  int OptPingTry = 1;
  int OptPingWait = 1000;
  int OptDHCPINFORM = 0;
  int CheckClient = 0;
};

// The groups the sheet stores, each written by the page that edits it.
enum SettingsGroup : int {
  GROUP_RANGE = 1,      // StartIPAddr, EndIPAddr, SubnetMask, Gateway
  GROUP_DURATION = 2,   // LeaseTime, ExtendTime
  GROUP_DNS = 3,        // DNSAddr1, DNSAddr2, DomainName
  GROUP_WINS = 4,       // WINSAddr1, WINSAddr2, ScopeID
  GROUP_MAIL_NEWS = 5,  // SMTP, POP3, NNTP
  GROUP_CLIENT = 6,     // CheckClient
  GROUP_OPTION = 7,     // OptSrvAddr ... OptDHCPINFORM
};

PanelSettings LoadPanelSettings(PrivateProfile& profile);
// Writes one group's keys, in their order.
void StorePanelSettings(PrivateProfile& profile, const PanelSettings& settings, int group);
// Writes all seven groups in order.
void StorePanelSettings(PrivateProfile& profile, const PanelSettings& settings);

}  // namespace tamrix
