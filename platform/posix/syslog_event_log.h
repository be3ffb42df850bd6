#pragma once

#include <mutex>
#include <string>

#include "platform/event_log.h"
#include "platform/machine_paths.h"
#include "platform/posix/message_file.h"

namespace tamrix {

// Where the event message file is looked for until the registry names it: the installation
// directory's TAMXEVT.dll.
std::string DefaultMessageFilePath(const MachinePaths& paths);

// The event log as syslog (facility daemon, the source name as ident). Each entry reads
// "[<event number> <type>] <text>", the text from the message file with the insertion strings
// in place, or the strings alone when the file is missing or does not know the event.
class SyslogEventLog final : public EventLog {
 public:
  explicit SyslogEventLog(std::string messageFilePath);
  ~SyslogEventLog() override;

  bool OpenSource(const std::string& sourceName) override;
  int Write(EventType type, std::uint32_t identifier,
            std::span<const std::string> strings) override;
  void CloseSource() override;

 private:
  std::mutex mutex_;
  std::string messageFilePath_;
  std::string ident_;  // syslog keeps the pointer, so the text lives here while open
  MessageFile messages_;
  bool open_ = false;
};

// The entry text as written, without the syslog header; shared with tests.
std::string FormatLogEntry(EventType type, std::uint32_t identifier,
                           std::span<const std::string> strings, const MessageFile& messages);

}  // namespace tamrix
