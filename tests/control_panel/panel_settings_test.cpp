#include <gtest/gtest.h>

#include "control_panel/panel_settings.h"
#include "platform/private_profile.h"
#include "storage/server_settings.h"
#include "tests/control_panel/recording_profile.h"
#include "tests/fakes/fake_file_system.h"

namespace tamrix {
namespace {

TEST(LoadPanelSettings, ReadsEveryKeyInOrderWithTheDefaults) {
  testing::RecordingProfile profile;
  const PanelSettings s = LoadPanelSettings(profile);
  // The order it writes them in; NTP is not the panel's.
  const std::vector<std::string> order = {
      "StartIPAddr", "EndIPAddr",  "SubnetMask", "Gateway",     "LeaseTime",    "ExtendTime",
      "DNSAddr1",    "DNSAddr2",   "DomainName", "WINSAddr1",   "WINSAddr2",    "ScopeID",
      "SMTP",        "POP3",       "NNTP",       "CheckClient", "OptSrvAddr",   "OptNACK",
      "OptUseLog",   "OptUsePing", "OptPingTry", "OptPingWait", "OptDHCPINFORM"};
  EXPECT_EQ(profile.reads, order);
  EXPECT_EQ(s.LeaseTime, -1);
  EXPECT_EQ(s.ExtendTime, 0);
  EXPECT_EQ(s.OptPingTry, 1);
  EXPECT_EQ(s.OptPingWait, 1000);
  EXPECT_EQ(s.CheckClient, 0);
  EXPECT_EQ(s.StartIPAddr, "");
}

TEST(StorePanelSettings, WritesTheSevenGroupsInOrderAndKeepsUnknownKeys) {
  testing::FakeFileSystem files;
  files.files["/w/TAMRIX.INI"] = "[TAMRIX]\r\nNTP=ntp.example\r\n";
  const auto profile = OpenPrivateProfile(files, "/w", "TAMRIX.INI");
  PanelSettings s;
  s.StartIPAddr = "192.168.0.1";
  s.EndIPAddr = "192.168.0.50";
  s.SubnetMask = "255.255.255.0";
  s.LeaseTime = 86400;
  s.CheckClient = 1;
  StorePanelSettings(*profile, s);
  EXPECT_EQ(files.files["/w/TAMRIX.INI"],
            "[TAMRIX]\r\nNTP=ntp.example\r\n"
            "StartIPAddr=192.168.0.1\r\nEndIPAddr=192.168.0.50\r\nSubnetMask=255.255.255.0\r\n"
            "Gateway=\r\nLeaseTime=86400\r\nExtendTime=0\r\nDNSAddr1=\r\nDNSAddr2=\r\n"
            "DomainName=\r\nWINSAddr1=\r\nWINSAddr2=\r\nScopeID=\r\nSMTP=\r\nPOP3=\r\nNNTP=\r\n"
            "CheckClient=1\r\nOptSrvAddr=0\r\nOptNACK=0\r\nOptUseLog=0\r\nOptUsePing=0\r\n"
            "OptPingTry=1\r\nOptPingWait=1000\r\nOptDHCPINFORM=0\r\n");
  // A second store rewrites the keys in place and the hand-written NTP line stays.
  s.Gateway = "192.168.0.254";
  StorePanelSettings(*profile, s, GROUP_RANGE);
  const std::string& text = files.files["/w/TAMRIX.INI"];
  EXPECT_NE(text.find("NTP=ntp.example\r\nStartIPAddr=192.168.0.1\r\n"), std::string::npos);
  EXPECT_NE(text.find("Gateway=192.168.0.254\r\nLeaseTime=86400"), std::string::npos);
  EXPECT_EQ(LoadPanelSettings(*profile).Gateway, "192.168.0.254");
}

// Both records name their fields after the keys, so one list of checks serves either.
template <typename Read>
void ExpectStoredValues(const Read& read, const PanelSettings& stored) {
  EXPECT_EQ(read.StartIPAddr, stored.StartIPAddr);
  EXPECT_EQ(read.EndIPAddr, stored.EndIPAddr);
  EXPECT_EQ(read.SubnetMask, stored.SubnetMask);
  EXPECT_EQ(read.Gateway, stored.Gateway);
  EXPECT_EQ(read.LeaseTime, stored.LeaseTime);
  EXPECT_EQ(read.ExtendTime, stored.ExtendTime);
  EXPECT_EQ(read.DNSAddr1, stored.DNSAddr1);
  EXPECT_EQ(read.DNSAddr2, stored.DNSAddr2);
  EXPECT_EQ(read.DomainName, stored.DomainName);
  EXPECT_EQ(read.WINSAddr1, stored.WINSAddr1);
  EXPECT_EQ(read.WINSAddr2, stored.WINSAddr2);
  EXPECT_EQ(read.ScopeID, stored.ScopeID);
  EXPECT_EQ(read.SMTP, stored.SMTP);
  EXPECT_EQ(read.POP3, stored.POP3);
  EXPECT_EQ(read.NNTP, stored.NNTP);
  EXPECT_EQ(read.CheckClient, stored.CheckClient);
  EXPECT_EQ(read.OptSrvAddr, stored.OptSrvAddr);
  EXPECT_EQ(read.OptNACK, stored.OptNACK);
  EXPECT_EQ(read.OptUseLog, stored.OptUseLog);
  EXPECT_EQ(read.OptUsePing, stored.OptUsePing);
  EXPECT_EQ(read.OptPingTry, stored.OptPingTry);
  EXPECT_EQ(read.OptPingWait, stored.OptPingWait);
  EXPECT_EQ(read.OptDHCPINFORM, stored.OptDHCPINFORM);
}

TEST(StorePanelSettings, TheServiceReadsBackEveryValueThePanelStores) {
  // No file yet: the panel's first write must create one the service accepts, under the
  // name the service finds.
  testing::FakeFileSystem files;
  const auto profile = OpenPrivateProfile(files, "/win", kPanelProfileName);
  // Every value differs from its default and from every other key's, so a key landing in
  // another field shows.
  PanelSettings s;
  s.StartIPAddr = "10.1.0.10";
  s.EndIPAddr = "10.1.0.200";
  s.SubnetMask = "255.255.0.0";
  s.Gateway = "10.1.0.1";
  s.LeaseTime = 86400;
  s.ExtendTime = -2;
  s.DNSAddr1 = "10.1.0.2";
  s.DNSAddr2 = "10.1.0.3";
  s.DomainName = "office.example";
  s.WINSAddr1 = "10.1.0.4";
  s.WINSAddr2 = "10.1.0.5";
  s.ScopeID = "scope";
  s.SMTP = "smtp.office.example";
  s.POP3 = "pop.office.example";
  s.NNTP = "news.office.example";
  s.CheckClient = 1;
  s.OptSrvAddr = 2;
  s.OptNACK = 3;
  s.OptUseLog = 4;
  s.OptUsePing = 5;
  s.OptPingTry = 6;
  s.OptPingWait = 250;
  s.OptDHCPINFORM = 7;
  StorePanelSettings(*profile, s);

  const ServerSettings service = LoadServerSettings(files, "/win");
  ExpectStoredValues(service, s);
  EXPECT_EQ(service.NTP, "");
  ExpectStoredValues(LoadPanelSettings(*profile), s);
}

}  // namespace
}  // namespace tamrix
