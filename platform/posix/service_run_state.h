#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/machine_paths.h"
#include "platform/service_manager.h"

namespace tamrix {

// What a running service leaves in the run directory, in its own folder
// $root/run/tamrix/services/<name in lower case>/:
//   status        "pid starttime type state accepted win32 specific checkpoint waithint\n",
//                 replaced whole at each report; starttime (from /proc/PID/stat) tells a reused
//                 pid from the service's own
//   control.sock  the dispatcher's stream socket: a control is 4 bytes (little-endian code), the
//                 answer the 28 bytes of the status after the handler ran
//   start.lock    held by the manager while it starts the service, until the program connects
struct PublishedStatus {
  pid_t pid = 0;
  std::uint64_t startTime = 0;
  ServiceStatusReport status;
};

// The environment variable by which the manager tells a program it started it, with its name.
inline constexpr const char* kServiceNameVariable = "TAMRIX_SERVICE_NAME";
inline constexpr std::size_t kStatusWireSize = 28;

std::string ServiceRunDirectory(const MachinePaths& paths, std::string_view serviceName);
std::string ServiceStatusPath(const MachinePaths& paths, std::string_view serviceName);
std::string ServiceControlSocketPath(const MachinePaths& paths, std::string_view serviceName);

std::string FormatPublishedStatus(const PublishedStatus& published);
std::optional<PublishedStatus> ParsePublishedStatus(std::string_view text);

// The status the service published, when the process that published it still lives.
std::optional<PublishedStatus> LiveServiceStatus(const MachinePaths& paths,
                                                 std::string_view serviceName);
// True while the service runs in any state but STOPPED, or a manager is starting it.
bool ServiceRunsOrStarts(const MachinePaths& paths, std::string_view serviceName);

// The start time of a live process; nothing when it is gone or a zombie.
std::optional<std::uint64_t> LiveProcessStartTime(pid_t pid);
// The state letter and start time from the text of /proc/PID/stat.
bool ParseProcStat(std::string_view text, char* state, std::uint64_t* startTime);

std::array<unsigned char, kStatusWireSize> EncodeStatus(const ServiceStatusReport& status);
ServiceStatusReport DecodeStatus(const std::array<unsigned char, kStatusWireSize>& bytes);

}  // namespace tamrix
