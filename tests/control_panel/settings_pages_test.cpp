#include <gtest/gtest.h>

#include "control_panel/duration_page.h"
#include "control_panel/ip_addr_page.h"
#include "control_panel/mail_news_page.h"
#include "control_panel/option_page.h"
#include "control_panel/server_pair_page.h"
#include "tests/control_panel/recording_profile.h"
#include "tests/fakes/fake_host_lookup.h"

namespace tamrix {

std::ostream& operator<<(std::ostream& out, const PageCheck& c) {
  return out << "{kind " << c.kind << ", message " << c.message << "}";
}

namespace {

TEST(IpAddrPage, ValidationSequence) {
  struct Case {
    IpAddrPage page;
    PageCheck expected;
  };
  const PanelSettings fresh;
  const Case cases[] = {
      {{"", "", "", ""}, PageCheck::Refuse(112)},
      {{"192.168.0.1", "", "", ""}, PageCheck::Refuse(113)},
      {{"192.168.0.1", "192.168.0.9", "", ""}, PageCheck::Refuse(114)},
      {{"192.168.0.x", "192.168.0.9", "255.255.255.0", ""}, PageCheck::Refuse(115)},
      {{"0", "192.168.0.9", "255.255.255.0", ""}, PageCheck::Refuse(115)},
      {{"192.168.0.1", "300.0.0.1", "255.255.255.0", ""}, PageCheck::Refuse(116)},
      {{"192.168.0.1", "192.168.0.9", "255.255.255.255", ""}, PageCheck::Refuse(117)},
      {{"192.168.0.1", "192.168.0.9", "255.255.255.0", "1.2.3.4.5"}, PageCheck::Refuse(123)},
      {{"192.168.0.1", "192.168.1.0", "255.255.254.0", ""}, PageCheck::Pass()},  // 256
      {{"192.168.0.1", "192.168.1.1", "255.255.254.0", ""}, PageCheck::Refuse(118)},  // 257
      {{"192.168.0.9", "192.168.0.1", "255.255.255.0", ""}, PageCheck::Refuse(118)},
      {{"192.168.0.5", "192.168.0.5", "255.255.255.0", "192.168.0.254"}, PageCheck::Pass()},
      {{"0xC0A80001", "192.168.0.2", "255.255.255.0", ""}, PageCheck::Pass()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.page.Validate(fresh), c.expected) << c.page.start << " " << c.page.end;
  }
}

TEST(IpAddrPage, AsksBeforeChangingAStoredRangeOnly) {
  PanelSettings stored;
  stored.StartIPAddr = "192.168.0.1";
  stored.EndIPAddr = "192.168.0.50";
  stored.SubnetMask = "255.255.255.0";
  IpAddrPage page = IpAddrPage::Build(stored);
  page.gateway = "192.168.0.254";
  EXPECT_EQ(page.Validate(stored), PageCheck::Pass());
  page.start = "192.168.0.2";
  EXPECT_EQ(page.Validate(stored), PageCheck::Ask(102));
  page = IpAddrPage::Build(stored);
  page.end = "192.168.0.051";  // the same address, but other text
  EXPECT_EQ(page.Validate(stored), PageCheck::Ask(102));
}

TEST(DurationPage, ValidationSequence) {
  struct Case {
    const char* lease[3];
    bool extend;
    const char* grace[3];
    int message;
  };
  const Case cases[] = {
      {{"0", "0", "0"}, false, {"", "", ""}, 121},
      {{"", "", ""}, false, {"", "", ""}, 121},
      {{"0", "0", "1"}, false, {"", "", ""}, 0},
      {{"0", "24", "0"}, false, {"", "", ""}, 119},
      {{"0", "0", "60"}, false, {"", "", ""}, 119},
      {{"9999", "23", "59"}, false, {"", "", ""}, 0},
      {{"1", "0", "0"}, true, {"0", "0", "0"}, 122},
      {{"1", "0", "0"}, true, {"0", "24", "0"}, 120},
      {{"1", "0", "0"}, true, {"0", "0", "60"}, 120},
      {{"1", "0", "0"}, true, {"", "", "5"}, 0},
      {{"0", "0", "0"}, true, {"0", "24", "0"}, 121},  // the lease is checked first
  };
  for (const auto& c : cases) {
    DurationPage page;
    page.ChooseLimited();
    page.leaseDays = c.lease[0];
    page.leaseHours = c.lease[1];
    page.leaseMinutes = c.lease[2];
    page.SetExtend(c.extend);
    page.extendDays = c.grace[0];
    page.extendHours = c.grace[1];
    page.extendMinutes = c.grace[2];
    const PageCheck check = page.Validate();
    EXPECT_EQ(check.message, c.message) << c.lease[0] << "/" << c.lease[1] << "/" << c.lease[2];
  }
}

TEST(DurationPage, BuildsApplyAndEnabling) {
  PanelSettings s;
  s.LeaseTime = 86400 + 3600 + 60 + 1;
  s.ExtendTime = 0;
  DurationPage page = DurationPage::Build(s);
  EXPECT_TRUE(page.limited);
  EXPECT_EQ(page.leaseDays + "/" + page.leaseHours + "/" + page.leaseMinutes, "1/1/1");
  EXPECT_EQ(page.extendDays, "");
  EXPECT_TRUE(page.LeaseFieldsEnabled());
  EXPECT_FALSE(page.ExtendFieldsEnabled());
  testing::RecordingProfile profile;
  page.Apply(s, profile);
  EXPECT_EQ(s.LeaseTime, 90060);  // the second is dropped
  EXPECT_EQ(profile.writes, (std::vector<std::string>{"LeaseTime", "ExtendTime"}));

  page.leaseDays = "0";
  page.leaseHours = "0";
  page.leaseMinutes = "1";
  page.Apply(s, profile);
  EXPECT_EQ(s.LeaseTime, 60);
}

TEST(DurationPage, UnlimitedClearsTheExtension) {
  PanelSettings s;
  s.LeaseTime = 3600;
  s.ExtendTime = 600;
  DurationPage page = DurationPage::Build(s);
  EXPECT_TRUE(page.ExtendFieldsEnabled());
  EXPECT_EQ(page.extendMinutes, "10");
  EXPECT_TRUE(page.ChooseUnlimited());
  EXPECT_FALSE(page.ChooseUnlimited());  // a second click changes nothing
  EXPECT_FALSE(page.LeaseFieldsEnabled());
  EXPECT_FALSE(page.ExtendFieldsEnabled());
  EXPECT_TRUE(page.Validate().passed());
  testing::RecordingProfile profile;
  page.Apply(s, profile);
  EXPECT_EQ(s.LeaseTime, -1);
  EXPECT_EQ(s.ExtendTime, 0);
  EXPECT_EQ(DurationPage::Build(s).leaseDays, "");
}

TEST(ServerPairPage, ValidationSequenceOfBothPages) {
  struct Case {
    bool use;
    const char* primary;
    const char* secondary;
    int dns, wins;
  };
  const Case cases[] = {
      {false, "", "junk", 0, 0},
      {true, "", "", 108, 103},
      {true, "1.2.3", "", 0, 0},  // short forms are addresses too
      {true, "a.b", "", 109, 105},
      {true, "255.255.255.255", "", 109, 105},
      {true, "10.0.0.1", "", 0, 0},
      {true, "10.0.0.1", "10.0.0.300", 110, 106},
      {true, "10.0.0.1", "10.0.0.1", 111, 107},
      {true, "10.0.0.1", "10.1", 111, 107},  // equal as addresses, not as text
      {true, "10.0.0.1", "10.0.0.2", 0, 0},
  };
  for (const auto& c : cases) {
    ServerPairPage page{c.use, c.primary, c.secondary, "x"};
    EXPECT_EQ(page.Validate(kDnsMessages).message, c.dns) << c.primary << " " << c.secondary;
    EXPECT_EQ(page.Validate(kWinsMessages).message, c.wins) << c.primary << " " << c.secondary;
  }
}

TEST(ServerPairPage, SwitchedOffEmptiesItsKeys) {
  PanelSettings s;
  s.DNSAddr1 = "10.0.0.1";
  s.DNSAddr2 = "10.0.0.2";
  s.DomainName = "example";
  s.WINSAddr1 = "10.0.0.3";
  s.ScopeID = "scope";
  ServerPairPage dns = ServerPairPage::BuildDns(s);
  ServerPairPage wins = ServerPairPage::BuildWins(s);
  EXPECT_TRUE(dns.use);
  EXPECT_TRUE(dns.SetUse(false));
  EXPECT_FALSE(dns.FieldsEnabled());
  testing::RecordingProfile profile;
  dns.ApplyDns(s, profile);
  EXPECT_EQ(s.DNSAddr1 + s.DNSAddr2 + s.DomainName, "");
  wins.use = false;
  wins.ApplyWins(s, profile);
  EXPECT_EQ(s.WINSAddr1 + s.WINSAddr2 + s.ScopeID, "");
  EXPECT_EQ(profile.writes, (std::vector<std::string>{"DNSAddr1", "DNSAddr2", "DomainName",
                                                      "WINSAddr1", "WINSAddr2", "ScopeID"}));
}

TEST(OptionPage, ValidationSequence) {
  struct Case {
    bool usePing;
    const char* wait;
    const char* tries;
    PageCheck expected;
  };
  const Case cases[] = {
      {false, "", "", PageCheck::Pass()},
      {true, "", "", PageCheck::Refuse(136)},
      {true, "1000", "", PageCheck::Refuse(135)},
      {true, "", "3", PageCheck::Refuse(136)},
      {true, "0", "0", PageCheck::Refuse(137)},
      {true, "1000", "0", PageCheck::Refuse(133)},
      {true, "99999999999", "1", PageCheck::Refuse(137)},
      {true, "1000", "3", PageCheck::Pass()},
      {true, "1000", "4", PageCheck::Ask(134)},
      {true, "3001", "1", PageCheck::Ask(134)},
  };
  for (const auto& c : cases) {
    OptionPage page;
    page.usePing = c.usePing;
    page.pingWait = c.wait;
    page.pingTry = c.tries;
    EXPECT_EQ(page.Validate(), c.expected) << c.wait << " x " << c.tries;
  }
}

TEST(OptionPage, FieldsShowOnlyWithConflictDetectionAndApplyAsNumbers) {
  PanelSettings s;
  s.OptPingTry = 2;
  s.OptPingWait = 500;
  OptionPage page = OptionPage::Build(s);
  EXPECT_EQ(page.pingWait, "");
  EXPECT_FALSE(page.PingFieldsEnabled());
  testing::RecordingProfile profile;
  page.nack = true;
  page.Apply(s, profile);
  EXPECT_EQ(s.OptPingTry, 0);  // empty fields store 0
  EXPECT_EQ(s.OptNACK, 1);
  s.OptUsePing = 1;
  s.OptPingTry = 2;
  s.OptPingWait = 500;
  page = OptionPage::Build(s);
  EXPECT_EQ(page.pingWait + "/" + page.pingTry, "500/2");
}

TEST(OptionPage, SwitchingTheProbeOnFillsOnlyEmptyFields) {
  OptionPage page;
  page.SetUsePing(true);
  EXPECT_EQ(page.pingWait + "/" + page.pingTry, "1000/1");
  EXPECT_EQ(page.Validate(), PageCheck::Pass());
  page.pingWait = "250";
  page.pingTry = "";
  page.SetUsePing(false);
  EXPECT_EQ(page.pingWait + "/" + page.pingTry, "250/");
  page.SetUsePing(true);
  EXPECT_EQ(page.pingWait + "/" + page.pingTry, "250/1");
}

TEST(MailNewsPage, RefusesNamesThatDoNotResolveInFieldOrder) {
  testing::FakeHostLookup hosts;
  hosts.names["mail.example"] = 0x0A000001;
  struct Case {
    MailNewsPage page;
    int message;
  };
  const Case cases[] = {
      {{"", "", ""}, 0},
      {{"mail.example", "mail.example", "mail.example"}, 0},
      {{"nowhere", "nowhere", "nowhere"}, 139},
      {{"mail.example", "nowhere", "nowhere"}, 140},
      {{"", "", "nowhere"}, 141},
  };
  for (const auto& c : cases) EXPECT_EQ(c.page.Validate(hosts).message, c.message);
}

}  // namespace
}  // namespace tamrix
