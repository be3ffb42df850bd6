#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/lease_entry.h"

namespace tamrix {

inline constexpr std::string_view kLeaseDatabaseFileName = "TAMRIX.db";
// The part of an entry line after the address's comma never needs more (the longest line the
// writers produce holds about half of it).
inline constexpr std::size_t kMaxLeaseLineTail = 255;

// One entry line of TAMRIX.db, as read.
struct StoredLease {
  std::uint32_t address = 0;
  ClientId client;
  std::uint32_t state = 0;
  Seconds expiry = 0;
  std::string hostName;  // up to the line end, at most 63 bytes, control bytes as "?"
};

struct LeaseDatabaseFile {
  std::uint32_t poolStart = 0;
  std::uint32_t poolEnd = 0;
  std::vector<StoredLease> leases;  // in file order
  int skippedLines = 0;             // malformed lines passed over whole
};

// Reads the file's bytes. Nothing when the two header numbers cannot be read. A UTF-8 byte-order
// mark in front, as some editors save one, is passed over. A malformed entry
// line (bad hex, missing comma, length above 17, too long) is skipped whole and counted; blank
// lines are passed over without being counted. Numbers may be lower case, have fewer digits than
// the writer uses and have blanks before them.
std::optional<LeaseDatabaseFile> ParseLeaseDatabase(std::string_view fileBytes);

// The file for the pool [poolStart, poolEnd]: the two header lines, then one CRLF-ended line for
// every held entry whose address lies in the pool, in the order given. Control bytes of a host
// name are written as "?" so a name can never start a line of its own. An entry whose identifier
// length is above 17 has no form the readers accept and is left out.
std::string FormatLeaseDatabase(std::uint32_t poolStart, std::uint32_t poolEnd,
                                std::span<const LeaseEntry> entries);

// The two header lines, and one CRLF-ended entry line of any state (the journal records frees
// too); an entry line is empty for an identifier above 17 bytes.
std::string FormatLeaseHeader(std::uint32_t poolStart, std::uint32_t poolEnd);
std::string FormatLeaseLine(const LeaseEntry& entry);

// Copies a stored line into the table entry it names (identifier, state, expiry, host name);
// the entry keeps its address.
void RestoreEntry(const StoredLease& stored, LeaseEntry& entry);

}  // namespace tamrix
