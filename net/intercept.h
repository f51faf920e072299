#pragma once
// A hook on a connection's read and write paths. It sees the application's
// bytes: after decryption when reading, before encryption when writing. An
// intercept may ask for a pause (throttling); a blocking connection sleeps for
// it, an asynchronous one waits on a timer.
#include <chrono>
#include <string_view>

namespace zor {

// Observer of a connection's traffic (traffic log, throttle), called on every read and write.
class TzorConnectionIntercept {
 public:
  using Pause = std::chrono::nanoseconds;
  virtual ~TzorConnectionIntercept() = default;

  // The connection is established (TCP, proxy tunnel and TLS are up).
  virtual void Connected() {}
  // The connection is being closed locally.
  virtual void Disconnected() {}
  virtual Pause Received(std::string_view data) = 0;
  virtual Pause Sent(std::string_view data) = 0;
};

}  // namespace zor
