#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tamrix {

// Starts the program at path in a session of its own, detached from the caller: it is handed to
// init (so it outlives the caller and never becomes the caller's zombie), runs in "/", has
// standard input, output and error on /dev/null, inherits no other descriptor and starts with default
// signal handling. argv[0] is the path. environment is the whole environment of the program.
// Returns 0 with the program's pid, or the errno of the failure (a failed exec included).
int LaunchDetached(const std::string& path, const std::vector<std::string>& environment,
                   pid_t* pid);

// This process's environment with the variables of set given those values and the variables
// named in remove left out: the form LaunchDetached takes.
std::vector<std::string> EnvironmentWith(
    const std::vector<std::pair<std::string, std::string>>& set,
    const std::vector<std::string>& remove);

// The program a registered path names: the path as it stands, or with "\" read as "/" when
// only that form exists.
std::string HostProgramPath(const std::string& registeredPath);

// Launches registered program paths detached in the emulated machine of root (TAMRIX_SYSROOT
// passed on, the service marker removed); gives 0, 2 (no such program), 5 (not allowed) or 193
// (not a program this machine runs), or 1053 for any other failure.
std::function<int(const std::string& path)> DetachedProgramLauncher(const std::string& root);
// The error code a failed launch gives (see above).
int LaunchErrorCode(int error);

}  // namespace tamrix
