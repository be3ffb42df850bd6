#include "status/operator_messages.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "status/status_block.h"

namespace tamrix {
namespace {

constexpr std::size_t kMinRefusalSize = kMaxRefusalSize - kOperatorHostNameLimit;
// The pool never holds more addresses than the status block has slots.
constexpr int kPoolLimit = static_cast<int>(StatusBlock::kSlotCount);

class Writer {
 public:
  void U8(std::uint8_t value) { bytes_.push_back(value); }
  void U16(std::uint16_t value) { Le(value, 2); }
  void U32(std::uint32_t value) { Le(value, 4); }
  void I32(std::int32_t value) { Le(static_cast<std::uint32_t>(value), 4); }
  void Bytes(std::span<const std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
  void Client(const ClientId& client) {
    U8(client.length);
    Bytes(client.bytes);
  }
  void Name(std::string_view name) {
    name = name.substr(0, kOperatorHostNameLimit);
    U8(static_cast<std::uint8_t>(name.size()));
    for (char c : name) U8(static_cast<std::uint8_t>(c));
  }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  void Le(std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) U8(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  std::vector<std::uint8_t> bytes_;
};

// Reads past the end fail for good and answer zeros: a decoder checks Ok() before it trusts
// anything, and before it loops on a count.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool Ok() const { return ok_; }
  bool Done() const { return ok_ && offset_ == bytes_.size(); }
  std::size_t Left() const { return bytes_.size() - offset_; }
  void Fail() { ok_ = false; }

  std::uint8_t U8() { return static_cast<std::uint8_t>(Le(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Le(2)); }
  std::uint32_t U32() { return Le(4); }
  std::int32_t I32() { return static_cast<std::int32_t>(Le(4)); }
  void Bytes(std::span<std::uint8_t> out) {
    if (const std::uint8_t* start = Take(out.size())) std::copy_n(start, out.size(), out.begin());
  }
  ClientId Client() {
    ClientId client;
    client.length = U8();
    Bytes(client.bytes);
    return client;
  }
  std::string Name() {
    const std::size_t length = U8();
    if (length > kOperatorHostNameLimit) Fail();
    const std::uint8_t* start = Take(length);
    if (start == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(start), length);
  }

 private:
  // The next size bytes, or null (and failed for good) when fewer are left.
  const std::uint8_t* Take(std::size_t size) {
    if (!ok_ || size > Left()) {
      ok_ = false;
      return nullptr;
    }
    const std::uint8_t* start = bytes_.data() + offset_;
    offset_ += size;
    return start;
  }
  std::uint32_t Le(std::size_t size) {
    const std::uint8_t* start = Take(size);
    std::uint32_t value = 0;
    for (std::size_t i = 0; start != nullptr && i < size; ++i) {
      value |= static_cast<std::uint32_t>(start[i]) << (8 * i);
    }
    return value;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t offset_ = 0;
  bool ok_ = true;
};

void WriteReport(Writer& out, const OperatorReport& report) {
  const PoolUsage& pool = report.pool;
  for (int count : {pool.leased, pool.offered, pool.reserved, pool.disabled, pool.free}) {
    out.I32(count);
  }
  for (std::uint32_t reason = 1; reason <= kRefusalReasonCount; ++reason) {
    out.U32(report.refusalCounts[reason]);
  }
  const std::size_t refusals = std::min(report.recentRefusals.size(), kRecentRefusalLimit);
  out.U16(static_cast<std::uint16_t>(refusals));
  for (auto it = report.recentRefusals.end() - static_cast<std::ptrdiff_t>(refusals);
       it != report.recentRefusals.end(); ++it) {
    out.I32(it->time);
    out.Client(it->client);
    out.Name(it->hostName);
    out.U32(static_cast<std::uint32_t>(it->reason));
  }
  const std::size_t servers = std::min(report.rogueServers.size(), kRogueServerLimit);
  out.U16(static_cast<std::uint16_t>(servers));
  for (std::size_t i = 0; i < servers; ++i) {
    const RogueServer& server = report.rogueServers[i];
    out.U32(server.serverIdentifier);
    out.Bytes(server.hardwareAddress);
    out.I32(server.firstSeen);
    out.U8(server.acknowledged ? 1 : 0);
  }
}

bool ReadPool(Reader& in, PoolUsage& pool) {
  for (int* count : {&pool.leased, &pool.offered, &pool.reserved, &pool.disabled, &pool.free}) {
    *count = in.I32();
    if (*count < 0 || *count > kPoolLimit) return false;
  }
  return in.Ok() && pool.Total() <= kPoolLimit;
}

bool ReadRefusals(Reader& in, std::vector<Refusal>& refusals) {
  const std::size_t count = in.U16();
  if (!in.Ok() || count > kRecentRefusalLimit || count * kMinRefusalSize > in.Left()) return false;
  refusals.resize(count);
  for (Refusal& refusal : refusals) {
    refusal.time = in.I32();
    refusal.client = in.Client();
    refusal.hostName = in.Name();
    const std::uint32_t reason = in.U32();
    if (!in.Ok() || reason < 1 || reason > kRefusalReasonCount) return false;
    refusal.reason = static_cast<RefusalReason>(reason);
  }
  return true;
}

bool ReadRogueServers(Reader& in, std::vector<RogueServer>& servers) {
  const std::size_t count = in.U16();
  if (!in.Ok() || count > kRogueServerLimit || count * kRogueServerSize > in.Left()) return false;
  servers.resize(count);
  for (RogueServer& server : servers) {
    server.serverIdentifier = in.U32();
    in.Bytes(server.hardwareAddress);
    server.firstSeen = in.I32();
    const std::uint8_t acknowledged = in.U8();
    if (!in.Ok() || acknowledged > 1) return false;
    server.acknowledged = acknowledged == 1;
  }
  return true;
}

std::optional<OperatorReport> ReadReport(Reader& in) {
  OperatorReport report;
  if (!ReadPool(in, report.pool)) return std::nullopt;
  for (std::uint32_t reason = 1; reason <= kRefusalReasonCount; ++reason) {
    report.refusalCounts[reason] = in.U32();
  }
  if (!ReadRefusals(in, report.recentRefusals) || !ReadRogueServers(in, report.rogueServers)) {
    return std::nullopt;
  }
  return report;
}

}  // namespace

std::vector<std::uint8_t> EncodeOperatorRequest(const OperatorRequest& request) {
  Writer out;
  out.U32(static_cast<std::uint32_t>(request.kind));
  switch (request.kind) {
    case OperatorRequestKind::kFetchReport:
      break;
    case OperatorRequestKind::kReserve:
      out.U32(request.address);
      out.Client(request.client);
      out.Name(request.hostName);
      break;
    case OperatorRequestKind::kAcknowledge:
      out.U32(request.serverIdentifier);
      break;
  }
  return out.Take();
}

std::optional<OperatorRequest> DecodeOperatorRequest(std::span<const std::uint8_t> bytes) {
  Reader in(bytes);
  OperatorRequest request;
  request.kind = static_cast<OperatorRequestKind>(in.U32());
  switch (request.kind) {
    case OperatorRequestKind::kFetchReport:
      break;
    case OperatorRequestKind::kReserve:
      request.address = in.U32();
      request.client = in.Client();
      request.hostName = in.Name();
      break;
    case OperatorRequestKind::kAcknowledge:
      request.serverIdentifier = in.U32();
      break;
    default:
      return std::nullopt;
  }
  if (!in.Done()) return std::nullopt;
  return request;
}

std::vector<std::uint8_t> EncodeOperatorReply(std::int32_t result, const OperatorReport* report) {
  Writer out;
  out.I32(result);
  if (report != nullptr) WriteReport(out, *report);
  return out.Take();
}

std::optional<OperatorReply> DecodeOperatorReply(std::span<const std::uint8_t> bytes) {
  Reader in(bytes);
  OperatorReply reply;
  reply.result = in.I32();
  if (in.Ok() && in.Left() > 0) {
    reply.report = ReadReport(in);
    if (!reply.report) return std::nullopt;
  }
  if (!in.Done()) return std::nullopt;
  return reply;
}

}  // namespace tamrix
