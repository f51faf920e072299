#pragma once
// Where and how a client connection is made. Time-outs are milliseconds; zero
// or less means no limit.
#include <cstdint>
#include <string>

namespace zor {

enum class TzorIPVersion : uint8_t { ipAny, ipV4, ipV6 };

// Where and how a client connection is made.
struct TzorSocketOptions {
  std::string Host;
  uint16_t Port = 0;
  TzorIPVersion IPVersion = TzorIPVersion::ipAny;

  int ConnectTimeout = 0;
  // Longest wait for incoming bytes in ReadBytes/ReadSome.
  int ReadTimeout = 0;
  // Longest wait for the socket to take outgoing bytes (send time-out).
  int WriteTimeout = 0;

  // Local end: address, fixed port, or a port range tried from low to high.
  std::string BoundIP;
  uint16_t BoundPort = 0;
  uint16_t BoundPortMin = 0;
  uint16_t BoundPortMax = 0;

  // false sets TCP_NODELAY.
  bool UseNagle = false;
  // Linger on close for this many seconds; negative leaves the system default.
  int LingerSeconds = -1;

  bool KeepAlive = false;
  int KeepAliveTime = 0;      // ms of idleness before the first probe
  int KeepAliveInterval = 0;  // ms between probes
};

}  // namespace zor
