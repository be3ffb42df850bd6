#pragma once

#include <string>

namespace tamrix {

// Creates path and its missing parents (mode 0755); true when the directory exists afterwards.
bool MakeDirectories(const std::string& path);

}  // namespace tamrix
