#pragma once

#include <string>

#include "platform/machine_paths.h"
#include "platform/registry_hive.h"

namespace tamrix {

// The registry of the emulated machine, kept in text files (see RegistryHive for the form):
//   $root/var/lib/tamrix-registry/hive      the keys that last
//   $root/var/lib/tamrix-registry/lock      locked around every operation: shared to read,
//                                           exclusive to change, so processes never lose writes
//   $root/run/tamrix/registry-volatile      volatile keys; its first line names the boot they
//                                           belong to, and a boot clears the run directory anyway
// Every operation reads the files afresh under the lock, so a change by another process shows at
// once. A change is written to a temporary file, flushed and renamed over the old one: a crash
// leaves the old file or the new one, and a leftover temporary is never read. Lines that do not
// parse are skipped (counted in SkippedLines). A change the caller may not write gives 5; one
// that cannot be written for another reason gives 29.
class FileRegistry final : public HiveRegistry {
 public:
  explicit FileRegistry(const MachinePaths& paths);
  // bootId stands in for the kernel's boot id, so a test can move the machine to its next boot.
  FileRegistry(const MachinePaths& paths, std::string bootId);

  int SkippedLines() const { return skippedLines_; }
  std::string HivePath() const;
  std::string VolatilePath() const;

 protected:
  int Transact(bool write, const std::function<int(RegistryHive&)>& op) override;

 private:
  std::string directory_;
  std::string runDirectory_;
  std::string bootId_;
  int skippedLines_ = 0;
};

// The kernel's id of the running boot, or "unknown".
std::string CurrentBootId();

}  // namespace tamrix
