#pragma once

#include <optional>
#include <string_view>

#include "common/client_id.h"

namespace tamrix {

// The operator's form "01:00A0C9123456": a type byte in hex, ":", then hex pairs. Nothing when
// the length is not odd and at least 3, a pair is not readable, the colon is missing or the
// identifier would pass 17 bytes.
std::optional<ClientId> ParseClientIdText(std::string_view text);

}  // namespace tamrix
