#pragma once

#include <string>

#include "platform/machine_paths.h"
#include "platform/shared_block.h"

namespace tamrix {

// POSIX shared memory objects: the block itself, one small object per event (a futex word, so a
// party that dies leaves nothing half-held) and one holding a robust process-shared mutex for the
// exchange lock. Under the default root the names are used as given; under another root they
// carry a prefix derived from it.
class PosixSharedBlockSystem final : public SharedBlockSystem {
 public:
  explicit PosixSharedBlockSystem(MachinePaths paths);
  std::unique_ptr<SharedBlock> Create(const SharedBlockNames& names, std::size_t size) override;
  std::unique_ptr<SharedBlock> Open(const SharedBlockNames& names, std::size_t size) override;

  // "/name" or "/tamrix-<digest of root>-name".
  std::string ObjectName(const std::string& name) const;

 private:
  MachinePaths paths_;
};

}  // namespace tamrix
