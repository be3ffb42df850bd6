#include "control_panel/operator_view.h"

#include <gtest/gtest.h>

#include "control_panel/panel_messages.h"
#include "tests/control_panel/fake_lease_source.h"

namespace tamrix {
namespace {

Refusal MakeRefusal(std::uint8_t last, const char* host, RefusalReason reason) {
  const std::uint8_t hardware[6] = {0x00, 0xA0, 0xC9, 0x12, 0x34, last};
  return {0, MakeClientId(1, hardware, sizeof hardware), host, reason};
}

// The operator's texts and rules as the main window and the refusal window use them.
TEST(OperatorViewTest, UsageReasonsFilterAndOutcomes) {
  // One address in ten free is not yet low; fewer is; none is exhausted.
  const struct {
    int leased, free;
    PoolWarning warning;
  } usages[] = {{45, 5, PoolWarning::kNone},
                {46, 4, PoolWarning::kLow},
                {50, 0, PoolWarning::kExhausted},
                {0, 0, PoolWarning::kNone}};  // a service with no pool warns of nothing
  for (const auto& u : usages) {
    EXPECT_EQ(MakePoolUsageView({u.leased, 0, 0, 0, u.free}).warning, u.warning) << u.free;
  }
  const PoolUsageView view = MakePoolUsageView({30, 2, 3, 2, 3});
  EXPECT_EQ(view.used, 37);
  EXPECT_EQ(view.total, 40);
  EXPECT_EQ(view.numbers, "貸出し 30　仮割り当て 2　予約 3　無効 2　空き 3");
  EXPECT_EQ(view.warningText, "空きIPｱﾄﾞﾚｽが残り少なくなっています（残り 3個）");
  // Counts come from another process: a negative one must not make free addresses appear.
  EXPECT_EQ(MakePoolUsageView({-7, 0, 0, 0, 0}).total, 0);

  for (std::uint32_t n = 1; n <= kRefusalReasonCount; ++n) {
    EXPECT_NE(RefusalReasonText(RefusalReason(n)), "不明") << n;
    EXPECT_FALSE(RefusalAdvice(RefusalReason(n)).empty()) << n;
  }
  EXPECT_EQ(RefusalReasonText(RefusalReason(kRefusalReasonCount + 1)), "不明");

  const Refusal taro = MakeRefusal(0x01, "taro", RefusalReason::kNotOnClientList);
  for (const char* hit : {"", "  ", "00-A0-C9-12-34-01", "00:a0:c9", "0100a0", "TAR"}) {
    EXPECT_TRUE(MatchesClientFilter(taro, hit)) << hit;
  }
  for (const char* miss : {"00-A0-C9-12-34-02", "hanako", "zz"}) {
    EXPECT_FALSE(MatchesClientFilter(taro, miss)) << miss;
  }

  // The outcomes the reservation page has a rule for show that rule's own message.
  const struct {
    ReserveOutcome outcome;
    int message;
  } outcomes[] = {{ReserveOutcome::kReserved, MSG_NONE},
                  {ReserveOutcome::kOutsidePool, MSG_ADDRESS_NOT_RESERVABLE},
                  {ReserveOutcome::kAddressTaken, MSG_ADDRESS_RESERVED},
                  {ReserveOutcome::kClientHasReservation, MSG_CLIENT_HAS_RESERVATION},
                  {ReserveOutcome::kNoService, MSG_SERVICE_NOT_ANSWERING},
                  {ReserveOutcome::kRefused, MSG_RESERVE_REFUSED},
                  {ReserveOutcome(99), MSG_RESERVE_REFUSED}};
  for (const auto& o : outcomes) {
    EXPECT_EQ(ReserveOutcomeMessage(o.outcome), o.message) << static_cast<int>(o.outcome);
    EXPECT_EQ(PanelMessageText(o.message).empty(), o.message == MSG_NONE);
  }

  using testing::MakeLease;
  EXPECT_TRUE(ReserveAllowed(MakeLease(LEASE_GRACE, 1, 1, "", 9), STATUS_RUNNING));
  EXPECT_TRUE(ReserveAllowed(MakeLease(LEASE_OFFERED, 1, 1, "", 9), STATUS_RUNNING));
  EXPECT_FALSE(ReserveAllowed(MakeLease(LEASE_BOUND, 1, 1, "", 9), STATUS_PAUSED));
  EXPECT_FALSE(ReserveAllowed(MakeLease(LEASE_RESERVED, 1, 1, "", 0), STATUS_RUNNING));
  EXPECT_FALSE(ReserveAllowed(MakeLease(LEASE_BOUND, 1, 0, "", 9), STATUS_RUNNING));
}

}  // namespace
}  // namespace tamrix
