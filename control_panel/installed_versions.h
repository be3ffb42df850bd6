#pragma once

#include <string>

namespace tamrix {

class FileSystem;

// The file names the about box lists. They are shown as written here; the file looked for is
// the same name, or with its extension in lower case as the build names the programs.
inline constexpr const char* kPanelProgramName = "TAMRIX.EXE";
inline constexpr const char* kNtServiceProgramName = "TAMXNTs.EXE";
inline constexpr const char* k95ServiceProgramName = "TAMRIXs.EXE";

// The service program of this platform setting.
const char* ServiceProgramName(bool isNT);

// The file version of an installed program ("TAMRIX" folder of the system directory) as
// "%d.%d.%d.%d", or "N/A" when the file or its version marker cannot be read.
std::string InstalledFileVersionText(FileSystem& files, const std::string& systemDirectory,
                                     const std::string& fileName);

}  // namespace tamrix
