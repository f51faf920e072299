#include "websocket/lb_client.h"

namespace zor {

TzorWSLoadBalancerClient::TzorWSLoadBalancerClient() : TzorWSLoadBalancerLinkHolder(*this, *this) {
  SetNotifyEvents(neNoSync);
  Options().SetParameters(std::string(kLBLinkPath));
  FLink.OnError = [this](const std::string& aError) {
    if (OnLoadBalancerError && !Destroying()) OnLoadBalancerError(this, aError);
  };
}

TzorWSLoadBalancerClient::~TzorWSLoadBalancerClient() { EndThreads(); }

template <class Data>
bool TzorWSLoadBalancerClient::Send(const Data& aData) {
  auto connection = Connection();
  if (!connection || !connection->Enabled() || connection->Disconnected()) return false;
  try {
    connection->WriteData(aData);
    return true;
  } catch (const std::exception& e) {
    ReportError(connection.get(), e.what());
    return false;
  }
}

bool TzorWSLoadBalancerClient::SendText(const std::string& aText) { return Send(aText); }

bool TzorWSLoadBalancerClient::SendBinary(const std::string& aBytes) { return Send(TzorStringStream(aBytes)); }

template <class Read>
void TzorWSLoadBalancerClient::Receive(TzorWSConnection* aConnection, const Read& aRead) {
  if (Destroying()) return;
  try {
    aRead();
  } catch (const std::exception& e) {
    ReportError(aConnection, e.what());
  }
}

void TzorWSLoadBalancerClient::OnClientMessageEvent(TzorWSConnection* aConnection, const std::string& aText) {
  Receive(aConnection, [&] { FLink.ClientMessage(aText); });
}

void TzorWSLoadBalancerClient::OnClientBinaryEvent(TzorWSConnection* aConnection, const TzorStringStream& aStream) {
  Receive(aConnection, [&] { FLink.ClientBinary(aStream.DataString()); });
}

void TzorWSLoadBalancerClient::OnClientFragmentedEvent(TzorWSConnection* aConnection, const TzorStringStream& aData,
                                                       TOpcode aOpCode, bool) {
  Receive(aConnection, [&] { FLink.ClientFragment(aData.DataString(), aOpCode); });
}

}  // namespace zor
