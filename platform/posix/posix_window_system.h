#pragma once

#include <string>
#include <string_view>

#include "platform/machine_paths.h"
#include "platform/window.h"

namespace tamrix {

// Each window is a listening Unix socket in the run directory, named from a digest of its class
// and title, guarded by a lock file so only one owner at a time can hold the name. A message is
// one connection: 20 bytes in (message, wParam, lParam, little-endian), 8 bytes of answer out.
class PosixWindowSystem final : public WindowSystem {
 public:
  explicit PosixWindowSystem(MachinePaths paths);
  std::unique_ptr<Window> CreateWindow(std::string_view className, std::string_view title,
                                       WindowProcedure procedure) override;
  std::optional<WindowHandle> FindWindow(std::string_view className,
                                         std::string_view title) override;
  std::optional<std::int64_t> SendMessage(const WindowHandle& window, std::uint32_t message,
                                          std::uint64_t wParam = 0, std::int64_t lParam = 0,
                                          int timeoutMs = -1) override;

  std::string EndpointPath(std::string_view className, std::string_view title) const;

 private:
  MachinePaths paths_;
};

}  // namespace tamrix
