#include "control_panel/panel_settings.h"

#include <string>

#include "platform/private_profile.h"

namespace tamrix {
namespace {

void WriteText(PrivateProfile& profile, const char* key, const std::string& value) {
  profile.WriteString(kPanelSection, key, value);
}

void WriteInt(PrivateProfile& profile, const char* key, int value) {
  profile.WriteString(kPanelSection, key, std::to_string(value));
}

}  // namespace

PanelSettings LoadPanelSettings(PrivateProfile& profile) {
  PanelSettings s;
  const auto text = [&](const char* key) { return profile.GetString(kPanelSection, key, ""); };
  const auto number = [&](const char* key, int fallback) {
    return profile.GetInt(kPanelSection, key, fallback);
  };
  s.StartIPAddr = text("StartIPAddr");
  s.EndIPAddr = text("EndIPAddr");
  s.SubnetMask = text("SubnetMask");
  s.Gateway = text("Gateway");
  s.DNSAddr1 = text("DNSAddr1");
  s.DNSAddr2 = text("DNSAddr2");
  s.DomainName = text("DomainName");
  s.WINSAddr1 = text("WINSAddr1");
  s.WINSAddr2 = text("WINSAddr2");
  s.ScopeID = text("ScopeID");
  s.SMTP = text("SMTP");
  s.POP3 = text("POP3");
  s.NNTP = text("NNTP");
  s.LeaseTime = number("LeaseTime", -1);
  s.ExtendTime = number("ExtendTime", 0);
  s.OptSrvAddr = number("OptSrvAddr", 0);
  s.OptNACK = number("OptNACK", 0);
  s.OptUseLog = number("OptUseLog", 0);
  s.OptUsePing = number("OptUsePing", 0);
  s.OptPingTry = number("OptPingTry", 1);
  s.OptPingWait = number("OptPingWait", 1000);
  s.OptDHCPINFORM = number("OptDHCPINFORM", 0);
  s.CheckClient = number("CheckClient", 0);
  return s;
}

void StorePanelSettings(PrivateProfile& profile, const PanelSettings& s, int group) {
  switch (group) {
    case GROUP_RANGE:
      WriteText(profile, "StartIPAddr", s.StartIPAddr);
      WriteText(profile, "EndIPAddr", s.EndIPAddr);
      WriteText(profile, "SubnetMask", s.SubnetMask);
      WriteText(profile, "Gateway", s.Gateway);
      break;
    case GROUP_DURATION:
      WriteInt(profile, "LeaseTime", s.LeaseTime);
      WriteInt(profile, "ExtendTime", s.ExtendTime);
      break;
    case GROUP_DNS:
      WriteText(profile, "DNSAddr1", s.DNSAddr1);
      WriteText(profile, "DNSAddr2", s.DNSAddr2);
      WriteText(profile, "DomainName", s.DomainName);
      break;
    case GROUP_WINS:
      WriteText(profile, "WINSAddr1", s.WINSAddr1);
      WriteText(profile, "WINSAddr2", s.WINSAddr2);
      WriteText(profile, "ScopeID", s.ScopeID);
      break;
    case GROUP_MAIL_NEWS:
      WriteText(profile, "SMTP", s.SMTP);
      WriteText(profile, "POP3", s.POP3);
      WriteText(profile, "NNTP", s.NNTP);
      break;
    case GROUP_CLIENT:
      WriteInt(profile, "CheckClient", s.CheckClient);
      break;
    case GROUP_OPTION:
      WriteInt(profile, "OptSrvAddr", s.OptSrvAddr);
      WriteInt(profile, "OptNACK", s.OptNACK);
      WriteInt(profile, "OptUseLog", s.OptUseLog);
      WriteInt(profile, "OptUsePing", s.OptUsePing);
      WriteInt(profile, "OptPingTry", s.OptPingTry);
      WriteInt(profile, "OptPingWait", s.OptPingWait);
      WriteInt(profile, "OptDHCPINFORM", s.OptDHCPINFORM);
      break;
    default:
      break;
  }
}

void StorePanelSettings(PrivateProfile& profile, const PanelSettings& settings) {
  for (int group = GROUP_RANGE; group <= GROUP_OPTION; ++group) {
    StorePanelSettings(profile, settings, group);
  }
}

}  // namespace tamrix
