#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/dhcp_message.h"
#include "engine/reply_writer.h"
#include "tests/engine/dhcp_packets.h"

namespace tamrix {
namespace {

using testing::Be32;
using testing::Be32Pair;
using testing::BigEndianAt;
using testing::kTestMac;
using testing::PacketBuilder;
using testing::WalkOptions;
namespace off = dhcp_offset;
namespace opt = dhcp_option;

ParsedRequest Parse(const std::vector<std::uint8_t>& datagram) {
  return ParseRequest(DhcpMessage::FromDatagram(datagram));
}

ClientId EthernetId() {
  return MakeClientId(1, kTestMac.data(), kTestMac.size());
}

// ---- Reading requests -------------------------------------------------------------------

TEST(ParseRequest, ReadsAGoodRequest) {
  const auto request = Parse(PacketBuilder()
                                 .Type(DHCPREQUEST)
                                 .HostName("pc01")
                                 .Requested(0xC0A80064)
                                 .Option(opt::kParameterRequestList, {1, 3, 6, 15})
                                 .Ciaddr(0x0A000001)
                                 .Giaddr(0x0A000002)
                                 .Build());
  EXPECT_EQ(request.client, EthernetId());
  EXPECT_EQ(request.client.length, 7);
  EXPECT_EQ(request.messageType, DHCPREQUEST);
  EXPECT_EQ(request.hostName, "pc01");
  EXPECT_EQ(request.requestedAddress, 0xC0A80064u);
  EXPECT_TRUE(request.hasRequestedOption);
  EXPECT_EQ(request.requestMask,
            kRequestSubnetMask | kRequestRouter | kRequestNameServers | kRequestDomainName);
  EXPECT_EQ(request.clientAddress, 0x0A000001u);
  EXPECT_EQ(request.relayAddress, 0x0A000002u);
}

// Each case changes one thing of a good DISCOVER and names what the parse must then give.
TEST(ParseRequest, OneChangeAtATime) {
  struct Case {
    const char* what;
    PacketBuilder packet;
    std::uint8_t type;
    RequestMask mask;
  };
  const auto discover = [] { return PacketBuilder().Type(DHCPDISCOVER); };
  const Case cases[] = {
      {"good", discover(), DHCPDISCOVER, 0},
      {"no cookie makes a BOOTP request", discover().NoCookie(), kBootpRequest, 0},
      {"end first means no options", PacketBuilder().Raw({255}).Type(DHCPDISCOVER).Option(55, {3}),
       kBootpRequest, 0},
      {"pads are skipped one by one",
       PacketBuilder().Pads(5).Type(DHCPDISCOVER).Pads(3).Option(55, {3}), DHCPDISCOVER,
       kRequestRouter},
      // 240 + 195 pads: option 53 begins at 435 and is still read.
      {"option at 435 is read", PacketBuilder().Pads(195).Type(DHCPINFORM).PadTo(548), DHCPINFORM,
       0},
      {"option at 436 is never read", PacketBuilder().Pads(196).Type(DHCPINFORM).PadTo(548),
       kBootpRequest, 0},
      {"an option pushed to 436 by a long one is not read",
       PacketBuilder().Option(99, std::vector<std::uint8_t>(194, 7)).Type(DHCPINFORM).PadTo(548),
       kBootpRequest, 0},
      {"later type overrides", discover().Type(DHCPINFORM), DHCPINFORM, 0},
      {"option 55 lists accumulate", discover().Option(55, {3, 6}).Option(55, {15, 42}),
       DHCPDISCOVER,
       kRequestRouter | kRequestNameServers | kRequestDomainName | kRequestNtpServers},
      {"every listed code sets its bit",
       discover().Option(55, {1, 3, 6, 15, 44, 46, 47, 69, 70, 71, 42, 2, 12, 255}), DHCPDISCOVER,
       0x7FF},
      {"type of length 0 is passed over", discover().Option(53, {}), DHCPDISCOVER, 0},
      {"option running past the datagram ends the walk, earlier ones stand",
       discover().Option(55, {3}).Raw({55, 40, 6}).NoEnd(), DHCPDISCOVER, kRequestRouter},
      {"a code without its length byte ends the walk", discover().Raw({53}).NoEnd(), DHCPDISCOVER,
       0},
  };
  for (const auto& c : cases) {
    const auto request = Parse(c.packet.Build());
    EXPECT_EQ(request.messageType, c.type) << c.what;
    EXPECT_EQ(request.requestMask, c.mask) << c.what;
    EXPECT_EQ(request.client, EthernetId()) << c.what;
  }
}

TEST(ParseRequest, HostNameIsTakenWholeUpToAZeroByte) {
  const std::string name(255, 'h');
  EXPECT_EQ(Parse(PacketBuilder().HostName(name).Build()).hostName, name);
  EXPECT_EQ(Parse(PacketBuilder().Option(opt::kHostName, {'p', 'c', 0, 'x'}).Build()).hostName,
            "pc");
}

TEST(ParseRequest, ClientIdentifierFromHeaderAndOption61) {
  struct Case {
    const char* what;
    PacketBuilder packet;
    std::uint8_t length;
    std::vector<std::uint8_t> bytes;  // the stored bytes that must match
  };
  std::vector<std::uint8_t> seventeen(17), eighteen(18), twenty(20);
  for (std::size_t i = 0; i < twenty.size(); ++i) {
    twenty[i] = static_cast<std::uint8_t>(0x10 + i);
    if (i < 17) seventeen[i] = twenty[i];
    if (i < 18) eighteen[i] = twenty[i];
  }
  std::vector<std::uint8_t> chaddr(16);
  for (std::size_t i = 0; i < 16; ++i) chaddr[i] = static_cast<std::uint8_t>(0xA0 + i);
  std::vector<std::uint8_t> typeAndChaddr{6};
  typeAndChaddr.insert(typeAndChaddr.end(), chaddr.begin(), chaddr.end());

  const Case cases[] = {
      {"htype 1 hlen 6", PacketBuilder(), 7, {1, 0x00, 0xA0, 0xC9, 0x12, 0x34, 0x56}},
      {"hlen 0 keeps the type byte", PacketBuilder().Field8(off::kHlen, 0), 1, {1}},
      {"option 61 replaces", PacketBuilder().Option(61, {1, 2, 3}), 3, {1, 2, 3}},
      {"option 61 of 17 bytes", PacketBuilder().Option(61, seventeen), 17, seventeen},
      {"option 61 of 18 keeps length, 17 bytes", PacketBuilder().Option(61, eighteen), 18,
       seventeen},
      {"option 61 of 20", PacketBuilder().Option(61, twenty), 20, seventeen},
      {"later option 61 overrides",
       PacketBuilder().Option(61, {9, 9}).Option(61, {1, 2, 3}),
       3,
       {1, 2, 3}},
      {"hlen 16 takes all of chaddr",
       PacketBuilder().Field8(off::kHtype, 6).Field8(off::kHlen, 16).Mac(chaddr), 17,
       typeAndChaddr},
      {"hlen 40 takes 16 chaddr bytes and stays over-long",
       PacketBuilder().Field8(off::kHtype, 6).Field8(off::kHlen, 40).Mac(chaddr), 41,
       typeAndChaddr},
      {"hlen 255 does not wrap to an empty identifier",
       PacketBuilder().Field8(off::kHtype, 6).Field8(off::kHlen, 255).Mac(chaddr), 255,
       typeAndChaddr},
  };
  for (const auto& c : cases) {
    const auto request = Parse(PacketBuilder(c.packet).Type(DHCPDISCOVER).Build());
    EXPECT_EQ(request.client.length, c.length) << c.what;
    EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), request.client.bytes.begin())) << c.what;
  }
  EXPECT_TRUE(Parse(PacketBuilder().Option(61, seventeen).Build()).client.IsValid());
  EXPECT_FALSE(Parse(PacketBuilder().Option(61, eighteen).Build()).client.IsValid());
  EXPECT_FALSE(Parse(PacketBuilder().Field8(off::kHlen, 17).Build()).client.IsValid());
}

