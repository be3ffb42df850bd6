#pragma once

#include "engine/status_publication.h"

namespace tamrix {

// Publishes nothing and always succeeds: for tests that run the engine without the shared
// status block.
class StandInStatusPublication final : public StatusPublication {
 public:
  int StartStatusPublication(LeaseTable&) override { return 1; }
  int StopStatusPublication() override { return 1; }
};

}  // namespace tamrix
