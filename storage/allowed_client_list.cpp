#include "storage/allowed_client_list.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/file_system.h"
#include "platform/machine_paths.h"
#include "storage/text_fields.h"

namespace tamrix {
namespace {

constexpr int kByteDigits = 2;

// Orders valid identifiers by the length byte, then the counted bytes, all unsigned.
int CompareClientIds(const ClientId& a, const ClientId& b) {
  if (a.length != b.length) return a.length < b.length ? -1 : 1;
  return std::memcmp(a.bytes.data(), b.bytes.data(), a.length);
}

bool SortsBefore(const AllowedClient& a, const AllowedClient& b) {
  return CompareClientIds(a.id, b.id) < 0;
}

// The first entry not before id; the list is sorted, so this is where id is or belongs.
std::vector<AllowedClient>::const_iterator FindPlace(const std::vector<AllowedClient>& entries,
                                                     const ClientId& id) {
  return std::lower_bound(entries.begin(), entries.end(), id,
                          [](const AllowedClient& entry, const ClientId& key) {
                            return CompareClientIds(entry.id, key) < 0;
                          });
}

// Bytes past the length stay zero, whatever the caller's held.
ClientId StoredCopy(const ClientId& id) {
  ClientId stored;
  stored.length = id.length;
  std::copy_n(id.bytes.begin(), id.length, stored.bytes.begin());
  return stored;
}

// One line: "LL," then L times "BB," then the comment. Nothing when the line does not begin with
// a hex digit or ends before its bytes do. A length the list refuses is still read here (its
// bytes are never stored), so the list is the one place that refuses it.
std::optional<AllowedClient> ParseClientLine(std::string_view line) {
  FieldCursor cursor(line);
  if (!cursor.AtHexDigit()) return std::nullopt;
  const auto length = cursor.HexNumber(kByteDigits);
  if (!length || !cursor.Consume(',')) return std::nullopt;
  AllowedClient client;
  client.id.length = static_cast<std::uint8_t>(*length);
  if (!client.id.IsValid()) return client;
  for (std::uint32_t i = 0; i < *length; ++i) {
    const auto byte = cursor.HexNumber(kByteDigits);
    if (!byte) return std::nullopt;
    client.id.bytes[i] = static_cast<std::uint8_t>(*byte);
    // A hand-edited last byte may lack its comma when no comment follows.
    const bool last = i + 1 == *length;
    if (!cursor.Consume(',') && !(last && cursor.AtEnd())) return std::nullopt;
  }
  client.comment = ReplaceControlBytes(cursor.Rest().substr(0, kMaxClientCommentLength));
  return client;
}

}  // namespace

int AllowedClientList::InsertAllowedClient(const ClientId& id, std::string comment) {
  if (!id.IsValid()) return -1;
  const auto place = FindPlace(entries_, id);
  if (place != entries_.end() && CompareClientIds(place->id, id) == 0) return -1;
  entries_.insert(place, AllowedClient{StoredCopy(id), std::move(comment)});
  return 0;
}

int AllowedClientList::AssignAllowedClients(std::vector<AllowedClient> clients) {
  entries_.clear();
  const std::size_t offered = clients.size();
  std::erase_if(clients, [](const AllowedClient& client) { return !client.id.IsValid(); });
  for (AllowedClient& client : clients) client.id = StoredCopy(client.id);
  // Stable, so that of equal identifiers the one met first is the one unique keeps.
  std::stable_sort(clients.begin(), clients.end(), SortsBefore);
  const auto kept = std::unique(clients.begin(), clients.end(),
                                [](const AllowedClient& a, const AllowedClient& b) {
                                  return CompareClientIds(a.id, b.id) == 0;
                                });
  clients.erase(kept, clients.end());
  entries_ = std::move(clients);
  return static_cast<int>(offered - entries_.size());
}

int AllowedClientList::IsAllowedClient(const ClientId& id) const {
  if (!id.IsValid()) return 0;
  const auto place = FindPlace(entries_, id);
  return place != entries_.end() && place->id == id ? 1 : 0;
}

bool AllowedClientList::RemoveAt(std::size_t index) {
  if (index >= entries_.size()) return false;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

int ParseAllowedClientList(std::string_view fileBytes, AllowedClientList& list) {
  std::vector<AllowedClient> clients;
  int skipped = 0;
  LineReader lines(fileBytes);
  while (const auto line = lines.Next()) {
    if (IsBlankText(*line)) continue;
    if (auto client = ParseClientLine(*line)) {
      clients.push_back(std::move(*client));
    } else {
      ++skipped;
    }
  }
  return skipped + list.AssignAllowedClients(std::move(clients));
}

std::string FormatAllowedClientList(const AllowedClientList& list) {
  std::string out;
  for (const AllowedClient& entry : list.entries()) {
    AppendHex(out, entry.id.length, kByteDigits);
    out += ',';
    for (std::size_t i = 0; i < entry.id.length; ++i) {
      AppendHex(out, entry.id.bytes[i], kByteDigits);
      out += ',';
    }
    out += ReplaceControlBytes(std::string_view(entry.comment).substr(0, kMaxClientCommentLength));
    out += "\r\n";
  }
  return out;
}

int LoadAllowedClientList(FileSystem& files, const std::string& windowsDirectory,
                          AllowedClientList& list) {
  list.ClearAllowedClientList();
  const auto bytes = files.ReadFile(JoinPath(windowsDirectory, std::string(kAllowedClientFileName)));
  if (!bytes) return -1;
  ParseAllowedClientList(*bytes, list);
  return 0;
}

}  // namespace tamrix