TEST(ParseRequest, RequestedAddressRules) {
  struct Case {
    const char* what;
    PacketBuilder packet;
    std::uint32_t requested;
    bool hasOption;
  };
  const Case cases[] = {
      {"option 50", PacketBuilder().Requested(0xC0A80005), 0xC0A80005, true},
      {"ciaddr without option 50", PacketBuilder().Ciaddr(0xC0A80007), 0xC0A80007, false},
      {"option 50 wins over ciaddr", PacketBuilder().Ciaddr(0xC0A80007).Requested(0xC0A80005),
       0xC0A80005, true},
      {"neither", PacketBuilder(), 0, false},
      {"short option 50 is ignored", PacketBuilder().Option(50, {192, 168, 0}), 0, false},
      {"short option 50 leaves ciaddr", PacketBuilder().Ciaddr(0xC0A80007).Option(50, {1}),
       0xC0A80007, false},
      {"short later copy leaves the earlier",
       PacketBuilder().Requested(0xC0A80005).Option(50, {1, 2}), 0xC0A80005, true},
      {"long option 50 gives its first 4 bytes", PacketBuilder().Option(50, {192, 168, 0, 9, 1, 1}),
       0xC0A80009, true},
      {"option 50 without cookie is not read", PacketBuilder().Requested(0xC0A80005).NoCookie(), 0,
       false},
  };
  for (const auto& c : cases) {
    const auto request = Parse(PacketBuilder(c.packet).Type(DHCPREQUEST).Build());
    EXPECT_EQ(request.requestedAddress, c.requested) << c.what;
    EXPECT_EQ(request.hasRequestedOption, c.hasOption) << c.what;
  }
}

