#include "websocket/lb_server_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "tests/websocket/lb_test_support.h"
#include "websocket/lb_filter.h"

namespace zor {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A server holding a few connections; records what reaches them.
class FakeServer : public IzorLoadBalancedServer {
 public:
  std::vector<TzorWSLoadBalancerServerBinding> ListeningBindings() override { return listening; }
  std::vector<TzorWSLoadBalancerClientConnection> OwnConnections() override { return connections; }
  bool WriteOwn(const std::string& aGuid, const std::string& aText) override { return Deliver(aGuid, aText); }
  bool WriteOwn(const std::string& aGuid, TzorStringStream& aStream) override {
    return Deliver(aGuid, aStream.DataString());
  }
  void BroadcastOwn(const TzorWSLoadBalancerAddress& aFilter, const std::string& aText) override {
    for (const auto& connection : connections) {
      if (MatchesBroadcast(aFilter, connection.FGuid, connection.FProtocol)) Deliver(connection.FGuid, aText);
    }
  }
  void BroadcastOwn(const TzorWSLoadBalancerAddress& aFilter, TzorStringStream& aStream) override {
    BroadcastOwn(aFilter, aStream.DataString());
  }

  std::vector<TzorWSLoadBalancerServerBinding> listening;
  std::vector<TzorWSLoadBalancerClientConnection> connections;
  std::vector<std::string> delivered;  // "guid: data"

 private:
  bool Deliver(const std::string& aGuid, const std::string& aData) {
    for (const auto& connection : connections) {
      if (connection.FGuid == aGuid) {
        delivered.push_back(aGuid + ": " + aData);
        return true;
      }
    }
    return false;
  }
};

class LoadBalancerServerLink : public ::testing::Test {
 protected:
  LoadBalancerServerLink() {
    server.connections = {{true, "", "10.0.0.7", "C1", "chat"}, {true, "news\r\n", "10.0.0.8", "C2", ""}};
    link.LoadBalancer().SetGuid("S1");
    link.OnLoadBalancerError = [this](const std::string& aError) { errors.push_back(aError); };
  }

