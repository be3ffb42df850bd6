#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/client_id.h"
#include "common/lease_entry.h"

namespace tamrix {

// "free", "reserved", "offered", "bound", "grace", or the word in hex when it is none of them.
std::string LeaseStateName(std::uint32_t state);

// "2026-12-07T10:00:00Z" (UTC), "-" for an entry without expiry.
std::string FormatExpiry(Seconds expiry);

// One row: address, state, expiry, host name (UTF-8), client identifier, in fixed columns.
std::string FormatLeaseRow(const LeaseEntry& entry);
std::string LeaseHeaderRow();

// "01:00A0C9123456" back into an identifier; nothing when it is not that form.
std::optional<ClientId> ParseClientIdForm(std::string_view text);

}  // namespace tamrix