TEST(ParseRequest, ShortAndOversizedDatagrams) {
  // Only the header: reads as zeros beyond its end, no options.
  auto full = PacketBuilder().Type(DHCPDISCOVER).Build();
  const auto shortRequest = Parse({full.begin(), full.begin() + 100});
  EXPECT_EQ(shortRequest.messageType, kBootpRequest);
  EXPECT_EQ(shortRequest.client, EthernetId());

  // Datagram of 0 bytes: an identifier of type 0, no crash.
  EXPECT_EQ(Parse({}).client.length, 1);

  // Longer than 548: cut to 548 and handled like any other.
  auto big = PacketBuilder().Type(DHCPDISCOVER).PadTo(1500).Build();
  const auto message = DhcpMessage::FromDatagram(big);
  EXPECT_EQ(message.received, kDhcpMessageSize);
  EXPECT_EQ(ParseRequest(message).messageType, DHCPDISCOVER);
}

// ---- Writing replies --------------------------------------------------------------------

ReplyValues AllConfigured() {
  ReplyValues v;
  v.subnetMask = 0xFFFFFF00;
  v.router = 0xC0A80001;
  v.nameServers[0] = 0xC0A80002;
  v.nameServers[1] = 0xC0A80003;
  v.domainName = "example";
  v.netbiosNameServers[0] = 0xC0A80004;
  v.netbiosNameServers[1] = 0xC0A80005;
  v.netbiosScope = "scope";
  v.smtp = 0xC0A80006;
  v.pop3 = 0xC0A80007;
  v.nntp = 0xC0A80008;
  v.ntp = 0xC0A80009;
  v.leaseTime = 3600;
  v.renewalTime = 1800;
  v.rebindingTime = 3150;
  v.serverIdentifier = 0xC0A800FE;
  return v;
}

DhcpMessage RequestMessage(PacketBuilder packet) {
  return DhcpMessage::FromDatagram(packet.PadTo(300).Build());
}

constexpr RequestMask kAll = 0x7FF;

