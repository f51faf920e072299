#pragma once
// The platform engine's socket over a connected system socket: blocking
// send, recv and select, whatever mode the descriptor is in (each call
// polls for its wait, so the read time-out holds on a blocking descriptor).
#include "net/schannel_engine.h"

namespace zor {

// The platform TLS engine's socket over a connected system socket.
class TzorSChannelSystemSocket : public TzorSChannelSocket {
 public:
  // `read_timeout_ms` bounds each wait for incoming bytes (0: none); the
  // descriptor stays its owner's.
  TzorSChannelSystemSocket(int fd, int read_timeout_ms) : fd_(fd), read_timeout_ms_(read_timeout_ms) {}

  int Send(const char* data, int size) override;
  int Recv(char* buffer, int size) override;
  int Select(int timeout_ms) override;
  int LastError() const override { return error_; }

 private:
  // Waits for the descriptor; false (with error_ set) on failure or time-out.
  bool WaitFor(short events, int timeout_ms);

  int fd_;
  int read_timeout_ms_;
  int error_ = 0;
};

}  // namespace zor