  FakeServer server;
  test::RecordingLinkTransport transport;
  TzorWSLoadBalancerServerLink link{server, transport};
  std::vector<std::string> errors;
};

TEST_F(LoadBalancerServerLink, LinkConnectedAnnouncesIdentityBindingsConnectionsThenReady) {
  server.listening = {{"0.0.0.0", 80, false}, {"0.0.0.0", 443, true}};
  link.LoadBalancer().SetAutoRegisterBindings(true);
  link.LoadBalancer().SetBindings({"wss:lb1:443", "no-port", "ws:lb2:http"});
  bool connectRaised = false;
  link.OnLoadBalancerConnect = [&] { connectRaised = transport.sent.empty(); };  // before anything is sent
  EXPECT_TRUE(link.LinkConnected());
  EXPECT_TRUE(connectRaised);
  EXPECT_THAT(
      transport.sent,
      ElementsAre(R"(T:{"method":"zor@lb@server@data","guid":"S1"})",
                  R"(T:{"method":"zor@lb@server@binding","host":"0.0.0.0","port":80,"ssl":false})",
                  R"(T:{"method":"zor@lb@server@binding","host":"0.0.0.0","port":443,"ssl":true})",
                  R"(T:{"method":"zor@lb@server@binding","host":"lb1","port":443,"ssl":true})",
                  R"(T:{"method":"zor@lb@client@connection","active":true,"guid":"C1","ip":"10.0.0.7","channel":"","protocol":"chat"})",
                  R"(T:{"method":"zor@lb@client@connection","active":true,"guid":"C2","ip":"10.0.0.8","channel":"news\r\n","protocol":""})",
                  "T:zor@lb@server@ready"));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_THAT(errors[0], ::testing::StartsWith("Load balancer: binding \"ws:lb2:http\" skipped: "));
}

TEST_F(LoadBalancerServerLink, ListeningSocketsAreAnnouncedOnlyWhenAskedTo) {
  server.listening = {{"0.0.0.0", 80, false}};
  server.connections.clear();
  EXPECT_TRUE(link.LinkConnected());
  EXPECT_THAT(transport.sent, ElementsAre(R"(T:{"method":"zor@lb@server@data","guid":"S1"})", "T:zor@lb@server@ready"));
}

TEST_F(LoadBalancerServerLink, LinkConnectedOnADeadLinkReportsFailure) {
  transport.connected = false;
  EXPECT_FALSE(link.LinkConnected());
  EXPECT_EQ(errors.size(), 4u);  // identity, two connections, ready: each reported
}

TEST_F(LoadBalancerServerLink, ConnectionsComingAndGoingAreAnnounced) {
  EXPECT_TRUE(link.ConnectionChanged({false, "", "10.0.0.7", "C1", "chat"}));
  EXPECT_THAT(transport.sent, ElementsAre(R"(T:{"method":"zor@lb@client@connection","active":false,"guid":"C1","ip":"10.0.0.7","channel":"","protocol":"chat"})"));
}

TEST_F(LoadBalancerServerLink, WriteDataTriesOwnConnectionsFirstThenTheLink) {
  EXPECT_TRUE(link.WriteData("C1", "mine"));
  EXPECT_THAT(transport.sent, IsEmpty());
  EXPECT_TRUE(link.WriteData("ELSEWHERE", "yours"));
  TzorStringStream data(std::string("bin"));
  EXPECT_TRUE(link.WriteData("ELSEWHERE", data));
  EXPECT_THAT(server.delivered, ElementsAre("C1: mine"));
  EXPECT_THAT(transport.sent,
              ElementsAre(R"(T:073{"guid":"ELSEWHERE","channel":"","protocol":"","include":"","exclude":""}yours)",
                          "B:0000000009ELSEWHEREbin"));

  transport.connected = false;
  EXPECT_FALSE(link.WriteData("ELSEWHERE", "lost"));
  EXPECT_THAT(errors, ElementsAre("Load balancer: link is down; message not sent"));
}

TEST_F(LoadBalancerServerLink, BroadcastGoesOverTheLinkOnly) {
  EXPECT_TRUE(link.Broadcast("all", "", "", "", ""));
  EXPECT_THAT(server.delivered, IsEmpty());
  EXPECT_EQ(transport.sent.size(), 1u);
}

TEST_F(LoadBalancerServerLink, WhatTheBalancerSendsReachesOwnConnections) {
  TzorWSLoadBalancerMessage message;
  message.FGuid = "C2";
  message.FText = "direct";
  link.Link().ClientMessage(message.Write());
  message.FGuid = "GONE";
  link.Link().ClientMessage(message.Write());
  message.FGuid.clear();
  message.FText = "to chat";
  message.FProtocol = "chat";
  link.Link().ClientMessage(message.Write());
  link.Link().ClientBinary(std::string("0000000000") + "to all");
  link.Link().ClientBinary(std::string("0000000002C1") + "bin");
  EXPECT_THAT(server.delivered, ElementsAre("C2: direct", "C1: to chat", "C1: to all", "C2: to all", "C1: bin"));
  EXPECT_THAT(errors, ElementsAre("Load balancer: no connection GONE on this server; message dropped"));
}

TEST(LoadBalancerServerOptions, AssignCopiesEveryOptionAndRefusesOtherClasses) {
  TzorWSLoadBalancerServer_Options from;
  from.SetAutoRegisterBindings(true);
  from.SetAutoRestart(5);
  from.SetEnabled(true);
  from.SetHost("lb");
  from.SetPort(8080);
  from.SetBindings({"ws:a:1"});
  from.SetGuid("S9");
  TzorWSLoadBalancerServer_Options to;
  to.Assign(from);
  EXPECT_TRUE(to.AutoRegisterBindings());
  EXPECT_EQ(to.AutoRestart(), 5);
  EXPECT_TRUE(to.Enabled());
  EXPECT_EQ(to.Host(), "lb");
  EXPECT_EQ(to.Port(), 8080);
  EXPECT_THAT(to.Bindings(), ElementsAre("ws:a:1"));
  EXPECT_EQ(to.Guid(), "S9");
  TPersistent other;
  EXPECT_THROW(to.Assign(other), EConvertError);
}

}  // namespace
}  // namespace zor
