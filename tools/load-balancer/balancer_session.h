#pragma once
// One accepted socket of the load balancer, without IO: first an HTTP request
// head, then, when it was a server's link, WebSocket frames. A client's
// binding request ("GET /zor@lb@client@get@binding") is answered with the
// balancer's pick and the socket closes; a link ("/zor@load_balancer_client")
// is upgraded and its text and binary messages handed to the owner; anything
// else is refused. Heads are bounded, frames must be masked and text UTF-8.
//
// Received runs on the socket's own thread of work; SendText, SendBinary and
// Close may come from any thread.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "websocket/frame_reader.h"
#include "websocket/frame_writer.h"

namespace zor {

class TzorBalancerSession : private TzorWSFrameEvents, private TzorWSFrameSink {
 public:
  struct Owner {
    std::function<void(std::string_view aBytes)> Write;
    // Ends the socket once what was written is sent.
    std::function<void()> Close;
    std::function<std::string()> BindingAnswer;
    std::function<void()> LinkOpened;
    std::function<void(std::string_view aText)> TextReceived;
    std::function<void(std::string_view aBytes)> BinaryReceived;
  };

  static constexpr size_t kMaxHeadSize = 16 * 1024;
  static constexpr uint64_t kMaxMessageSize = 16 << 20;

  explicit TzorBalancerSession(Owner aOwner);

  void Received(std::string_view aBytes);

  void SendText(std::string_view aText);
  void SendBinary(std::string_view aBytes);
  // A close frame with the code, then the socket ends.
  void Close(int aCloseCode);

 private:
  enum TState : uint8_t { sHead, sFrames, sClosed };

  void HeadComplete(std::string_view aHead);
  void Answer(std::string_view aStatus, std::string_view aHeaders, std::string_view aBody);
  void DoMessageComplete(TzorWSMsg& aMessage) override;
  void DoDisconnect(const std::string& aMessage, int aCloseCode) override;
  void Lock() override { FWriteLock.lock(); }
  void Unlock() override { FWriteLock.unlock(); }
  void WriteFrame(const uint8_t* aData, size_t aSize) override;

  Owner FOwner;
  std::atomic<TState> FState{sHead};
  std::string FHead;
  TzorWSFrameReader FReader{*this, nullptr};
  TzorWSFrameWriter FWriter{*this, nullptr};
  std::mutex FWriteLock;
};

}  // namespace zor
