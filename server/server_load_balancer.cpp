#include "server/server_load_balancer.h"

#include "server/ws_http_server.h"
#include "websocket/lb_filter.h"

namespace zor {

namespace {

bool Open(const TzorWSConnection& aConnection) {
  return aConnection.Enabled() && !aConnection.Disconnected() && !aConnection.IsInternal();
}

TzorWSLoadBalancerClientConnection Announcement(const TzorWSConnection& aConnection, bool aActive) {
  TzorWSLoadBalancerClientConnection announcement;
  announcement.FActive = aActive;
  announcement.FGuid = aConnection.Guid();
  announcement.FIP = aConnection.IP();
  for (const std::string& channel : aConnection.Subscriptions()) announcement.FChannel += channel + "\r\n";
  announcement.FProtocol = aConnection.Protocol();
  return announcement;
}

bool Reaches(const TzorWSConnection& aConnection, const TzorWSLoadBalancerAddress& aFilter) {
  return Open(aConnection) && (aFilter.FChannel.empty() || aConnection.Subscribed(aFilter.FChannel)) &&
         MatchesBroadcast(aFilter, aConnection.Guid(), aConnection.Protocol());
}

}  // namespace

TzorWSServerLoadBalancer::TzorWSServerLoadBalancer(TzorWSHTTPServer& aServer) : FServer(aServer) {
  FServerLink.OnLoadBalancerConnect = [this] {
    if (FServer.OnLoadBalancerConnect) FServer.OnLoadBalancerConnect(&FServer);
  };
  FServerLink.OnLoadBalancerError = [this](const std::string& aError) { ReportError(aError); };
}

TzorWSLoadBalancerClient& TzorWSServerLoadBalancer::Client() {
  std::call_once(FClientMade, [this] {
    auto client = std::make_unique<TzorWSLoadBalancerClient>();
    client->OnConnect = [this](TzorWSConnection*) {
      std::lock_guard guard(FAnnounceLock);
      FAnnouncing = true;
      FAnnounced.clear();
      FServerLink.LinkConnected();
    };
    client->OnDisconnect = [this](TzorWSConnection*, int) {
      {
        std::lock_guard guard(FAnnounceLock);
        FAnnouncing = false;
        FAnnounced.clear();
      }
      if (FServer.OnLoadBalancerDisconnect) FServer.OnLoadBalancerDisconnect(&FServer);
    };
    client->OnError = [this](TzorWSConnection*, const std::string& aError) { ReportError(aError); };
    client->OnException = [this](TzorWSConnection*, const std::exception& e) { ReportError(e.what()); };
    client->OnLoadBalancerError = [this](TzorWSClient*, const std::string& aError) { ReportError(aError); };
    FServerLink.Serve(*client);
    FClient = std::move(client);
    FMadeClient.store(FClient.get(), std::memory_order_release);
  });
  return *FClient;
}

void TzorWSServerLoadBalancer::Start() {
  if (!Enabled()) return;
  TzorWSLoadBalancerClient& client = Client();
  client.SetHost(Options().Host());
  client.SetPort(Options().Port());
  client.WatchDog().SetEnabled(Options().AutoRestart() > 0);
  if (Options().AutoRestart() > 0) client.WatchDog().SetInterval(Options().AutoRestart());
  client.Start();
}

void TzorWSServerLoadBalancer::Stop() {
  if (TzorWSLoadBalancerClient* client = MadeClient()) client->SetActive(false);
}

void TzorWSServerLoadBalancer::ConnectionChanged(TzorWSConnection& aConnection, bool aActive) {
  std::lock_guard guard(FAnnounceLock);
  if (!FAnnouncing) return;
  const bool changed = aActive ? FAnnounced.insert(aConnection.Guid()).second : FAnnounced.erase(aConnection.Guid()) > 0;
  if (changed) FServerLink.ConnectionChanged(Announcement(aConnection, aActive));
}

bool TzorWSServerLoadBalancer::WriteData(const std::string& aGuid, const std::string& aText) {
  return Enabled() ? FServerLink.WriteData(aGuid, aText) : WriteOwn(aGuid, aText);
}

bool TzorWSServerLoadBalancer::WriteData(const std::string& aGuid, TzorStringStream& aStream) {
  return Enabled() ? FServerLink.WriteData(aGuid, aStream) : WriteOwn(aGuid, aStream);
}

bool TzorWSServerLoadBalancer::Broadcast(const std::string& aText, const TzorWSLoadBalancerAddress& aFilter) {
  if (!Enabled()) {
    BroadcastOwn(aFilter, aText);
    return true;
  }
  return FServerLink.Broadcast(aText, aFilter.FChannel, aFilter.FProtocol, aFilter.FExclude, aFilter.FInclude);
}

bool TzorWSServerLoadBalancer::Broadcast(TzorStringStream& aStream, const TzorWSLoadBalancerAddress& aFilter) {
  if (!Enabled()) {
    BroadcastOwn(aFilter, aStream);
    return true;
  }
  return FServerLink.Broadcast(aStream, aFilter.FChannel, aFilter.FProtocol, aFilter.FExclude, aFilter.FInclude);
}

void TzorWSServerLoadBalancer::BroadcastOwn(const TzorWSLoadBalancerAddress& aFilter, const std::string& aText) {
  DeliverToAll(aFilter, aText);
}

void TzorWSServerLoadBalancer::BroadcastOwn(const TzorWSLoadBalancerAddress& aFilter, TzorStringStream& aStream) {
  DeliverToAll(aFilter, aStream);
}

template <class Data>
void TzorWSServerLoadBalancer::DeliverToAll(const TzorWSLoadBalancerAddress& aFilter, const Data& aData) {
  for (const auto& connection : FServer.Connections()) {
    if (!Reaches(*connection, aFilter)) continue;
    try {
      connection->WriteData(aData);
    } catch (const std::exception&) {
      // one client's failure does not stop the others
    }
  }
}

std::vector<TzorWSLoadBalancerServerBinding> TzorWSServerLoadBalancer::ListeningBindings() {
  if (!FServer.Active()) return {};
  return {{FServer.Address(), FServer.ListeningPort(), FServer.SSL()}};
}

std::vector<TzorWSLoadBalancerClientConnection> TzorWSServerLoadBalancer::OwnConnections() {
  // Called by the link's connect, under FAnnounceLock.
  std::vector<TzorWSLoadBalancerClientConnection> announcements;
  for (const auto& connection : FServer.Connections()) {
    if (Open(*connection) && FAnnounced.insert(connection->Guid()).second)
      announcements.push_back(Announcement(*connection, true));
  }
  return announcements;
}

bool TzorWSServerLoadBalancer::WriteOwn(const std::string& aGuid, const std::string& aText) {
  return WriteHeld(aGuid, aText);
}

bool TzorWSServerLoadBalancer::WriteOwn(const std::string& aGuid, TzorStringStream& aStream) {
  return WriteHeld(aGuid, aStream);
}

// True when the server holds the connection; a failed write is reported
// for that connection (which is dropped) and goes nowhere else.
template <class Data>
bool TzorWSServerLoadBalancer::WriteHeld(const std::string& aGuid, const Data& aData) {
  auto connection = FServer.ConnectionByGuid(aGuid);
  if (!connection) return false;
  try {
    connection->WriteData(aData);
  } catch (const std::exception& e) {
    FServer.ReportError(connection.get(), e.what());
  }
  return true;
}

bool TzorWSServerLoadBalancer::SendText(const std::string& aText) {
  TzorWSLoadBalancerClient* client = MadeClient();
  return client && client->SendText(aText);
}

bool TzorWSServerLoadBalancer::SendBinary(const std::string& aBytes) {
  TzorWSLoadBalancerClient* client = MadeClient();
  return client && client->SendBinary(aBytes);
}

void TzorWSServerLoadBalancer::ReportError(const std::string& aError) {
  if (FServer.OnLoadBalancerError) FServer.OnLoadBalancerError(&FServer, aError);
}

}  // namespace zor