TEST(WriteDhcpReply, OfferWithEveryOptionAtItsOffset) {
  auto message = RequestMessage(PacketBuilder().Type(DHCPDISCOVER));
  ASSERT_TRUE(
      WriteDhcpReply(message, DhcpReplyKind::kOffer, {0xC0A80064, false}, kAll, AllConfigured()));
  const auto written = WalkOptions(message.bytes);
  struct Expect {
    std::size_t offset;
    std::uint8_t code;
    std::vector<std::uint8_t> data;
  };
  const Expect expected[] = {
      {240, 53, {2}},
      {243, 1, Be32(0xFFFFFF00)},
      {249, 51, Be32(3600)},
      {255, 58, Be32(1800)},
      {261, 59, Be32(3150)},
      {267, 54, Be32(0xC0A800FE)},
      {273, 3, Be32(0xC0A80001)},
      {279, 6, Be32Pair(0xC0A80002, 0xC0A80003)},
      {289, 15, {'e', 'x', 'a', 'm', 'p', 'l', 'e', 0}},
      {299, 44, Be32Pair(0xC0A80004, 0xC0A80005)},
      {309, 47, {'s', 'c', 'o', 'p', 'e', 0}},
      {317, 46, {8}},
      {320, 69, Be32(0xC0A80006)},
      {326, 70, Be32(0xC0A80007)},
      {332, 71, Be32(0xC0A80008)},
      {338, 42, Be32(0xC0A80009)},
  };
  ASSERT_EQ(written.options.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(written.options[i].offset, expected[i].offset) << "option " << int(expected[i].code);
    EXPECT_EQ(written.options[i].code, expected[i].code);
    EXPECT_EQ(written.options[i].data, expected[i].data) << "option " << int(expected[i].code);
  }
  EXPECT_EQ(written.endOffset, 344u);
  EXPECT_EQ(BigEndianAt(message.bytes, off::kYiaddr), 0xC0A80064u);
}

TEST(WriteDhcpReply, InformAnswerHasNoLeaseTimes) {
  auto message = RequestMessage(PacketBuilder().Type(DHCPINFORM).Ciaddr(0xC0A80064));
  ASSERT_TRUE(WriteDhcpReply(message, DhcpReplyKind::kInformAnswer, {0, false}, kRequestRouter,
                             AllConfigured()));
  const auto written = WalkOptions(message.bytes);
  EXPECT_EQ(written.Codes(), (std::vector<std::uint8_t>{53, 1, 54, 3}));
  EXPECT_EQ(written.Find(53)->data, std::vector<std::uint8_t>{5});
  EXPECT_EQ(written.Find(54)->offset, 249u);
  EXPECT_EQ(written.Find(3)->offset, 255u);
  EXPECT_EQ(BigEndianAt(message.bytes, off::kYiaddr), 0u);
  EXPECT_EQ(BigEndianAt(message.bytes, off::kCiaddr), 0u);
}

TEST(WriteDhcpReply, RequestedOptionsNeedBothTheBitAndAValue) {
  struct Case {
    RequestMask bit;
    std::uint8_t code;
    void (*unconfigure)(ReplyValues&);
  };
  const Case cases[] = {
      {kRequestRouter, 3, [](ReplyValues& v) { v.router = 0; }},
      {kRequestNameServers, 6, [](ReplyValues& v) { v.nameServers[0] = v.nameServers[1] = 0; }},
      {kRequestDomainName, 15, [](ReplyValues& v) { v.domainName = {}; }},
      {kRequestNetbiosNameServers, 44,
       [](ReplyValues& v) { v.netbiosNameServers[0] = v.netbiosNameServers[1] = 0; }},
      {kRequestNetbiosScope, 47, [](ReplyValues& v) { v.netbiosScope = {}; }},
      {kRequestSmtpServer, 69, [](ReplyValues& v) { v.smtp = 0; }},
      {kRequestPop3Server, 70, [](ReplyValues& v) { v.pop3 = 0; }},
      {kRequestNntpServer, 71, [](ReplyValues& v) { v.nntp = 0; }},
      {kRequestNtpServers, 42, [](ReplyValues& v) { v.ntp = 0; }},
  };
  for (const auto& c : cases) {
    ReplyValues unconfigured = AllConfigured();
    c.unconfigure(unconfigured);
    const struct {
      RequestMask mask;
      ReplyValues values;
      bool present;
    } variants[] = {{c.bit, AllConfigured(), true},
                    {static_cast<RequestMask>(kAll & ~c.bit), AllConfigured(), false},
                    {c.bit, unconfigured, false}};
    for (const auto& variant : variants) {
      auto message = RequestMessage(PacketBuilder().Type(DHCPDISCOVER));
      ASSERT_TRUE(
          WriteDhcpReply(message, DhcpReplyKind::kOffer, {1, false}, variant.mask, variant.values));
      EXPECT_EQ(WalkOptions(message.bytes).Find(c.code) != nullptr, variant.present)
          << "option " << int(c.code) << " mask " << variant.mask;
    }
  }
}

