#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tamrix {

class FileSystem;

inline constexpr std::size_t kShortSettingLength = 31;   // address keys: a 32-byte field
inline constexpr std::size_t kLongSettingLength = 255;   // text keys: a 256-byte field
// The service reads the file in pieces of at most this many characters (line end included); the
// rest of a longer line reaches it as a line of its own.
inline constexpr std::size_t kSettingsLineLimit = 511;

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

inline constexpr std::string_view kSettingsFileName = "TAMRIX.ini";
inline constexpr std::string_view kSettingsSection = "TAMRIX";
inline constexpr std::string_view kSettingsHeader = "[TAMRIX]";

enum class SettingKind { kShortText, kLongText, kInteger };

// One key of the section: its name, how it is held, where, and its value when absent. Texts
// default to empty.
struct SettingKey {
  std::string_view name;
  SettingKind kind;
  std::string ServerSettings::*text;    // null for an integer key
  std::int32_t ServerSettings::*number;  // null for a text key
  std::int32_t defaultNumber;
};

// The keys in the order the service tests them; the first whose "Name=" begins a line wins, so
// "NNTP" must stay before "NTP".
inline constexpr std::array<SettingKey, 24> kSettingKeys = {{
    {"StartIPAddr", SettingKind::kShortText, &ServerSettings::StartIPAddr, nullptr, 0},
    {"EndIPAddr", SettingKind::kShortText, &ServerSettings::EndIPAddr, nullptr, 0},
    {"SubnetMask", SettingKind::kShortText, &ServerSettings::SubnetMask, nullptr, 0},
    {"Gateway", SettingKind::kShortText, &ServerSettings::Gateway, nullptr, 0},
    {"DNSAddr1", SettingKind::kShortText, &ServerSettings::DNSAddr1, nullptr, 0},
    {"DNSAddr2", SettingKind::kShortText, &ServerSettings::DNSAddr2, nullptr, 0},
    {"DomainName", SettingKind::kLongText, &ServerSettings::DomainName, nullptr, 0},
    {"WINSAddr1", SettingKind::kShortText, &ServerSettings::WINSAddr1, nullptr, 0},
    {"WINSAddr2", SettingKind::kShortText, &ServerSettings::WINSAddr2, nullptr, 0},
    {"ScopeID", SettingKind::kLongText, &ServerSettings::ScopeID, nullptr, 0},
    {"LeaseTime", SettingKind::kInteger, nullptr, &ServerSettings::LeaseTime, -1},
    {"ExtendTime", SettingKind::kInteger, nullptr, &ServerSettings::ExtendTime, 0},
    {"CheckClient", SettingKind::kInteger, nullptr, &ServerSettings::CheckClient, 0},
    {"OptNACK", SettingKind::kInteger, nullptr, &ServerSettings::OptNACK, 0},
    {"OptUseLog", SettingKind::kInteger, nullptr, &ServerSettings::OptUseLog, 0},
    {"OptUsePing", SettingKind::kInteger, nullptr, &ServerSettings::OptUsePing, 0},
    {"OptPingTry", SettingKind::kInteger, nullptr, &ServerSettings::OptPingTry, 1},
    {"OptPingWait", SettingKind::kInteger, nullptr, &ServerSettings::OptPingWait, 1000},
    {"OptSrvAddr", SettingKind::kInteger, nullptr, &ServerSettings::OptSrvAddr, 0},
    {"OptDHCPINFORM", SettingKind::kInteger, nullptr, &ServerSettings::OptDHCPINFORM, 0},
    {"SMTP", SettingKind::kLongText, &ServerSettings::SMTP, nullptr, 0},
    {"POP3", SettingKind::kLongText, &ServerSettings::POP3, nullptr, 0},
    {"NNTP", SettingKind::kLongText, &ServerSettings::NNTP, nullptr, 0},
    {"NTP", SettingKind::kLongText, &ServerSettings::NTP, nullptr, 0},
}};

// How many characters a text of this kind keeps (0 for integers).
constexpr std::size_t SettingTextLength(SettingKind kind) {
  return kind == SettingKind::kShortText  ? kShortSettingLength
         : kind == SettingKind::kLongText ? kLongSettingLength
                                          : 0;
}

// The service's own reading of the file's bytes: the first line must be exactly "[TAMRIX]"
// (a CR before the line feed is tolerated); then every line that begins with a known key and
// "=" sets it, the first key of the table that matches winning, a later line overriding an
// earlier one. A value ends at its line end or at a zero byte. Anything else gives the defaults.
ServerSettings ParseServerSettings(std::string_view fileBytes);

// Reads TAMRIX.ini from the Windows directory; a missing file leaves the defaults. The name's
// letter case does not matter to the system, so "TAMRIX.INI" is read when "TAMRIX.ini" is not
// there.
ServerSettings LoadServerSettings(FileSystem& files, const std::string& windowsDirectory);

// The file as the profile functions write it: the section header, then "Key=value" for every
// key in table order, CRLF line ends, integers in decimal. Texts are cut to their field and
// line ends or zero bytes in them become "?", so every line reads back as the key it was.
std::string FormatServerSettings(const ServerSettings& settings);

// atoi: leading white space, one optional sign, decimal digits up to the first other character;
// no digits give 0. A value beyond the signed 32-bit range saturates at its nearest end.
std::int32_t ParseDecimal(std::string_view text);

}  // namespace tamrix
