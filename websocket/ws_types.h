#pragma once
// Enumerations and the exception shared by the WebSocket frame codec, the
// handshake and the compression extensions.
#include "base/exceptions.h"

#include <cstdint>

namespace zor {

// Ordinals index tables and are stored in records: keep the order.
enum TOpcode : uint8_t { opContinuation, opText, opBinary, opClose, opPing, opPong, opNone };
enum TPayload : uint8_t { pa7bits, pa16bits, pa64bits };
enum TwsStreaming : uint8_t { stmNone, stmFirst, stmContinue, stmLast, stmContinueAndLast };
enum TwsSpecification : uint8_t { spRFC6455, spHixie76, spRFC8441 };
enum TwsApplicationMode : uint8_t { appNone, appServer, appClient };

// Wire value of each opcode; opNone has none and maps to 0xFF.
inline constexpr uint8_t kOpcodeWireValue[] = {0x0, 0x1, 0x2, 0x8, 0x9, 0xA, 0xFF};

inline bool IsControlOpCode(TOpcode op) { return op == opClose || op == opPing || op == opPong; }

// Close codes the codec sends or reports.
inline constexpr int kCloseNormal = 1000;
inline constexpr int kCloseProtocolError = 1002;
inline constexpr int kCloseInvalidPayload = 1007;
inline constexpr int kCloseMessageTooBig = 1009;

// Default bound on one message (a frame or a fragmented message's total, and a
// compressed message once inflated).
inline constexpr uint64_t kDefaultMaxMessageSize = 64ull << 20;

// The exception of the WebSocket layers: a message only.
class TzorWSException : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "TzorWSException"; }
};

// A message larger than the configured bound; the connection closes with 1009.
class EzorWSMessageTooBig : public TzorWSException {
 public:
  using TzorWSException::TzorWSException;
  const char* ClassName() const override { return "EzorWSMessageTooBig"; }
};

}  // namespace zor
