#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The keys of the settings file, shared by the service's reader and the control panel's load and
// store so the two cannot drift apart. Both sides' records live here for the table to point into.

namespace tamrix {

inline constexpr std::size_t kShortSettingLength = 31;  // address keys: a 32-byte field
inline constexpr std::size_t kLongSettingLength = 255;  // text keys: a 256-byte field

// The [TAMRIX] section as the service holds it. Texts are kept as read (no trimming), cut to
// their field's length.
struct ServerSettings {
  std::string StartIPAddr, EndIPAddr, SubnetMask, Gateway, DNSAddr1, DNSAddr2;
  std::string DomainName;
  std::string WINSAddr1, WINSAddr2;
  std::string ScopeID;
  std::int32_t LeaseTime = -1;
  std::int32_t ExtendTime = 0;
  std::int32_t CheckClient = 0;
  std::int32_t OptNACK = 0;
  std::int32_t OptUseLog = 0;
  std::int32_t OptUsePing = 0;
  std::int32_t OptPingTry = 1;
  std::int32_t OptPingWait = 1000;
  std::int32_t OptSrvAddr = 0;
  std::int32_t OptDHCPINFORM = 0;
  std::string SMTP, POP3, NNTP, NTP;
};

// The control panel's copy of the settings, texts in UTF-8 as typed. NTP has no page, so the
// panel neither reads nor writes it and a hand-written value survives.
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

// The groups the panel's sheet stores, each written by the page that edits it.
enum SettingsGroup : int {
  GROUP_NONE = 0,  // keys the panel leaves alone
  GROUP_RANGE = 1,
  GROUP_DURATION = 2,
  GROUP_DNS = 3,
  GROUP_WINS = 4,
  GROUP_MAIL_NEWS = 5,
  GROUP_CLIENT = 6,
  GROUP_OPTION = 7,
};

enum class SettingKind { kShortText, kLongText, kInteger };

// One key of the section: its name, how it is held, its value when absent (texts default to
// empty), where each side keeps it and which of the panel's groups writes it. Of each pair of
// members only the one of the key's kind is set; the panel's are null for a key it leaves alone.
struct SettingKey {
  std::string_view name;
  SettingKind kind;
  std::int32_t defaultNumber;
  std::string ServerSettings::*text;
  std::int32_t ServerSettings::*number;
  SettingsGroup panelGroup;
  std::string PanelSettings::*panelText;
  int PanelSettings::*panelNumber;
};

constexpr SettingKey ShortTextKey(std::string_view name, std::string ServerSettings::*server,
                                  SettingsGroup group, std::string PanelSettings::*panel) {
  return {name, SettingKind::kShortText, 0, server, nullptr, group, panel, nullptr};
}

constexpr SettingKey LongTextKey(std::string_view name, std::string ServerSettings::*server,
                                 SettingsGroup group, std::string PanelSettings::*panel) {
  return {name, SettingKind::kLongText, 0, server, nullptr, group, panel, nullptr};
}

constexpr SettingKey IntegerKey(std::string_view name, std::int32_t fallback,
                                std::int32_t ServerSettings::*server, SettingsGroup group,
                                int PanelSettings::*panel) {
  return {name, SettingKind::kInteger, fallback, nullptr, server, group, nullptr, panel};
}

// Every key's name is written here and nowhere else. The order is the panel's: a key it writes
// for the first time goes at the end of the section, so a fresh file lists the keys group by
// group in this order. The service's reader does not mind the order: a line can begin with only
// one "Name=".
inline constexpr std::array<SettingKey, 24> kSettingKeys = {{
    ShortTextKey("StartIPAddr", &ServerSettings::StartIPAddr, GROUP_RANGE,
                 &PanelSettings::StartIPAddr),
    ShortTextKey("EndIPAddr", &ServerSettings::EndIPAddr, GROUP_RANGE, &PanelSettings::EndIPAddr),
    ShortTextKey("SubnetMask", &ServerSettings::SubnetMask, GROUP_RANGE,
                 &PanelSettings::SubnetMask),
    ShortTextKey("Gateway", &ServerSettings::Gateway, GROUP_RANGE, &PanelSettings::Gateway),
    IntegerKey("LeaseTime", -1, &ServerSettings::LeaseTime, GROUP_DURATION,
               &PanelSettings::LeaseTime),
    IntegerKey("ExtendTime", 0, &ServerSettings::ExtendTime, GROUP_DURATION,
               &PanelSettings::ExtendTime),
    ShortTextKey("DNSAddr1", &ServerSettings::DNSAddr1, GROUP_DNS, &PanelSettings::DNSAddr1),
    ShortTextKey("DNSAddr2", &ServerSettings::DNSAddr2, GROUP_DNS, &PanelSettings::DNSAddr2),
    LongTextKey("DomainName", &ServerSettings::DomainName, GROUP_DNS, &PanelSettings::DomainName),
    ShortTextKey("WINSAddr1", &ServerSettings::WINSAddr1, GROUP_WINS, &PanelSettings::WINSAddr1),
    ShortTextKey("WINSAddr2", &ServerSettings::WINSAddr2, GROUP_WINS, &PanelSettings::WINSAddr2),
    LongTextKey("ScopeID", &ServerSettings::ScopeID, GROUP_WINS, &PanelSettings::ScopeID),
    LongTextKey("SMTP", &ServerSettings::SMTP, GROUP_MAIL_NEWS, &PanelSettings::SMTP),
    LongTextKey("POP3", &ServerSettings::POP3, GROUP_MAIL_NEWS, &PanelSettings::POP3),
    LongTextKey("NNTP", &ServerSettings::NNTP, GROUP_MAIL_NEWS, &PanelSettings::NNTP),
    IntegerKey("CheckClient", 0, &ServerSettings::CheckClient, GROUP_CLIENT,
               &PanelSettings::CheckClient),
    IntegerKey("OptSrvAddr", 0, &ServerSettings::OptSrvAddr, GROUP_OPTION,
               &PanelSettings::OptSrvAddr),
    IntegerKey("OptNACK", 0, &ServerSettings::OptNACK, GROUP_OPTION, &PanelSettings::OptNACK),
    IntegerKey("OptUseLog", 0, &ServerSettings::OptUseLog, GROUP_OPTION, &PanelSettings::OptUseLog),
    IntegerKey("OptUsePing", 0, &ServerSettings::OptUsePing, GROUP_OPTION,
               &PanelSettings::OptUsePing),
    IntegerKey("OptPingTry", 1, &ServerSettings::OptPingTry, GROUP_OPTION,
               &PanelSettings::OptPingTry),
    IntegerKey("OptPingWait", 1000, &ServerSettings::OptPingWait, GROUP_OPTION,
               &PanelSettings::OptPingWait),
    IntegerKey("OptDHCPINFORM", 0, &ServerSettings::OptDHCPINFORM, GROUP_OPTION,
               &PanelSettings::OptDHCPINFORM),
    LongTextKey("NTP", &ServerSettings::NTP, GROUP_NONE, nullptr),
}};

// How many characters a text of this kind keeps (0 for integers).
constexpr std::size_t SettingTextLength(SettingKind kind) {
  return kind == SettingKind::kShortText  ? kShortSettingLength
         : kind == SettingKind::kLongText ? kLongSettingLength
                                          : 0;
}

}  // namespace tamrix
