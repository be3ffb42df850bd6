#include "storage/lease_database.h"

#include <algorithm>

#include "storage/text_fields.h"

namespace tamrix {
namespace {

constexpr int kWordDigits = 8;
constexpr int kByteDigits = 2;

// A hexadecimal field with blanks before it and a comma after it.
std::optional<std::uint32_t> CommaField(FieldCursor& cursor, int maxDigits) {
  cursor.SkipBlanks();
  const auto value = cursor.HexNumber(maxDigits);
  if (!value || !cursor.Consume(',')) return std::nullopt;
  return value;
}

std::optional<StoredLease> ParseLeaseLine(std::string_view line) {
  FieldCursor cursor(line);
  StoredLease lease;
  const auto address = CommaField(cursor, kWordDigits);
  if (!address) return std::nullopt;
  lease.address = *address;
  if (cursor.Rest().size() > kMaxLeaseLineTail) return std::nullopt;

  const auto length = CommaField(cursor, kByteDigits);
  if (!length || *length > static_cast<std::uint32_t>(kMaxClientIdLength)) return std::nullopt;
  lease.client.length = static_cast<std::uint8_t>(*length);
  for (std::uint32_t i = 0; i < *length; ++i) {
    const auto byte = CommaField(cursor, kByteDigits);
    if (!byte) return std::nullopt;
    lease.client.bytes[i] = static_cast<std::uint8_t>(*byte);
  }

  const auto state = CommaField(cursor, kWordDigits);
  const auto expiry = state ? CommaField(cursor, kWordDigits) : std::nullopt;
  if (!expiry) return std::nullopt;
  lease.state = *state;
  lease.expiry = static_cast<Seconds>(*expiry);  // the 32-bit pattern of a signed time

  lease.hostName = ReplaceControlBytes(cursor.Rest().substr(0, kMaxHostNameLength));
  return lease;
}

// The header: two numbers, each followed by white space; the second one's line holds nothing
// else. Gives the position where the entry lines begin.
std::optional<std::size_t> ParseHeader(std::string_view bytes, LeaseDatabaseFile& file) {
  std::size_t position = 0;
  std::uint32_t* const targets[] = {&file.poolStart, &file.poolEnd};
  for (std::uint32_t* target : targets) {
    while (position < bytes.size() && IsWhiteSpace(bytes[position])) ++position;
    FieldCursor cursor(bytes.substr(position));
    const auto value = cursor.HexNumber(kWordDigits);
    if (!value) return std::nullopt;
    position += cursor.Position();
    if (position < bytes.size() && !IsWhiteSpace(bytes[position])) return std::nullopt;
    *target = *value;
  }
  const std::size_t lineEnd = std::min(bytes.find('\n', position), bytes.size());
  if (!IsBlankText(bytes.substr(position, lineEnd - position))) return std::nullopt;
  return std::min(lineEnd + 1, bytes.size());
}

}  // namespace

std::optional<LeaseDatabaseFile> ParseLeaseDatabase(std::string_view fileBytes) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (fileBytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    fileBytes.remove_prefix(kByteOrderMark.size());
  }
  LeaseDatabaseFile file;
  const auto entriesBegin = ParseHeader(fileBytes, file);
  if (!entriesBegin) return std::nullopt;
  LineReader lines(fileBytes.substr(*entriesBegin));
  while (const auto line = lines.Next()) {
    if (IsBlankText(*line)) continue;
    if (auto lease = ParseLeaseLine(*line)) {
      file.leases.push_back(std::move(*lease));
    } else {
      ++file.skippedLines;
    }
  }
  return file;
}

std::string FormatLeaseHeader(std::uint32_t poolStart, std::uint32_t poolEnd) {
  std::string out;
  AppendHex(out, poolStart, kWordDigits);
  out += "\r\n";
  AppendHex(out, poolEnd, kWordDigits);
  out += "\r\n";
  return out;
}

std::string FormatLeaseLine(const LeaseEntry& entry) {
  std::string out;
  if (entry.client.length > kMaxClientIdLength) return out;
  AppendHex(out, entry.address, kWordDigits);
  out += ',';
  AppendHex(out, entry.client.length, kByteDigits);
  out += ',';
  for (std::size_t i = 0; i < entry.client.length; ++i) {
    AppendHex(out, entry.client.bytes[i], kByteDigits);
    out += ',';
  }
  AppendHex(out, entry.state, kWordDigits);
  out += ',';
  AppendHex(out, static_cast<std::uint32_t>(entry.expiry), kWordDigits);
  out += ',';
  out += ReplaceControlBytes(HostName(entry));
  out += "\r\n";
  return out;
}

std::string FormatLeaseDatabase(std::uint32_t poolStart, std::uint32_t poolEnd,
                                std::span<const LeaseEntry> entries) {
  std::string out = FormatLeaseHeader(poolStart, poolEnd);
  for (const LeaseEntry& entry : entries) {
    if (!IsHeld(entry.state) || entry.address < poolStart || entry.address > poolEnd) continue;
    out += FormatLeaseLine(entry);
  }
  return out;
}

void RestoreEntry(const StoredLease& stored, LeaseEntry& entry) {
  entry.client = stored.client;
  entry.state = stored.state;
  entry.expiry = stored.expiry;
  SetHostName(entry, stored.hostName);
}

}  // namespace tamrix
