#include "storage/lease_store.h"

#include <map>

#include "platform/file_system.h"

namespace tamrix {

LeaseFiles LeaseFiles::Beside(const std::string& databasePath) {
  const std::size_t cut = databasePath.rfind('/');
  const std::string directory = cut == std::string::npos ? "" : databasePath.substr(0, cut + 1);
  return LeaseFiles{databasePath, directory + std::string(kLeaseJournalFileName)};
}

std::optional<LeaseDatabaseFile> ParseLeaseJournal(std::string_view bytes) {
  const std::size_t lastLineEnd = bytes.rfind('\n');
  bytes = bytes.substr(0, lastLineEnd == std::string_view::npos ? 0 : lastLineEnd + 1);
  return ParseLeaseDatabase(bytes);
}

LeaseDatabaseRead ReadLeaseDatabase(FileSystem& files, const LeaseFiles& where) {
  LeaseDatabaseRead read;
  std::optional<LeaseDatabaseFile> database;
  if (const auto bytes = files.ReadFile(where.database)) {
    database = ParseLeaseDatabase(*bytes);
    read.status = database ? LeaseDatabaseStatus::kRead : LeaseDatabaseStatus::kUnreadable;
  }
  std::optional<LeaseDatabaseFile> journal;
  if (const auto bytes = files.ReadFile(where.journal)) {
    journal = ParseLeaseJournal(*bytes);
    read.journalTorn = !bytes->empty() && bytes->back() != '\n';
  }

  // Later lines replace earlier states of their address.
  std::map<std::uint32_t, StoredLease> byAddress;
  const bool samePool = database && journal && database->poolStart == journal->poolStart &&
                        database->poolEnd == journal->poolEnd;
  if (database && (!journal || samePool)) {
    read.file.poolStart = database->poolStart;
    read.file.poolEnd = database->poolEnd;
    read.file.skippedLines = database->skippedLines;
    for (StoredLease& lease : database->leases) byAddress[lease.address] = std::move(lease);
  }
  if (journal) {
    read.file.poolStart = journal->poolStart;
    read.file.poolEnd = journal->poolEnd;
    read.file.skippedLines += journal->skippedLines;
    read.journalLines = journal->leases.size();
    read.journalUsable = true;
    for (StoredLease& lease : journal->leases) byAddress[lease.address] = std::move(lease);
  }
  for (auto& [address, lease] : byAddress) {
    if (IsHeld(lease.state)) read.file.leases.push_back(std::move(lease));
  }
  return read;
}

bool WriteLeaseDatabase(FileSystem& files, const LeaseFiles& where, std::string_view contents) {
  if (const auto bytes = files.ReadFile(where.database); bytes && !ParseLeaseDatabase(*bytes)) {
    if (!files.MoveAside(where.database, where.database + std::string(kUnreadableSuffix))) {
      return false;
    }
  }
  if (!files.ReplaceFile(where.database, contents)) return false;
  files.RemoveFile(where.journal);
  return true;
}

}  // namespace tamrix
