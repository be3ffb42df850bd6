#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "storage/lease_database.h"

namespace tamrix {

class FileSystem;

inline constexpr std::string_view kLeaseJournalFileName = "TAMRIX.jnl";
// Where an unreadable TAMRIX.db is moved, so that it is never overwritten.
inline constexpr std::string_view kUnreadableSuffix = ".bad";

// The lease database of a data folder: TAMRIX.db as last written whole, and the journal of the
// changes the server made since. The journal has TAMRIX.db's form: the header of the pool it was
// written for, then one line per change giving the whole new state of the entry it names, free
// entries included. A crash can cut its last line short; that line is left out.
struct LeaseFiles {
  std::string database;
  std::string journal;

  // The journal beside a TAMRIX.db at that path.
  static LeaseFiles Beside(const std::string& databasePath);
};

enum class LeaseDatabaseStatus { kRead, kMissing, kUnreadable };

struct LeaseDatabaseRead {
  LeaseDatabaseStatus status = LeaseDatabaseStatus::kMissing;  // TAMRIX.db's own
  LeaseDatabaseFile file;        // held entries only, by address; the journal folded in
  std::size_t journalLines = 0;  // the journal's complete entry lines
  bool journalUsable = false;    // a journal for file's pool that can be appended to
  bool journalTorn = false;      // its last line was cut short: the next append ends it
};

// The journal's bytes without a last line that a crash cut short; nothing when its header
// cannot be read.
std::optional<LeaseDatabaseFile> ParseLeaseJournal(std::string_view bytes);

// TAMRIX.db with the journal's changes applied in order. A journal for another pool than
// TAMRIX.db's was written after the pool changed and replaces it. What every reader of the lease
// database sees: the server at start, the control panel and setup.
LeaseDatabaseRead ReadLeaseDatabase(FileSystem& files, const LeaseFiles& where);

// Replaces TAMRIX.db with contents, which must hold every change of the journal, then removes
// the journal. A TAMRIX.db that cannot be read is moved aside first rather than overwritten
// (nothing is written when it cannot be moved). False when TAMRIX.db was not written: the journal
// is then kept, and with it the changes.
bool WriteLeaseDatabase(FileSystem& files, const LeaseFiles& where, std::string_view contents);

}  // namespace tamrix
