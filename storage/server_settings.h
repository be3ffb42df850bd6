#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamrix {

class FileSystem;

inline constexpr std::size_t kShortSettingLength = 31;   // address keys: a 32-byte field
inline constexpr std::size_t kLongSettingLength = 255;   // text keys: a 256-byte field

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

// The service's own reading of the file's bytes: the first line must be exactly "[TAMRIX]"
// (a CR before the line feed is tolerated); then every line that begins with a known key and
// "=" sets it, the first key of the table that matches winning, a later line overriding an
// earlier one. Anything else gives the defaults.
ServerSettings ParseServerSettings(std::string_view fileBytes);

// Reads TAMRIX.ini from the Windows directory; a missing file leaves the defaults.
ServerSettings LoadServerSettings(FileSystem& files, const std::string& windowsDirectory);

// atoi: leading white space, one optional sign, decimal digits up to the first other character.
std::int32_t ParseDecimal(std::string_view text);

}  // namespace tamrix
