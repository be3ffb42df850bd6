#include "engine/lease_table.h"
#include "status/status_publication.h"

namespace tamrix {

static_assert(kMaxPoolSize == static_cast<int>(StatusBlock::kSlotCount));

namespace {

class LeaseTableAdapter final : public LeaseTableAccess {
 public:
  explicit LeaseTableAdapter(LeaseTable& table) : table_(table) {}
  int CopyLeaseTable(std::span<LeaseEntry, StatusBlock::kSlotCount> out) override {
    return table_.CopyLeaseTable(out);
  }
  int ReleaseAddress(std::uint32_t address, const ClientId& client) override {
    return table_.ReleaseAddress(address, client);
  }

 private:
  LeaseTable& table_;
};

}  // namespace

SharedStatusPublication::SharedStatusPublication(SharedBlockSystem& blocks, int turnRecoveryPollMs)
    : server_(blocks, turnRecoveryPollMs) {}

SharedStatusPublication::~SharedStatusPublication() {
  server_.Stop();
}

int SharedStatusPublication::StartStatusPublication(LeaseTable& table) {
  if (access_) return 1;  // already serving
  auto access = std::make_unique<LeaseTableAdapter>(table);
  if (server_.Start(*access) != 1) return 0;
  access_ = std::move(access);
  return 1;
}

int SharedStatusPublication::StopStatusPublication() {
  server_.Stop();
  access_.reset();
  return 1;
}

}  // namespace tamrix
