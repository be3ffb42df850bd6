#pragma once

#include <string>

#include "platform/machine_paths.h"

namespace tamrix {

// Which system the emulated machine is: the top bit of its version word, set on Windows 95.
// Every program of the suite reads it here and nowhere else, so they always agree.
//
// The setting is one text file of the machine, $root/etc/tamrix/platform. Its first line, with
// surrounding blanks ignored and letter case not, says "95" (or "Windows95") for a Windows 95
// machine; anything else, an empty file or no file at all means Windows NT, the default. An
// operator switches a machine to the background-process host with
//   echo 95 > $root/etc/tamrix/platform
std::string PlatformSettingPath(const MachinePaths& paths);
bool IsWindows95(const MachinePaths& paths);

// The version word a program on this machine sees: only the top bit carries meaning here.
inline unsigned long GetVersion(const MachinePaths& paths) {
  return IsWindows95(paths) ? 0x80000000UL : 0UL;
}

}  // namespace tamrix
