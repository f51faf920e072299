#pragma once
// WebSocket over one HTTP/2 stream (RFC 8441), client side, without IO: the
// connection preface and SETTINGS, the extended CONNECT on stream 1, then
// the WebSocket bytes both ways in DATA frames on that stream, within the
// peer's flow-control windows and frame size. Received bytes go in through
// Read; every byte to send leaves through OnOutput, whole frames, in order.
// Not thread-safe: the owner serialises every call.
#include "http2/frame_reader.h"
#include "http2/http2_exception.h"
#include "websocket/rfc8441_handshake.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

// The client's side of one WebSocket stream over HTTP/2.
class TzorWSHTTP2ClientStream {
 public:
  // The stream the CONNECT opens: the first a client opens.
  static constexpr int32_t kStream = 1;
  // What this side lets the peer send ahead, on the stream and on the
  // connection; consumed bytes are credited back once half of it is used.
  static constexpr int64_t kReceiveWindow = 1 << 20;

  enum TState : uint8_t {
    h2csPreface,    // waiting for the server's SETTINGS
    h2csSettings,   // the server's SETTINGS read; the request is the owner's to send
    h2csRequested,  // waiting for the answer's HEADERS
    h2csOpen,       // status 200: WebSocket bytes flow both ways
    h2csClosed,     // reset, refused, failed or closed by this side
  };

  TzorWSHTTP2ClientStream();
  ~TzorWSHTTP2ClientStream();
  TzorWSHTTP2ClientStream(const TzorWSHTTP2ClientStream&) = delete;
  TzorWSHTTP2ClientStream& operator=(const TzorWSHTTP2ClientStream&) = delete;

  // The connection preface, this side's SETTINGS (no pushes, the larger
  // receive window) and the connection's receive window.
  void Start();
  // Received bytes. The WebSocket bytes DATA carries on the stream are
  // appended to `data`; SETTINGS and PING are acknowledged, consumed DATA is
  // credited, held bytes go out as the windows open. A violation by the peer
  // is answered (GOAWAY, or RST_STREAM for the stream) and ends the stream
  // with Failure() set; nothing is read after that.
  void Read(std::span<const uint8_t> bytes, std::string& data);
  // The frames of the opening handshake read since the last call: the
  // server's first frame and the answer's HEADERS.
  std::vector<TzorWSHTTP2Frame> TakeHandshakeFrames();
  // The extended CONNECT from "name = value" lines (names lower-cased,
  // credentials never indexed by the compressor), on kStream.
  void SendRequest(const std::vector<std::string>& lines);
  // WebSocket bytes: sent as far as the windows allow, the rest held until
  // they open. Dropped once the stream is closed or ended by this side.
  void Send(std::span<const uint8_t> bytes);
  // The orderly end: END_STREAM (RST_STREAM CANCEL while bytes are still
  // held) and GOAWAY, each at most once.
  void Close();

  TState State() const { return FState; }
  // Bytes waiting for the peer's windows.
  size_t Held() const { return FHeld.size() - FHeldAt; }
  // The peer ended its side of the stream (END_STREAM).
  bool PeerEnded() const { return FPeerEnded; }
  // Why the stream ended other than by END_STREAM; empty while it lives.
  const std::string& Failure() const { return FFailure; }
  int64_t SendWindow() const;

  std::function<void(std::span<const uint8_t> bytes)> OnOutput;

 private:
  class Reader;

  void Output(std::span<const uint8_t> bytes) {
    if (OnOutput) OnOutput(bytes);
  }
  void ReadSettings(TzorHTTP2_Frame_Settings& frame);
  void ReadHeaders(TzorHTTP2_Frame_Headers& frame);
  void ReadData(TzorHTTP2_Frame_Data& frame);
  void ReadWindowUpdate(TzorHTTP2_Frame_WindowUpdate& frame);
  void ReadRSTStream(TzorHTTP2_Frame_RSTStream& frame);
  void ReadGoAway(TzorHTTP2_Frame_GoAway& frame);
  // The server's first frame must be its SETTINGS (not an acknowledgement).
  void FirstFrame(Th2FrameType type, bool ack);
  // Answers a violation; false when the reader may go on (a stream error on
  // another stream).
  bool Violation(const TzorHTTP2Exception& e);
  void Fail(std::string reason);
  // Sends what the windows allow from `bytes`; returns the octets sent.
  size_t SendData(std::span<const uint8_t> bytes);
  void SendHeld();
  void WriteWindowUpdate(int32_t stream, int64_t increment);
  void WriteGoAway(Th2ErrorCodes code, const std::string& debug);
  void WriteReset(int32_t stream, Th2ErrorCodes code);

  std::unique_ptr<Reader> FReader;
  std::unique_ptr<TzorHTTP2_Frame> FWriter;
  TState FState = h2csPreface;
  std::vector<TzorWSHTTP2Frame> FHandshakeFrames;
  std::string* FData = nullptr;  // where Read puts WebSocket bytes
  // Send side: the peer's windows and frame size.
  int64_t FSendConnection = 65535;
  int64_t FSendStream = 65535;
  uint32_t FPeerInitialWindow = 65535;
  uint32_t FPeerMaxFrameSize = h2DefaultMaxFrameSize;
  std::string FHeld;
  size_t FHeldAt = 0;
  // Receive side: what the peer may still send, and what is to credit.
  int64_t FReceiveConnection = kReceiveWindow;
  int64_t FReceiveStream = kReceiveWindow;
  int64_t FConsumedConnection = 0;
  int64_t FConsumedStream = 0;
  bool FPeerEnded = false;
  bool FLocalEnded = false;
  bool FGoAwaySent = false;
  std::string FFailure;
};

}  // namespace zor
