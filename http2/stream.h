#pragma once
// The record a connection keeps of one stream while it is in use: its state
// (RFC 7540 section 5.1), the request that opened it, its body as far as it
// is collected, and the receive window this side gives the peer for it.
#include "base/bytes.h"
#include "base/streams.h"
#include "http2/header_list.h"
#include "http2/server_options.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace zor {

enum Th2StreamState : uint8_t {
  h2ssIdle,
  h2ssReservedLocal,
  h2ssReservedRemote,
  h2ssOpen,
  h2ssHalfClosedLocal,
  h2ssHalfClosedRemote,
  h2ssClosed,
};

// The record of one stream in use: state, request, body received, receive window.
class TzorHTTP2_StreamResponse {
 public:
  explicit TzorHTTP2_StreamResponse(int32_t streamIdentifier) : FStreamIdentifier(streamIdentifier) {}
  // As made for the stream, keeping the room of its lists.
  void Reset(int32_t streamIdentifier) {
    FStreamIdentifier = streamIdentifier;
    FStreamState = h2ssIdle;
    FHeaders.Clear();
    FData.clear();
    if (FData.capacity() > 65536) TBytes().swap(FData);
    FReceived = 0;
    FContentLength = -1;
    FPost_Stream = nullptr;
    FRequest.reset();
    FTunnel = FHead = FAnswered = false;
    FReceiveWindow = 65535;
    FUnacknowledged = 0;
  }

  int32_t StreamIdentifier() const { return FStreamIdentifier; }
  Th2StreamState StreamState() const { return FStreamState.load(); }
  // The request's header list (pseudo-headers first).
  const TzorHTTP2_HeaderList& Headers() const { return FHeaders; }
  // The body collected so far (empty when a post stream takes it, or when
  // bodies are only handed on in fragments).
  const TBytes& Data() const { return FData; }
  // Octets of content received.
  int64_t Received() const { return FReceived; }
  TzorStringStream* Post_Stream() const { return FPost_Stream; }
  // The request this side made for a pushed stream (made on first use).
  TzorHTTP2Request& Request() {
    if (!FRequest) FRequest = std::make_unique<TzorHTTP2Request>();
    return *FRequest;
  }
  // RFC 8441 or plain CONNECT: DATA is handed on both ways as it comes.
  bool Tunnel() const { return FTunnel; }

  // Whether the peer may still send on it.
  bool RemoteOpen() const { return FStreamState == h2ssOpen || FStreamState == h2ssHalfClosedLocal; }
  // Whether this side may still send on it.
  bool LocalOpen() const {
    return FStreamState == h2ssOpen || FStreamState == h2ssHalfClosedRemote || FStreamState == h2ssReservedLocal;
  }

 private:
  friend class TzorHTTP2Session;
  int32_t FStreamIdentifier;
  std::atomic<Th2StreamState> FStreamState = h2ssIdle;
  TzorHTTP2_HeaderList FHeaders;
  TBytes FData;
  int64_t FReceived = 0;
  int64_t FContentLength = -1;  // declared, -1 when not
  TzorStringStream* FPost_Stream = nullptr;
  std::unique_ptr<TzorHTTP2Request> FRequest;
  bool FTunnel = false;
  bool FHead = false;
  bool FAnswered = false;  // this side's HEADERS went out
  int64_t FReceiveWindow = 65535;  // what this side allows
  int64_t FUnacknowledged = 0;     // octets received and not credited yet
};

}  // namespace zor
