#pragma once
// The link a server keeps to its load balancer: a WebSocket client whose
// messages are framed for the link (lb_link.h). What it receives raises the
// link's events (OnWriteDataText, OnWriteDataBinary, OnBroadCastText,
// OnBroadCastBinary) on its read thread and never reaches OnMessage, OnBinary
// or OnFragmented. A message that cannot be sent (the link is down) or read
// (a malformed header) goes to OnLoadBalancerError, and the link stays up;
// an exception of an event handler is reported through OnError and drops
// the link, as any failure on the read thread.
#include "websocket/lb_link.h"
#include "websocket/ws_client.h"

namespace zor {

// Holds the link in a base of the client, so that it is made before the
// client and outlives the read thread that the client's destructor stops.
struct TzorWSLoadBalancerLinkHolder {
  TzorWSLoadBalancerLinkHolder(IzorLoadBalancerTransport& aTransport, TzorWSLoadBalancerEvents& aEvents)
      : FLink(aTransport, aEvents) {}
  TzorWSLoadBalancerLink FLink;
};

// A server's link to the load balancer: a WebSocket client that carries the link's messages.
class TzorWSLoadBalancerClient : public TzorWSLoadBalancerEvents,
                                 public IzorLoadBalancerTransport,
                                 private TzorWSLoadBalancerLinkHolder,
                                 public TzorWSClient {
 public:
  TzorWSLoadBalancerClient();
  ~TzorWSLoadBalancerClient() override;

  // Each returns false, after reporting why through OnLoadBalancerError,
  // when the message was not sent.
  bool Broadcast(const std::string& aMessage, const std::string& aChannel, const std::string& aProtocol,
                 const std::string& Exclude, const std::string& Include) {
    return FLink.Broadcast(aMessage, aChannel, aProtocol, Exclude, Include);
  }
  // The stream holds the framed bytes afterwards, as they were sent.
  bool Broadcast(TzorStringStream& aStream, const std::string& aChannel, const std::string& aProtocol,
                 const std::string& Exclude, const std::string& Include, int32_t aSize, TwsStreaming aStreaming) {
    return FLink.Broadcast(aStream, aChannel, aProtocol, Exclude, Include, aSize, aStreaming);
  }
  bool WriteData(const std::string& aGuid, const std::string& aMessage) { return FLink.WriteData(aGuid, aMessage); }
  bool WriteData(const std::string& aGuid, TzorStringStream& aStream, int32_t aSize, TwsStreaming aStreaming) {
    return FLink.WriteData(aGuid, aStream, aSize, aStreaming);
  }
  // The plain writes of the client: control messages go unframed.
  using TzorWSClient::WriteData;

  TzorWSLoadBalancerLink& Link() { return FLink; }

  // One whole message on the open connection; false when there is none
  // (not connected, or the handshake is not done) or the write failed.
  bool SendText(const std::string& aText) override;
  bool SendBinary(const std::string& aBytes) override;

 protected:
  void OnClientMessageEvent(TzorWSConnection* aConnection, const std::string& aText) override;
  void OnClientBinaryEvent(TzorWSConnection* aConnection, const TzorStringStream& aStream) override;
  void OnClientFragmentedEvent(TzorWSConnection* aConnection, const TzorStringStream& aData, TOpcode aOpCode,
                               bool aContinuation) override;

 private:
  template <class Data>
  bool Send(const Data& aData);
  template <class Read>
  void Receive(TzorWSConnection* aConnection, const Read& aRead);
};

}  // namespace zor
