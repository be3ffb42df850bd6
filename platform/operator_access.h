#pragma once

#include <string>

namespace tamrix {

// Who may operate the server: root and the members of the system group "tamrix". Everything the
// programs share — the run folder and its endpoints, the registry, the data folder and its
// files, the shared block and its events — belongs to root and that group, and to root alone on
// a machine without the group. Other accounts cannot open any of it.
inline constexpr const char* kOperatorGroupName = "tamrix";

// Creates path (missing parents get 0755) and gives it to the operators: group "tamrix" and mode
// 02770, whose set-group-id bit hands the group on to everything made inside; 0700 without the
// group. A folder that already has the right group and mode is left as it is, so a member who
// may not change it still succeeds. True when the folder is right afterwards.
bool MakeOperatorFolder(const std::string& path);

// Gives a file, shared memory object or a bound socket's path to the operators: the group and
// mode 0660, or 0600 without the group.
bool ShareWithOperators(const std::string& path);

// Creates the system group when the machine lacks it (groupadd --system); true when it exists.
bool EnsureOperatorGroup();
// Lets a server program bind the DHCP port and send its ICMP probe whoever starts it, so that an
// operator who is not root can start the service (file capabilities CAP_NET_BIND_SERVICE and
// CAP_NET_RAW, permitted and effective).
bool LetProgramServe(const std::string& programPath);

}  // namespace tamrix
