#include "net/schannel_socket.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace zor {

bool TzorSChannelSystemSocket::WaitFor(short events, int timeout_ms) {
  pollfd p{fd_, events, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeout_ms > 0 ? timeout_ms : -1);
    if (r > 0) return true;
    if (r < 0 && errno == EINTR) continue;
    error_ = r == 0 ? ETIMEDOUT : errno;
    return false;
  }
}

int TzorSChannelSystemSocket::Send(const char* data, int size) {
  for (;;) {
    const ssize_t n = ::send(fd_, data, static_cast<size_t>(size), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int>(n);
    const int e = errno;
    if (e == EINTR) continue;
    if (e == EAGAIN || e == EWOULDBLOCK) {
      if (WaitFor(POLLOUT, 0)) continue;
      return -1;
    }
    error_ = e;
    return -1;
  }
}

int TzorSChannelSystemSocket::Recv(char* buffer, int size) {
  for (;;) {
    const ssize_t n = ::recv(fd_, buffer, static_cast<size_t>(size), MSG_DONTWAIT);
    if (n >= 0) return static_cast<int>(n);
    const int e = errno;
    if (e == EINTR) continue;
    if (e == EAGAIN || e == EWOULDBLOCK) {
      if (WaitFor(POLLIN, read_timeout_ms_)) continue;
      return -1;
    }
    error_ = e;
    return -1;
  }
}

int TzorSChannelSystemSocket::Select(int timeout_ms) {
  pollfd p{fd_, POLLIN, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeout_ms);
    if (r >= 0) return r;
    if (errno != EINTR) {
      error_ = errno;
      return -1;
    }
  }
}

}  // namespace zor
