#include <gtest/gtest.h>

#include "control_panel/panel_settings.h"
#include "platform/private_profile.h"
#include "tests/control_panel/recording_profile.h"
#include "tests/fakes/fake_file_system.h"

namespace tamrix {
namespace {

TEST(LoadPanelSettings, ReadsEveryKeyInOrderWithTheDefaults) {
  testing::RecordingProfile profile;
  const PanelSettings s = LoadPanelSettings(profile);
  const std::vector<std::string> order = {
      "StartIPAddr", "EndIPAddr", "SubnetMask", "Gateway",    "DNSAddr1",    "DNSAddr2",
      "DomainName",  "WINSAddr1", "WINSAddr2",  "ScopeID",    "SMTP",        "POP3",
      "NNTP",        "LeaseTime", "ExtendTime", "OptSrvAddr", "OptNACK",     "OptUseLog",
      "OptUsePing",  "OptPingTry", "OptPingWait", "OptDHCPINFORM", "CheckClient"};
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

}  // namespace
}  // namespace tamrix
