#include "platform/posix/syslog_event_log.h"

#include <syslog.h>

#include "common/event_catalogue.h"
#include "common/meeting_names.h"

namespace tamrix {
namespace {

const char* TypeWord(EventType type) {
  switch (type) {
    case EventType::kError: return "error";
    case EventType::kWarning: return "warning";
    case EventType::kInformation: return "information";
    case EventType::kSuccess: break;
  }
  return "success";
}

int Priority(EventType type) {
  switch (type) {
    case EventType::kError: return LOG_ERR;
    case EventType::kWarning: return LOG_WARNING;
    case EventType::kInformation: return LOG_INFO;
    case EventType::kSuccess: break;
  }
  return LOG_NOTICE;
}

}  // namespace

std::string DefaultMessageFilePath(const MachinePaths& paths) {
  return JoinPath(paths.InstallDirectory(), meeting::kMessageFile);
}

std::string FormatLogEntry(EventType type, std::uint32_t identifier,
                           std::span<const std::string> strings, const MessageFile& messages) {
  // Appends rather than chained operator+: GCC 12 reports a false -Wrestrict on the chain at -O2.
  std::string entry = "[";
  entry.append(std::to_string(EventNumber(identifier))).append(" ").append(TypeWord(type)).append("]");
  if (const auto text = messages.Text(identifier)) {
    return entry.append(" ").append(ExpandMessage(*text, strings));
  }
  for (std::size_t i = 0; i < strings.size(); ++i) {
    entry.append(i == 0 ? " " : ", ").append(strings[i]);
  }
  return entry;
}

SyslogEventLog::SyslogEventLog(std::string messageFilePath)
    : messageFilePath_(std::move(messageFilePath)) {}

SyslogEventLog::~SyslogEventLog() { CloseSource(); }

bool SyslogEventLog::OpenSource(const std::string& sourceName) {
  std::lock_guard lock(mutex_);
  if (open_) ::closelog();
  ident_ = sourceName;
  ::openlog(ident_.c_str(), LOG_PID, LOG_DAEMON);
  // A missing message file is not a failure: entries then carry numbers and strings only.
  messages_.Load(messageFilePath_);
  open_ = true;
  return true;
}

int SyslogEventLog::Write(EventType type, std::uint32_t identifier,
                          std::span<const std::string> strings) {
  std::lock_guard lock(mutex_);
  if (!open_) return 0;
  const std::string entry = FormatLogEntry(type, identifier, strings, messages_);
  ::syslog(LOG_DAEMON | Priority(type), "%s", entry.c_str());
  return 1;
}

void SyslogEventLog::CloseSource() {
  std::lock_guard lock(mutex_);
  if (!open_) return;
  ::closelog();
  messages_.Unload();
  open_ = false;
}

}  // namespace tamrix
