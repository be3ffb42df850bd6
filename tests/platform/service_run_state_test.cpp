#include "platform/posix/service_run_state.h"

#include <unistd.h>

#include <gtest/gtest.h>

namespace tamrix {
namespace {

TEST(ProcStat, StateAndStartTimeAreFoundWhateverTheCommandName) {
  const struct {
    const char* text;
    char state;
    std::uint64_t startTime;
  } cases[] = {
      {"42 (TAMXNTs.exe) S 1 42 42 0 -1 4194560 100 0 0 0 1 2 0 0 20 0 3 0 98765 1000 200", 'S',
       98765},
      {"42 (a) b) (c) Z 1 42 42 0 -1 4194560 100 0 0 0 1 2 0 0 20 0 3 0 555 1000 200", 'Z', 555},
      {"7 ( ) R 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 1", 'R', 1},
  };
  for (const auto& c : cases) {
    char state = 0;
    std::uint64_t startTime = 0;
    ASSERT_TRUE(ParseProcStat(c.text, &state, &startTime)) << c.text;
    EXPECT_EQ(state, c.state) << c.text;
    EXPECT_EQ(startTime, c.startTime) << c.text;
  }
  const char* bad[] = {"", "42 TAMXNTs S 1", "42 (x) S 1 2 3", "42 (x) SS 1 42 42 0 -1 0 0 0 0 0 "
                                                               "0 0 0 0 20 0 3 0 9"};
  for (const char* text : bad) {
    char state = 0;
    std::uint64_t startTime = 0;
    EXPECT_FALSE(ParseProcStat(text, &state, &startTime)) << text;
  }
}

TEST(ProcStat, ThisProcessIsAliveAndAnImpossiblePidIsNot) {
  EXPECT_TRUE(LiveProcessStartTime(::getpid()).has_value());
  EXPECT_FALSE(LiveProcessStartTime(0).has_value());
  EXPECT_FALSE(LiveProcessStartTime(0x7FFFFFF0).has_value());
}

TEST(PublishedStatusText, RoundTripsEveryField) {
  PublishedStatus published;
  published.pid = 1234;
  published.startTime = 18446744073709551615ull;
  published.status = {0x10, SERVICE_PAUSED, 7, 1066, 42, 3, 5000};
  const auto read = ParsePublishedStatus(FormatPublishedStatus(published));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->pid, 1234);
  EXPECT_EQ(read->startTime, published.startTime);
  EXPECT_EQ(read->status, published.status);
}

TEST(PublishedStatusText, MalformedTextIsRefused) {
  const char* bad[] = {
      "",
      "1 2 16 4 7 0 0 0",             // a field short
      "1 2 16 4 7 0 0 0 0 9",         // a field too many
      "0 2 16 4 7 0 0 0 0",           // no pid
      "1 2 16 8 7 0 0 0 0",           // no such state
      "1 2 16 0 7 0 0 0 0",           // no such state
      "1 2 16 4 4294967296 0 0 0 0",  // wider than 32 bits
      "1 2 16 4 -7 0 0 0 0",
      "1 2 16 4 7x 0 0 0 0",
      "99999999999 2 16 4 7 0 0 0 0",
  };
  for (const char* text : bad) EXPECT_FALSE(ParsePublishedStatus(text).has_value()) << text;
}

TEST(StatusWire, FieldsAreLittleEndianInTheirOrder) {
  const ServiceStatusReport status{0x10, SERVICE_RUNNING, 7, 0x01020304, 0, 1, 5000};
  const auto bytes = EncodeStatus(status);
  EXPECT_EQ(bytes[0], 0x10);
  EXPECT_EQ(bytes[4], SERVICE_RUNNING);
  EXPECT_EQ(bytes[8], 7);
  EXPECT_EQ(bytes[12], 0x04);
  EXPECT_EQ(bytes[15], 0x01);
  EXPECT_EQ(bytes[24], 5000 & 0xFF);
  EXPECT_EQ(bytes[25], 5000 >> 8);
  EXPECT_EQ(DecodeStatus(bytes), status);
}

}  // namespace
}  // namespace tamrix
