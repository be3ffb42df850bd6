#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/client_id.h"

namespace tamrix {

class FileSystem;

inline constexpr std::string_view kAllowedClientFileName = "TAMRIX.db2";
inline constexpr std::size_t kMaxClientCommentLength = 79;

struct AllowedClient {
  ClientId id;
  std::string comment;  // the service ignores it; the control panel shows and writes it
};

// The allowed-client list, kept sorted by the length byte and then the bytes (unsigned), so
// shorter identifiers come first; no two entries are equal.
class AllowedClientList {
 public:
  // 0 when inserted in its sorted place; -1 for length 0, length above 17 or a duplicate.
  int InsertAllowedClient(const ClientId& id, std::string comment = {});
  // Empties the list, then takes the clients as InsertAllowedClient would one by one in their
  // order (of equal identifiers the first stays), with one sort in place of a search and a shift
  // per client, so a long file loads in n log n. Returns how many were refused.
  int AssignAllowedClients(std::vector<AllowedClient> clients);
  // 1 when an entry equal to the identifier is listed, else 0.
  int IsAllowedClient(const ClientId& id) const;
  void ClearAllowedClientList() { entries_.clear(); }
  // Removes the entry at a position of entries(); false when there is none.
  bool RemoveAt(std::size_t index);

  const std::vector<AllowedClient>& entries() const { return entries_; }

 private:
  std::vector<AllowedClient> entries_;
};

// Reads the file's bytes into the list (cleared first): one entry per line, comment up to the
// line end (cut to 79 bytes, control bytes as "?"); lines that do not start with a hex digit,
// announce more bytes than they hold, or are refused by the insert are skipped. Returns the
// number of lines skipped (blank lines are not counted).
int ParseAllowedClientList(std::string_view fileBytes, AllowedClientList& list);

// One CRLF-ended line per entry: "%02X," for the length and each byte, then the comment (cut to
// 79 bytes, control bytes written as "?" so a comment can never start a line of its own).
std::string FormatAllowedClientList(const AllowedClientList& list);

// The service's load from the Windows directory: 0 when read, -1 when the file cannot be read
// (the list is then empty).
int LoadAllowedClientList(FileSystem& files, const std::string& windowsDirectory,
                          AllowedClientList& list);

}  // namespace tamrix
