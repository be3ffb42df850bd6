#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/client_id.h"
#include "common/operator_report.h"

namespace tamrix {

// The messages of the running service's operator endpoint: one request from the control panel,
// one reply from the service. Little-endian, written and read field by field; a reader checks
// every field against the bytes left and every count against its limit, whoever wrote it.
//
//   request   u32 kind, then
//               kFetchReport   nothing
//               kReserve       u32 address, u8 client length, 17 client bytes,
//                              u8 host name length (at most 63), the host name
//               kAcknowledge   u32 server identifier
//   reply     i32 result, then for a fetch the service answered with 1, the report:
//               5 x i32 pool usage (leased, offered, reserved, disabled, free)
//               7 x u32 refusal counts (reasons 1 to 7)
//               u16 count, then per refusal: i32 time, u8 client length, 17 client bytes,
//                 u8 host name length (at most 63), the host name, u32 reason
//               u16 count, then per server: u32 identifier, 6 hardware bytes, i32 first seen,
//                 u8 acknowledged (0 or 1)
enum class OperatorRequestKind : std::uint32_t {
  kFetchReport = 1,
  kReserve = 2,
  kAcknowledge = 3,
};

struct OperatorRequest {
  OperatorRequestKind kind = OperatorRequestKind::kFetchReport;
  std::uint32_t address = 0;  // kReserve
  ClientId client;            // kReserve
  std::string hostName;       // kReserve; cut to 63 bytes when written
  std::uint32_t serverIdentifier = 0;  // kAcknowledge
};

struct OperatorReply {
  std::int32_t result = 0;
  std::optional<OperatorReport> report;
};

inline constexpr std::size_t kOperatorHostNameLimit = 63;
inline constexpr std::size_t kMaxOperatorRequestSize = 4 + 4 + 1 + kMaxClientIdLength + 1 +
                                                       kOperatorHostNameLimit;
inline constexpr std::size_t kMaxRefusalSize = 4 + 1 + kMaxClientIdLength + 1 +
                                               kOperatorHostNameLimit + 4;
inline constexpr std::size_t kRogueServerSize = 4 + 6 + 4 + 1;
inline constexpr std::size_t kMaxOperatorReplySize =
    4 + 5 * 4 + kRefusalReasonCount * 4 + 2 + kRecentRefusalLimit * kMaxRefusalSize + 2 +
    kRogueServerLimit * kRogueServerSize;
static_assert(kMaxOperatorRequestSize == 90);
static_assert(kMaxOperatorReplySize == 23580);

std::vector<std::uint8_t> EncodeOperatorRequest(const OperatorRequest& request);
// Nothing for bytes that are not exactly one request.
std::optional<OperatorRequest> DecodeOperatorRequest(std::span<const std::uint8_t> bytes);

// A report with more refusals or servers than the limits keeps the newest refusals and the
// first servers heard; a longer host name is cut to 63 bytes.
std::vector<std::uint8_t> EncodeOperatorReply(std::int32_t result,
                                              const OperatorReport* report = nullptr);
// Nothing for bytes that are not exactly one reply, or hold a count over its limit, a refusal
// reason outside 1 to 7, a negative pool count or a pool larger than any the service keeps.
std::optional<OperatorReply> DecodeOperatorReply(std::span<const std::uint8_t> bytes);

}  // namespace tamrix
