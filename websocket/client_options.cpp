#include "websocket/client_options.h"

namespace zor {

void TzorWSOptionsClient::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorWSOptionsClient*>(&source);
  if (!from) return TPersistent::Assign(source);
  FCleanDisconnect = from->FCleanDisconnect;
  FParameters = from->FParameters;
  FFragmentedMessages = from->FFragmentedMessages;
  FOrigin = from->FOrigin;
  FRaiseDisconnectExceptions = from->FRaiseDisconnectExceptions;
  FValidateUTF8 = from->FValidateUTF8;
}

void TzorWSTLS_Options::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorWSTLS_Options*>(&source);
  if (!from) return TzorTCPTLS_Options::Assign(source);
  AssignBaseFields(*from, true);
  SetIOHandler(from->IOHandler());
  SetALPNProtocols(from->ALPNProtocols());
  OpenSSL_Options().Assign(from->OpenSSL_Options());
  SChannel_Options().Assign(from->SChannel_Options());
}

void TzorWSThrottle::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorWSThrottle*>(&source);
  if (!from) return TPersistent::Assign(source);
  FBitsPerSec = from->FBitsPerSec;
  FEnabled = from->FEnabled;
}

void TzorWSLoadBalancerClient_Options::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorWSLoadBalancerClient_Options*>(&source);
  if (!from) return TPersistent::Assign(source);
  FEnabled = from->FEnabled;
  FHost = from->FHost;
  FPort = from->FPort;
  FServers = from->FServers;
}

}  // namespace zor
