#include "websocket/lb_server_link.h"

#include "base/url.h"

namespace zor {

void TzorWSLoadBalancerServer_Options::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorWSLoadBalancerServer_Options*>(&source);
  if (!from) return TPersistent::Assign(source);
  *this = *from;
}

TzorWSLoadBalancerServerLink::TzorWSLoadBalancerServerLink(IzorLoadBalancedServer& aServer,
                                                           IzorLoadBalancerTransport& aTransport)
    : FServer(aServer), FLink(aTransport) {
  FLink.OnError = [this](const std::string& aError) {
    if (OnLoadBalancerError) OnLoadBalancerError(aError);
  };
  Serve(FLink);
}

void TzorWSLoadBalancerServerLink::Serve(TzorWSLoadBalancerEvents& aEvents) {
  aEvents.OnWriteDataText = [this](const std::string& aGuid, const std::string& aText) {
    Deliver(FServer.WriteOwn(aGuid, aText), aGuid);
  };
  aEvents.OnWriteDataBinary = [this](const std::string& aGuid, TzorStringStream& aStream) {
    Deliver(FServer.WriteOwn(aGuid, aStream), aGuid);
  };
  aEvents.OnBroadCastText = [this](const std::string& aText, const std::string& aChannel,
                                   const std::string& aProtocol, const std::string& aExclude,
                                   const std::string& aInclude) {
    FServer.BroadcastOwn(BroadcastFilter(aChannel, aProtocol, aExclude, aInclude), aText);
  };
  aEvents.OnBroadCastBinary = [this](TzorStringStream& aStream, const std::string& aChannel,
                                     const std::string& aProtocol, const std::string& aExclude,
                                     const std::string& aInclude, int32_t, TwsStreaming) {
    FServer.BroadcastOwn(BroadcastFilter(aChannel, aProtocol, aExclude, aInclude), aStream);
  };
}

bool TzorWSLoadBalancerServerLink::LinkConnected() {
  if (OnLoadBalancerConnect) OnLoadBalancerConnect();
  TzorWSLoadBalancerServerData identity;
  identity.FGuid = FOptions.Guid();
  bool sent = FLink.WriteControl(identity.Write());
  if (FOptions.AutoRegisterBindings()) {
    for (const TzorWSLoadBalancerServerBinding& binding : FServer.ListeningBindings())
      sent &= FLink.WriteControl(binding.Write());
  }
  for (const std::string& entry : FOptions.Bindings()) {
    TzorWSLoadBalancerServerBinding binding;
    try {
      if (!SplitWSEndpoint(entry, binding.FSSL, binding.FHost, binding.FPort)) continue;
    } catch (const EConvertError& e) {
      if (OnLoadBalancerError) OnLoadBalancerError("Load balancer: binding \"" + entry + "\" skipped: " + e.what());
      continue;
    }
    sent &= FLink.WriteControl(binding.Write());
  }
  for (const TzorWSLoadBalancerClientConnection& connection : FServer.OwnConnections())
    sent &= FLink.WriteControl(connection.Write());
  return FLink.WriteControl(std::string(kLBServerReady)) && sent;
}

bool TzorWSLoadBalancerServerLink::ConnectionChanged(const TzorWSLoadBalancerClientConnection& aConnection) {
  return FLink.WriteControl(aConnection.Write());
}

bool TzorWSLoadBalancerServerLink::WriteData(const std::string& aGuid, const std::string& aMessage) {
  return FServer.WriteOwn(aGuid, aMessage) || FLink.WriteData(aGuid, aMessage);
}

bool TzorWSLoadBalancerServerLink::WriteData(const std::string& aGuid, TzorStringStream& aStream) {
  return FServer.WriteOwn(aGuid, aStream) || FLink.WriteData(aGuid, aStream, 0, stmNone);
}

bool TzorWSLoadBalancerServerLink::Broadcast(const std::string& aMessage, const std::string& aChannel,
                                             const std::string& aProtocol, const std::string& Exclude,
                                             const std::string& Include) {
  return FLink.Broadcast(aMessage, aChannel, aProtocol, Exclude, Include);
}

bool TzorWSLoadBalancerServerLink::Broadcast(TzorStringStream& aStream, const std::string& aChannel,
                                             const std::string& aProtocol, const std::string& Exclude,
                                             const std::string& Include) {
  return FLink.Broadcast(aStream, aChannel, aProtocol, Exclude, Include, 0, stmNone);
}

void TzorWSLoadBalancerServerLink::Deliver(bool aDelivered, const std::string& aGuid) {
  if (!aDelivered && OnLoadBalancerError)
    OnLoadBalancerError("Load balancer: no connection " + aGuid + " on this server; message dropped");
}

}  // namespace zor
