#pragma once

#include <string>

namespace tamrix {

class FileSystem;

// The names the about box shows for the panel and for the service program of this platform
// setting: the installed file's name with its extension in capitals ("TAMRIX.EXE").
std::string PanelProgramName();
std::string ServiceProgramName(bool isNT);

// The file version of an installed program ("TAMRIX" folder of the system directory) as
// "%d.%d.%d.%d", or "N/A" when the file or its version marker cannot be read.
std::string InstalledFileVersionText(FileSystem& files, const std::string& systemDirectory,
                                     const std::string& fileName);

}  // namespace tamrix
