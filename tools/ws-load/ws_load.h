#pragma once
// Echo load over WebSocket: each connection keeps a number of binary messages
// of a fixed size in flight (one by default: send, wait for the echo, send the
// next) until the time is up. Every echo is checked whole and in order.
#include <cstdint>
#include <memory>
#include <string>

namespace zor {

struct TzorWSLoadOptions {
  std::string Host = "127.0.0.1";
  uint16_t Port = 0;
  std::string Path = "/";
  int Connections = 100;
  size_t MessageSize = 512;
  int Seconds = 5;
  int Threads = 1;
  // Messages each connection has sent and not yet seen echoed; above one the
  // client's cost per message falls and a server may batch its writes.
  int InFlight = 1;
};

struct TzorWSLoadResult {
  uint64_t Messages = 0;   // echoes received whole and equal to what was sent
  uint64_t Failures = 0;   // connections that failed (connect, handshake, wrong or out-of-order echo)
  int Connected = 0;       // connections whose handshake succeeded
  double Seconds = 0;      // measured from the last handshake to the end
  double MessagesPerSecond() const { return Seconds > 0 ? static_cast<double>(Messages) / Seconds : 0; }
};

TzorWSLoadResult RunWSLoad(const TzorWSLoadOptions& options);

// Options.Connections connections that complete their handshake and then stay
// open without sending, until the object is destroyed: for measuring what an
// idle connection costs a server.
class TzorWSIdleConnections {
 public:
  explicit TzorWSIdleConnections(const TzorWSLoadOptions& options);
  ~TzorWSIdleConnections();
  // Waits until every connection is open or has failed; returns the open ones.
  int WaitOpen();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zor
