#pragma once

#include "engine/engine.h"
#include "service_95/service_frame.h"

namespace tamrix {

// The engine as the frame drives it.
class EngineControl final : public ServiceEngine {
 public:
  explicit EngineControl(Engine& engine) : engine_(engine) {}
  int EngineStart() override { return engine_.EngineStart(); }
  int EngineStop() override { return engine_.EngineStop(); }

 private:
  Engine& engine_;
};

}  // namespace tamrix