TEST(WriteDhcpReply, NodeTypeIsAlways8WhenRequested) {
  ReplyValues none;
  none.subnetMask = 0xFFFFFF00;
  none.serverIdentifier = 0xFFFFFFFF;
  auto message = RequestMessage(PacketBuilder().Type(DHCPDISCOVER));
  ASSERT_TRUE(WriteDhcpReply(message, DhcpReplyKind::kOffer, {1, false}, kAll, none));
  const auto written = WalkOptions(message.bytes);
  EXPECT_EQ(written.Codes(), (std::vector<std::uint8_t>{53, 1, 51, 58, 59, 54, 46}));
  EXPECT_EQ(written.Find(46)->data, std::vector<std::uint8_t>{8});
}

TEST(WriteDhcpReply, TwoAddressOptionsHaveLength4Or8) {
  ReplyValues single = AllConfigured();
  single.nameServers[1] = 0;
  single.netbiosNameServers[1] = 0;
  for (const auto& [values, length] : {std::pair{AllConfigured(), 8u}, std::pair{single, 4u}}) {
    auto message = RequestMessage(PacketBuilder().Type(DHCPDISCOVER));
    ASSERT_TRUE(WriteDhcpReply(message, DhcpReplyKind::kOffer, {1, false}, kAll, values));
    const auto written = WalkOptions(message.bytes);
    EXPECT_EQ(written.Find(6)->data.size(), length);
    EXPECT_EQ(written.Find(44)->data.size(), length);
  }
}

TEST(WriteDhcpReply, NakIsType6AndEndOnly) {
  auto message = RequestMessage(
      PacketBuilder().Type(DHCPREQUEST).Requested(0x0A000005).Option(55, {3, 6, 15}));
  ASSERT_TRUE(WriteDhcpReply(message, DhcpReplyKind::kNak, {0x0A000005, false}, kAll, {}));
  const auto written = WalkOptions(message.bytes);
  EXPECT_EQ(written.Codes(), std::vector<std::uint8_t>{53});
  EXPECT_EQ(written.Find(53)->data, std::vector<std::uint8_t>{6});
  EXPECT_EQ(written.endOffset, 243u);
  EXPECT_EQ(BigEndianAt(message.bytes, off::kYiaddr), 0x0A000005u);
}

TEST(WriteDhcpReply, RefusedWithoutMaskOrServerIdentifierAndLeavesMessageAlone) {
  struct Case {
    DhcpReplyKind kind;
    std::uint32_t mask, serverId;
    bool written;
  };
  const Case cases[] = {
      {DhcpReplyKind::kOffer, 0, 1, false},        {DhcpReplyKind::kOffer, 1, 0, false},
      {DhcpReplyKind::kAck, 0, 1, false},          {DhcpReplyKind::kAck, 1, 0, false},
      {DhcpReplyKind::kInformAnswer, 0, 1, false}, {DhcpReplyKind::kInformAnswer, 1, 0, false},
      {DhcpReplyKind::kNak, 0, 0, true},           {DhcpReplyKind::kOffer, 1, 1, true},
  };
  for (const auto& c : cases) {
    ReplyValues values = AllConfigured();
    values.subnetMask = c.mask;
    values.serverIdentifier = c.serverId;
    auto message = RequestMessage(PacketBuilder().Type(DHCPDISCOVER));
    const auto before = message.bytes;
    EXPECT_EQ(WriteDhcpReply(message, c.kind, {1, false}, kAll, values), c.written);
    if (!c.written) {
      EXPECT_EQ(message.bytes, before);
    }
  }
  auto message = RequestMessage(PacketBuilder());
  ReplyValues noMask = AllConfigured();
  noMask.subnetMask = 0;
  EXPECT_FALSE(WriteBootpReply(message, {1, false}, "pc", noMask));
  ReplyValues noServer = AllConfigured();
  noServer.serverIdentifier = 0;
  EXPECT_TRUE(WriteBootpReply(message, {1, false}, "pc", noServer));
}

