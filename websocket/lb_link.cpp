#include "websocket/lb_link.h"

namespace zor {

bool TzorWSLoadBalancerLink::Broadcast(const std::string& aMessage, const std::string& aChannel,
                                       const std::string& aProtocol, const std::string& Exclude,
                                       const std::string& Include) {
  return SendText({BroadcastFilter(aChannel, aProtocol, Exclude, Include), aMessage});
}

bool TzorWSLoadBalancerLink::Broadcast(TzorStringStream& aStream, const std::string& aChannel,
                                       const std::string& aProtocol, const std::string& Exclude,
                                       const std::string& Include, int32_t aSize, TwsStreaming aStreaming) {
  return SendBinary({BroadcastFilter(aChannel, aProtocol, Exclude, Include), aSize, aStreaming}, aStream);
}

bool TzorWSLoadBalancerLink::WriteData(const std::string& aGuid, const std::string& aMessage) {
  TzorWSLoadBalancerMessage message;
  message.FGuid = aGuid;
  message.FText = aMessage;
  return SendText(message);
}

bool TzorWSLoadBalancerLink::WriteData(const std::string& aGuid, TzorStringStream& aStream, int32_t aSize,
                                       TwsStreaming aStreaming) {
  TzorWSLoadBalancerBinary header;
  header.FGuid = aGuid;
  header.FSize = aSize;
  header.FStreaming = aStreaming;
  return SendBinary(header, aStream);
}

bool TzorWSLoadBalancerLink::WriteControl(const std::string& aText) {
  return Sent(FTransport.SendText(aText), "control message");
}

bool TzorWSLoadBalancerLink::SendText(const TzorWSLoadBalancerMessage& aMessage) {
  std::string framed;
  try {
    framed = aMessage.Write();
  } catch (const TzorWSException& e) {
    Report(e.what());
    return false;
  }
  return Sent(FTransport.SendText(framed), "message");
}

bool TzorWSLoadBalancerLink::SendBinary(const TzorWSLoadBalancerBinary& aHeader, TzorStringStream& aStream) {
  aHeader.Write(aStream);
  return Sent(FTransport.SendBinary(aStream.DataString()), "binary message");
}

bool TzorWSLoadBalancerLink::Sent(bool aSent, const char* aWhat) {
  if (!aSent) Report(std::string("Load balancer: link is down; ") + aWhat + " not sent");
  return aSent;
}

void TzorWSLoadBalancerLink::ClientMessage(std::string_view aText) {
  TzorWSLoadBalancerMessage message;
  if (!Readable([&] { message.Read(aText); })) return;
  if (!message.IsBroadcast()) {
    if (FEvents.OnWriteDataText) FEvents.OnWriteDataText(message.FGuid, message.FText);
  } else if (FEvents.OnBroadCastText) {
    FEvents.OnBroadCastText(message.FText, message.FChannel, message.FProtocol, message.FExclude, message.FInclude);
  }
}

void TzorWSLoadBalancerLink::ClientBinary(std::string_view aBytes) {
  TzorStringStream stream{std::string(aBytes)};
  TzorWSLoadBalancerBinary header;
  if (!Readable([&] { header.Read(stream); })) return;
  if (!header.IsBroadcast()) {
    if (FEvents.OnWriteDataBinary) FEvents.OnWriteDataBinary(header.FGuid, stream);
  } else if (FEvents.OnBroadCastBinary) {
    FEvents.OnBroadCastBinary(stream, header.FChannel, header.FProtocol, header.FExclude, header.FInclude, header.FSize,
                      header.FStreaming);
  }
}

void TzorWSLoadBalancerLink::ClientFragment(std::string_view aData, TOpcode aOpCode) {
  if (aOpCode == opText) {
    ClientMessage(aData);
  } else {
    ClientBinary(aData);
  }
}

bool TzorWSLoadBalancerLink::Readable(const std::function<void()>& aRead) {
  try {
    aRead();
    return true;
  } catch (const TzorWSLoadBalancerProtocolError& e) {
    Report(std::string(e.what()) + "; message dropped");
    return false;
  }
}

void TzorWSLoadBalancerLink::Report(const std::string& aError) {
  if (OnError) OnError(aError);
}

}  // namespace zor
