#pragma once
// The framing half of a server's link to its load balancer: what
// TzorWSLoadBalancerClient sends (framed messages for one connection and
// broadcasts) and what it makes of the messages it receives (the four
// events). It sends through the WebSocket client under it, seen here as a
// small transport interface, so the link's logic is the same whatever
// carries it.
//
// Sending may happen from any thread: each call frames its own message and
// the transport serialises writes. Receiving runs on the transport's read
// thread. A message that cannot be read is reported through OnError and
// dropped; the link stays up.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "websocket/lb_messages.h"

namespace zor {

// What the link needs of the WebSocket client it runs on.
class IzorLoadBalancerTransport {
 public:
  virtual ~IzorLoadBalancerTransport() = default;
  // False when the message was not handed to an open connection.
  virtual bool SendText(const std::string& aText) = 0;
  virtual bool SendBinary(const std::string& aBytes) = 0;
};

// What a link raises for the messages it receives.
struct TzorWSLoadBalancerEvents {
  std::function<void(const std::string& aGuid, const std::string& aText)> OnWriteDataText;
  std::function<void(const std::string& aGuid, TzorStringStream& aStream)> OnWriteDataBinary;
  std::function<void(const std::string& aText, const std::string& aChannel, const std::string& aProtocol,
                     const std::string& aExclude, const std::string& aInclude)>
      OnBroadCastText;
  std::function<void(TzorStringStream& aStream, const std::string& aChannel, const std::string& aProtocol,
                     const std::string& aExclude, const std::string& aInclude, int32_t aSize, TwsStreaming aStreaming)>
      OnBroadCastBinary;
};

// The framing half of a server's link to its load balancer. It raises its
// own events, or those of the object it is given (the component it serves).
class TzorWSLoadBalancerLink : public TzorWSLoadBalancerEvents {
 public:
  explicit TzorWSLoadBalancerLink(IzorLoadBalancerTransport& aTransport) : FTransport(aTransport), FEvents(*this) {}
  TzorWSLoadBalancerLink(IzorLoadBalancerTransport& aTransport, TzorWSLoadBalancerEvents& aEvents)
      : FTransport(aTransport), FEvents(aEvents) {}

  // Each returns false, after reporting why through OnError, when the
  // message was not sent: the link is down or the message cannot be framed.
  bool Broadcast(const std::string& aMessage, const std::string& aChannel, const std::string& aProtocol,
                 const std::string& Exclude, const std::string& Include);
  // The stream holds the framed bytes afterwards, as they were sent.
  bool Broadcast(TzorStringStream& aStream, const std::string& aChannel, const std::string& aProtocol,
                 const std::string& Exclude, const std::string& Include, int32_t aSize, TwsStreaming aStreaming);
  bool WriteData(const std::string& aGuid, const std::string& aMessage);
  bool WriteData(const std::string& aGuid, TzorStringStream& aStream, int32_t aSize, TwsStreaming aStreaming);
  // The client's control messages go unframed.
  bool WriteControl(const std::string& aText);

  // What the WebSocket client received. A fragment counts as a whole link
  // message (when the client raises fragments at all).
  void ClientMessage(std::string_view aText);
  void ClientBinary(std::string_view aBytes);
  void ClientFragment(std::string_view aData, TOpcode aOpCode);

  // Messages that could not be sent or read.
  std::function<void(const std::string& aError)> OnError;

 private:
  bool SendText(const TzorWSLoadBalancerMessage& aMessage);
  bool SendBinary(const TzorWSLoadBalancerBinary& aHeader, TzorStringStream& aStream);
  bool Sent(bool aSent, const char* aWhat);
  // Runs a read; a protocol error is reported and the message dropped.
  bool Readable(const std::function<void()>& aRead);
  void Report(const std::string& aError);

  IzorLoadBalancerTransport& FTransport;
  TzorWSLoadBalancerEvents& FEvents;
};

}  // namespace zor