TEST(WriteDhcpReply, HeaderRules) {
  struct Case {
    const char* what;
    std::uint32_t giaddr;
    bool toRelay;
    std::uint16_t flags;
    std::uint32_t replyGiaddr;
  };
  const Case cases[] = {
      {"direct: flags cleared", 0, false, 0, 0},
      {"relayed to the agent: flags and giaddr kept", 0x0A000001, true, 0x8000, 0x0A000001},
      {"relayed but sent to ciaddr: flags kept, giaddr 0", 0x0A000001, false, 0x8000, 0},
  };
  for (const auto& c : cases) {
    auto message = RequestMessage(PacketBuilder()
                                      .Type(DHCPDISCOVER)
                                      .Field8(off::kHtype, 6)
                                      .Field8(off::kHlen, 10)
                                      .Field8(off::kHops, 3)
                                      .Field16(off::kSecs, 77)
                                      .Field16(off::kFlags, 0x8000)
                                      .Ciaddr(0x0B000001)
                                      .Field32(off::kYiaddr, 0x0B000002)
                                      .Field32(off::kSiaddr, 0x0B000003)
                                      .Giaddr(c.giaddr)
                                      .Field8(off::kSname, 's')
                                      .Field8(off::kFile, 'f'));
    const auto request = message.bytes;
    ASSERT_TRUE(WriteDhcpReply(message, DhcpReplyKind::kOffer, {0xC0A80064, c.toRelay}, 0,
                               AllConfigured()));
    EXPECT_EQ(message.U8(off::kOp), 2) << c.what;
    EXPECT_EQ(message.U8(off::kHtype), 1) << c.what;
    EXPECT_EQ(message.U8(off::kHlen), 6) << c.what;
    EXPECT_EQ(message.U8(off::kHops), 0) << c.what;
    EXPECT_EQ(message.U16(off::kSecs), 0) << c.what;
    EXPECT_EQ(message.U16(off::kFlags), c.flags) << c.what;
    EXPECT_EQ(message.U32(off::kCiaddr), 0u) << c.what;
    EXPECT_EQ(message.U32(off::kYiaddr), 0xC0A80064u) << c.what;
    EXPECT_EQ(message.U32(off::kSiaddr), 0u) << c.what;
    EXPECT_EQ(message.U32(off::kGiaddr), c.replyGiaddr) << c.what;
    EXPECT_EQ(message.U32(off::kXid), 0x12345678u) << c.what;
    EXPECT_TRUE(std::equal(request.begin() + off::kChaddr, request.begin() + off::kCookie,
                           message.bytes.begin() + off::kChaddr))
        << c.what;
    EXPECT_TRUE(
        std::equal(kMagicCookie.begin(), kMagicCookie.end(), message.bytes.begin() + off::kCookie));
  }
}

TEST(WriteBootpReply, SiaddrHostNameWithoutZeroAndNoDhcpOptions) {
  auto message = DhcpMessage::FromDatagram(PacketBuilder()
                                               .NoCookie()
                                               .Field8(off::kHops, 2)
                                               .Field16(off::kSecs, 9)
                                               .Field16(off::kFlags, 0x8000)
                                               .PadTo(300)
                                               .Build());
  ASSERT_TRUE(WriteBootpReply(message, {0xC0A80010, false}, "printer", AllConfigured()));
  EXPECT_EQ(message.U32(off::kSiaddr), 0xC0A800FEu);
  EXPECT_EQ(message.U32(off::kYiaddr), 0xC0A80010u);
  EXPECT_EQ(message.U8(off::kHops), 2);
  EXPECT_EQ(message.U16(off::kSecs), 9);
  EXPECT_EQ(message.U16(off::kFlags), 0);
  EXPECT_TRUE(
      std::equal(kMagicCookie.begin(), kMagicCookie.end(), message.bytes.begin() + off::kCookie));
  const auto written = WalkOptions(message.bytes);
  EXPECT_EQ(written.Codes(), (std::vector<std::uint8_t>{1, 12, 3, 6, 15}));
  EXPECT_EQ(written.Find(12)->data, (std::vector<std::uint8_t>{'p', 'r', 'i', 'n', 't', 'e', 'r'}));
  EXPECT_EQ(written.Find(15)->data.back(), 0);

  // Without a host name or any optional setting only the mask remains.
  ReplyValues bare;
  bare.subnetMask = 0xFFFF0000;
  auto plain = DhcpMessage::FromDatagram(PacketBuilder().PadTo(300).Build());
  ASSERT_TRUE(WriteBootpReply(plain, {0xC0A80010, false}, "", bare));
  EXPECT_EQ(WalkOptions(plain.bytes).Codes(), std::vector<std::uint8_t>{1});
}

