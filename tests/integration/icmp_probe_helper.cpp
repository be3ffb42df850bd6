// Runs the conflict probe once and prints what it heard; the test script runs it inside a
// network namespace of its own.
#include <arpa/inet.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/icmp_probe.h"

namespace {

long long Milliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ADDRESS WAIT_MS [TRIES] [ping-socket]\n", argv[0]);
    return 2;
  }
  in_addr address{};
  if (inet_pton(AF_INET, argv[1], &address) != 1) return 2;
  const int waitMs = std::atoi(argv[2]);
  const int tries = argc > 3 ? std::atoi(argv[3]) : 1;
  const bool pingSocket = argc > 4 && std::strcmp(argv[4], "ping-socket") == 0;
  tamrix::IcmpProbe probe(pingSocket ? tamrix::IcmpProbe::Socket::kPingSocketOnly
                                     : tamrix::IcmpProbe::Socket::kRawFirst);
  const long long start = Milliseconds();
  int replies = 0;
  int sent = 0;
  for (; sent < tries && replies == 0; ++sent)
    replies = probe.SendEcho(ntohl(address.s_addr), waitMs);
  std::printf("open=%d raw=%d replies=%d tries=%d elapsed_ms=%lld\n", probe.IsOpen() ? 1 : 0,
              probe.IsRaw() ? 1 : 0, replies, sent, Milliseconds() - start);
  return 0;
}
