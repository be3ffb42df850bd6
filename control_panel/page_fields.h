#pragma once

#include <cstdint>
#include <string_view>

namespace tamrix {

// The one rule for every address field: the classic parser's 0 and all-ones results (its
// failure value) are not addresses.
bool IsValidAddressText(std::string_view text);

// A digits field read as a decimal number; an empty field counts as 0. Larger than any int gives
// a value above INT_MAX so callers can refuse it.
std::int64_t FieldNumber(std::string_view text);

}  // namespace tamrix
