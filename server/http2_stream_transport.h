#pragma once
// The byte transport of a WebSocket carried by one stream of an HTTP/2
// connection (RFC 8441 extended CONNECT): the DATA the peer sends on the
// stream is read from an input buffer, and writes leave as DATA frames on the
// stream through the carrying connection's session.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/buffered_transport.h"

namespace zor {

class TzorWSConnectionServer;

// The byte transport of a WebSocket carried by one HTTP/2 stream.
class TzorHTTP2StreamTransport : public TzorBufferedTransport {
 public:
  // DATA queued on the stream beyond this, held back by the peer's windows,
  // makes a write fail: a peer that does not read cannot grow memory.
  static constexpr size_t kMaxPendingBytes = 16 * 1024 * 1024;

  TzorHTTP2StreamTransport(std::weak_ptr<TzorWSConnectionServer> carrier, int32_t stream)
      : carrier_(std::move(carrier)), stream_(stream) {
    Bind(input_, writes_);
  }

  int32_t Stream() const { return stream_; }
  // Accepts the tunnel: a 200 answer with the lines ("name: value") that
  // leaves the stream open both ways.
  void Accept(const std::vector<std::string>& headerLines);

  // From the carrier's reading thread: the stream's DATA, then OnData.
  void Receive(std::string_view bytes);
  // The stream is over: the peer ended or reset it, or the carrier closed.
  // `sendEndStream`: this side's END_STREAM goes out too.
  void End(bool sendEndStream);

  // Bytes arrived (on the carrier's reading thread).
  std::function<void()> OnData;
  // Runs once when the stream ends, whoever ends it.
  std::function<void()> OnClosed;

  bool WaitForData(int timeout_ms) override;
  bool Connected() const override;
  void Disconnect(bool notify_peer = true) override;
  std::string PeerIP() const override;
  uint16_t PeerPort() const override;
  std::string LocalIP() const override;
  uint16_t LocalPort() const override;
  std::string NegotiatedALPN() const override;

 private:
  // The carrying connection; EzorClosedSocket when it is gone.
  std::shared_ptr<TzorWSConnectionServer> Carrier() const;
  void Send(std::string_view bytes);
  template <class T>
  T FromSocket(T (TzorTransport::*get)() const) const;

  std::weak_ptr<TzorWSConnectionServer> carrier_;
  const int32_t stream_;
  TzorInputBuffer input_;
  // Collected writes never outgrow what the stream may hold pending.
  TzorWriteGate writes_{[this](std::string_view bytes) { Send(bytes); }, kMaxPendingBytes};
  std::atomic<bool> accepted_{false};
  std::atomic<bool> ended_{false};
};

}  // namespace zor
