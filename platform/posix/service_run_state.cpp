#include "platform/posix/service_run_state.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>

#include "platform/posix/posix_file_system.h"
#include "platform/posix/unique_fd.h"
#include "platform/registry_hive.h"

namespace tamrix {
namespace {

// Splits off the next run of non-blanks; false at the end.
bool NextWord(std::string_view* text, std::string_view* word) {
  std::size_t start = 0;
  while (start < text->size() && ((*text)[start] == ' ' || (*text)[start] == '\n')) ++start;
  std::size_t end = start;
  while (end < text->size() && (*text)[end] != ' ' && (*text)[end] != '\n') ++end;
  if (start == end) return false;
  *word = text->substr(start, end - start);
  text->remove_prefix(end);
  return true;
}

bool ParseUnsigned(std::string_view word, std::uint64_t limit, std::uint64_t* value) {
  if (word.empty() || word.size() > 20) return false;
  std::uint64_t number = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (number > (limit - digit) / 10) return false;
    number = number * 10 + digit;
  }
  *value = number;
  return true;
}

void PutLittleEndian(unsigned char* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t GetLittleEndian(const unsigned char* in) {
  return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
         static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

}  // namespace

std::string ServiceRunDirectory(const MachinePaths& paths, std::string_view serviceName) {
  return paths.RunDirectory() + "/services/" + FoldRegistryName(serviceName);
}

std::string ServiceStatusPath(const MachinePaths& paths, std::string_view serviceName) {
  return ServiceRunDirectory(paths, serviceName) + "/status";
}

std::string ServiceControlSocketPath(const MachinePaths& paths, std::string_view serviceName) {
  return ServiceRunDirectory(paths, serviceName) + "/control.sock";
}

std::optional<PublishedStatus> LiveServiceStatus(const MachinePaths& paths,
                                                 std::string_view serviceName) {
  const auto text = PosixFileSystem().ReadFile(ServiceStatusPath(paths, serviceName));
  if (!text) return std::nullopt;
  const auto published = ParsePublishedStatus(*text);
  if (!published) return std::nullopt;
  const auto startTime = LiveProcessStartTime(published->pid);
  if (!startTime || *startTime != published->startTime) return std::nullopt;
  return published;
}

bool ServiceRunsOrStarts(const MachinePaths& paths, std::string_view serviceName) {
  const auto live = LiveServiceStatus(paths, serviceName);
  if (live && live->status.currentState != SERVICE_STOPPED) return true;
  // A starter holds the lock from before the launch until the program has published its status.
  const std::string lockPath = ServiceRunDirectory(paths, serviceName) + "/start.lock";
  UniqueFd lock(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!lock.valid()) return false;
  int result;
  do {
    result = ::flock(lock.get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result != 0 && errno == EWOULDBLOCK;
}

std::string FormatPublishedStatus(const PublishedStatus& published) {
  const ServiceStatusReport& s = published.status;
  char line[256];
  std::snprintf(line, sizeof line, "%d %" PRIu64 " %u %u %u %u %u %u %u\n",
                static_cast<int>(published.pid), published.startTime, s.serviceType,
                s.currentState, s.controlsAccepted, s.win32ExitCode, s.serviceSpecificExitCode,
                s.checkPoint, s.waitHint);
  return line;
}

std::optional<PublishedStatus> ParsePublishedStatus(std::string_view text) {
  std::uint64_t numbers[9] = {};
  for (std::uint64_t& number : numbers) {
    std::string_view word;
    if (!NextWord(&text, &word)) return std::nullopt;
    const std::uint64_t limit = &number == &numbers[1] ? UINT64_MAX : 0xFFFFFFFFu;
    if (!ParseUnsigned(word, limit, &number)) return std::nullopt;
  }
  std::string_view extra;
  if (NextWord(&text, &extra)) return std::nullopt;
  if (numbers[0] == 0 || numbers[0] > 0x7FFFFFFF) return std::nullopt;
  PublishedStatus published;
  published.pid = static_cast<pid_t>(numbers[0]);
  published.startTime = numbers[1];
  ServiceStatusReport& s = published.status;
  s.serviceType = static_cast<std::uint32_t>(numbers[2]);
  s.currentState = static_cast<std::uint32_t>(numbers[3]);
  s.controlsAccepted = static_cast<std::uint32_t>(numbers[4]);
  s.win32ExitCode = static_cast<std::uint32_t>(numbers[5]);
  s.serviceSpecificExitCode = static_cast<std::uint32_t>(numbers[6]);
  s.checkPoint = static_cast<std::uint32_t>(numbers[7]);
  s.waitHint = static_cast<std::uint32_t>(numbers[8]);
  if (s.currentState < SERVICE_STOPPED || s.currentState > SERVICE_PAUSED) return std::nullopt;
  return published;
}

bool ParseProcStat(std::string_view text, char* state, std::uint64_t* startTime) {
  // The command name sits in parentheses and may hold anything, ")" included: skip to the last.
  const std::size_t close = text.rfind(')');
  if (close == std::string_view::npos) return false;
  std::string_view rest = text.substr(close + 1);
  std::string_view word;
  // Fields after the name start at 3 (state); the start time is field 22.
  for (int field = 3; field <= 22; ++field) {
    if (!NextWord(&rest, &word)) return false;
    if (field == 3) {
      if (word.size() != 1) return false;
      *state = word[0];
    }
  }
  return ParseUnsigned(word, UINT64_MAX, startTime);
}

std::optional<std::uint64_t> LiveProcessStartTime(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  PosixFileSystem files;
  const auto text = files.ReadFile("/proc/" + std::to_string(pid) + "/stat");
  char state = 0;
  std::uint64_t startTime = 0;
  if (!text || !ParseProcStat(*text, &state, &startTime)) return std::nullopt;
  if (state == 'Z' || state == 'X' || state == 'x') return std::nullopt;
  return startTime;
}

std::array<unsigned char, kStatusWireSize> EncodeStatus(const ServiceStatusReport& s) {
  std::array<unsigned char, kStatusWireSize> bytes{};
  const std::uint32_t fields[7] = {s.serviceType,   s.currentState,
                                   s.controlsAccepted, s.win32ExitCode,
                                   s.serviceSpecificExitCode, s.checkPoint,
                                   s.waitHint};
  for (int i = 0; i < 7; ++i) PutLittleEndian(bytes.data() + 4 * i, fields[i]);
  return bytes;
}

ServiceStatusReport DecodeStatus(const std::array<unsigned char, kStatusWireSize>& bytes) {
  ServiceStatusReport s;
  s.serviceType = GetLittleEndian(bytes.data());
  s.currentState = GetLittleEndian(bytes.data() + 4);
  s.controlsAccepted = GetLittleEndian(bytes.data() + 8);
  s.win32ExitCode = GetLittleEndian(bytes.data() + 12);
  s.serviceSpecificExitCode = GetLittleEndian(bytes.data() + 16);
  s.checkPoint = GetLittleEndian(bytes.data() + 20);
  s.waitHint = GetLittleEndian(bytes.data() + 24);
  return s;
}

}  // namespace tamrix
