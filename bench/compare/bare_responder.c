/* The floor under the comparison: a DHCP responder that is nothing but its system calls.
 *
 *   bare_responder poll|blocking SERVER POOL_FIRST POOL_SIZE
 *
 * Every DISCOVER gets an OFFER and every REQUEST an ACK of the same fixed shape (548 bytes, the
 * options the benchmark's servers send), for an address taken from the client's hardware address:
 * no table, no settings, no files. The socket is set up as TAMRIX's is (SO_BROADCAST, IP_PKTINFO,
 * a 1 MiB SO_RCVBUF, a 1 s SO_RCVTIMEO, 0.0.0.0:67, the reply out of the interface the request
 * came in on). "poll" waits as TAMRIX once did (poll on an eventfd and the socket, then a
 * non-blocking recvmsg); "blocking" only recvmsg, as TAMRIX does now.
 * A relayed request is answered on port 67 of the relay, any other is broadcast to port 68.
 * It runs until a signal ends it; compare.py starts it in its own namespace only. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

enum { kSize = 548, kOptions = 240 };

static uint32_t server, pool_first, pool_size;

static void put32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)(v >> 24);
  p[1] = (uint8_t)(v >> 16);
  p[2] = (uint8_t)(v >> 8);
  p[3] = (uint8_t)v;
}

static uint8_t* put_option32(uint8_t* p, uint8_t code, uint32_t v) {
  p[0] = code;
  p[1] = 4;
  put32(p + 2, v);
  return p + 6;
}

/* The message type of a request, 0 when there is none within the bytes received. */
static int message_type(const uint8_t* m, size_t n) {
  if (n < kOptions || m[0] != 1 || memcmp(m + 236, "\x63\x82\x53\x63", 4) != 0) return 0;
  for (size_t i = kOptions; i < n && m[i] != 255;) {
    if (m[i] == 0) {
      ++i;
      continue;
    }
    if (i + 1 >= n || i + 2 + m[i + 1] > n) return 0;
    if (m[i] == 53 && m[i + 1] == 1) return m[i + 2];
    i += 2 + m[i + 1];
  }
  return 0;
}

/* Builds the answer in place over the request; its length, 0 for none. */
static size_t answer(uint8_t* m, size_t n) {
  const int type = message_type(m, n);
  if (type != 1 && type != 3) return 0;
  uint32_t hash = 2166136261u;
  for (int i = 0; i < 16; ++i) hash = (hash ^ m[28 + i]) * 16777619u;
  if (n < kSize) memset(m + n, 0, kSize - n);
  m[0] = 2;
  m[3] = 0;
  memset(m + 8, 0, 2);  /* secs */
  memset(m + 12, 0, 8); /* ciaddr, siaddr's place below */
  put32(m + 16, pool_first + hash % pool_size);
  memset(m + 20, 0, 4);
  memset(m + 44, 0, 192); /* sname, file */
  uint8_t* p = m + kOptions;
  *p++ = 53;
  *p++ = 1;
  *p++ = type == 1 ? 2 : 5;
  p = put_option32(p, 54, server);
  p = put_option32(p, 51, 3600);
  p = put_option32(p, 58, 1800);
  p = put_option32(p, 59, 3150);
  p = put_option32(p, 1, 0xFFFFFF00u);
  p = put_option32(p, 3, server);
  p = put_option32(p, 6, server);
  static const char domain[] = "bench.example";
  *p++ = 15;
  *p++ = sizeof domain;
  memcpy(p, domain, sizeof domain);
  p += sizeof domain;
  *p++ = 255;
  memset(p, 0, (size_t)(m + kSize - p));
  return kSize;
}

int main(int argc, char** argv) {
  struct in_addr a;
  if (argc != 5 || (strcmp(argv[1], "poll") != 0 && strcmp(argv[1], "blocking") != 0)) {
    fprintf(stderr, "usage: %s poll|blocking SERVER POOL_FIRST POOL_SIZE\n", argv[0]);
    return 2;
  }
  const int use_poll = strcmp(argv[1], "poll") == 0;
  if (!inet_aton(argv[2], &a)) return 2;
  server = ntohl(a.s_addr);
  if (!inet_aton(argv[3], &a)) return 2;
  pool_first = ntohl(a.s_addr);
  pool_size = (uint32_t)atoi(argv[4]);
  if (pool_size == 0) return 2;

  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  const int buffer_bytes = 1 << 20;
  const struct timeval timeout = {1, 0};
  struct sockaddr_in local = {.sin_family = AF_INET, .sin_port = htons(67)};
  if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
      setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
      setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer_bytes, sizeof buffer_bytes) != 0 ||
      bind(fd, (struct sockaddr*)&local, sizeof local) != 0 ||
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) {
    perror("bare_responder: socket");
    return 1;
  }
  /* Never written: it is there so that the poll costs what TAMRIX's did, two descriptors. */
  const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    perror("bare_responder: eventfd");
    return 1;
  }

  uint8_t buffer[kSize + 1];
  union {
    struct cmsghdr align;
    uint8_t bytes[CMSG_SPACE(sizeof(struct in_pktinfo))];
  } in_control, out_control;
  for (;;) {
    if (use_poll) {
      struct pollfd fds[2] = {{wake, POLLIN, 0}, {fd, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0 || fds[1].revents == 0) continue;
    }
    struct iovec io = {buffer, kSize};
    struct msghdr in = {.msg_iov = &io, .msg_iovlen = 1, .msg_control = in_control.bytes,
                        .msg_controllen = sizeof in_control.bytes};
    const ssize_t got = recvmsg(fd, &in, use_poll ? MSG_DONTWAIT : 0);
    if (got < 0) continue;
    int ifindex = 0;
    for (struct cmsghdr* c = CMSG_FIRSTHDR(&in); c != NULL; c = CMSG_NXTHDR(&in, c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
        struct in_pktinfo info;
        memcpy(&info, CMSG_DATA(c), sizeof info);
        ifindex = info.ipi_ifindex;
      }
    }
    uint32_t giaddr;
    memcpy(&giaddr, buffer + 24, 4);
    const size_t length = answer(buffer, (size_t)got);
    if (length == 0) continue;
    struct sockaddr_in to = {.sin_family = AF_INET};
    to.sin_port = htons(giaddr != 0 ? 67 : 68);
    to.sin_addr.s_addr = giaddr != 0 ? giaddr : htonl(INADDR_BROADCAST);
    io.iov_len = length;
    struct msghdr out = {.msg_name = &to, .msg_namelen = sizeof to, .msg_iov = &io,
                         .msg_iovlen = 1, .msg_control = out_control.bytes,
                         .msg_controllen = sizeof out_control.bytes};
    memset(out_control.bytes, 0, sizeof out_control.bytes);
    struct cmsghdr* c = CMSG_FIRSTHDR(&out);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(struct in_pktinfo));
    struct in_pktinfo info = {.ipi_ifindex = ifindex};
    memcpy(CMSG_DATA(c), &info, sizeof info);
    sendmsg(fd, &out, MSG_NOSIGNAL);
  }
}