// Long texts and every option at once must never run past the buffer or overflow a length byte.
TEST(WriteDhcpReply, NeverOverflowsTheBuffer) {
  const std::string longDomain(255, 'd'), longScope(255, 's');
  struct Case {
    const char* what;
    std::string_view domain, scope;
    std::vector<std::uint8_t> codes;
  };
  const Case cases[] = {
      // 273 + router 6 + dns 10 = 289; domain cut to 254 + zero = 257 bytes -> 546, end at 546.
      {"long domain crowds out the rest", longDomain, "scope", {53, 1, 51, 58, 59, 54, 3, 6, 15}},
      // With a short domain the 257-byte scope cannot fit after 44 and is left out, but the
      // small options after it still go in.
      {"long scope left out, smaller ones follow",
       "example",
       longScope,
       {53, 1, 51, 58, 59, 54, 3, 6, 15, 44, 46, 69, 70, 71, 42}},
  };
  for (const auto& c : cases) {
    ReplyValues values = AllConfigured();
    values.domainName = c.domain;
    values.netbiosScope = c.scope;
    auto message = RequestMessage(PacketBuilder().Type(DHCPDISCOVER));
    ASSERT_TRUE(WriteDhcpReply(message, DhcpReplyKind::kOffer, {1, false}, kAll, values));
    const auto written = WalkOptions(message.bytes);
    EXPECT_NE(written.endOffset, 0u) << c.what;
    EXPECT_LT(written.endOffset, kDhcpMessageSize) << c.what;
    EXPECT_EQ(written.Codes(), c.codes) << c.what;
  }

  // The byte kept for the end option: options that end at the buffer's last byte but one leave
  // it for the end option; one byte more and the last option stays out rather than the end.
  for (const std::size_t scopeChars : {208u, 209u}) {
    ReplyValues values = AllConfigured();
    const std::string scope(scopeChars, 's');
    values.netbiosScope = scope;
    auto message = RequestMessage(PacketBuilder().Type(DHCPDISCOVER));
    ASSERT_TRUE(WriteDhcpReply(message, DhcpReplyKind::kOffer, {1, false}, kAll, values));
    const auto written = WalkOptions(message.bytes);
    const bool fits = scopeChars == 208;
    EXPECT_EQ(written.endOffset, fits ? kDhcpMessageSize - 1 : kDhcpMessageSize - 6) << scopeChars;
    EXPECT_EQ(written.Codes().back(), fits ? 42 : 71) << scopeChars;
  }

  // Alone, a 255-character domain is cut to 254 characters and its zero: length 255.
  ReplyValues values = AllConfigured();
  values.domainName = longDomain;
  auto message = RequestMessage(PacketBuilder().Type(DHCPDISCOVER));
  ASSERT_TRUE(
      WriteDhcpReply(message, DhcpReplyKind::kOffer, {1, false}, kRequestDomainName, values));
  const auto domainWalk = WalkOptions(message.bytes);
  const auto* domain = domainWalk.Find(15);
  ASSERT_NE(domain, nullptr);
  EXPECT_EQ(domain->data.size(), 255u);
  EXPECT_EQ(domain->data[253], 'd');
  EXPECT_EQ(domain->data[254], 0);

  ReplyValues bootpValues = AllConfigured();
  bootpValues.domainName = longDomain;
  auto bootp = RequestMessage(PacketBuilder());
  ASSERT_TRUE(WriteBootpReply(bootp, {1, false}, std::string(63, 'n'), bootpValues));
  const auto bootpWritten = WalkOptions(bootp.bytes);
  EXPECT_NE(bootpWritten.endOffset, 0u);
  EXPECT_EQ(bootpWritten.Codes(), (std::vector<std::uint8_t>{1, 12, 3, 6}));
}

}  // namespace
}  // namespace tamrix
