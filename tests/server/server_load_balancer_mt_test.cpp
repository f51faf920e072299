// The server component with its load-balancer link enabled, against a
// stand-in balancer, with real clients: what it announces when the link comes
// up (again) and as clients come and go, what it does with each message the
// balancer sends, and where its writes and broadcasts go.
#include "server/server_load_balancer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "server/ws_http_server.h"
#include "tests/server/lb_stand_in.h"

namespace zor {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Framed(const std::string& aGuid, const std::string& aText, const std::string& aChannel = "",
                   const std::string& aExclude = "") {
  TzorWSLoadBalancerMessage message;
  message.FGuid = aGuid;
  message.FText = aText;
  message.FChannel = aChannel;
  message.FExclude = aExclude;
  return message.Write();
}

std::string Announced(bool aActive, const std::string& aGuid, const std::string& aChannel = "") {
  return std::string(R"(T:{"method":"zor@lb@client@connection","active":)") + (aActive ? "true" : "false") +
         R"(,"guid":")" + aGuid + R"(","ip":"127.0.0.1","channel":")" + aChannel + R"(","protocol":""})";
}

const std::string kIdentity = R"(T:{"method":"zor@lb@server@data","guid":"S1"})";
const std::string kReady = "T:zor@lb@server@ready";

// A client of the server, with what it received.
struct Client {
  TzorWSClient ws;
  test::Mailbox<std::string> inbox;
  std::string guid;  // its connection's guid on the server
};

class ServerLoadBalancer : public ::testing::Test {
 protected:
  ServerLoadBalancer() {
    server.SetPort(0);
    server.SetAddress("127.0.0.1");
    server.SetThreadPoolSize(2);
    server.SetNotifyEvents(neNoSync);
    server.LoadBalancer().SetEnabled(true);
    server.LoadBalancer().SetHost("127.0.0.1");
    server.LoadBalancer().SetPort(balancer.Port());
    server.LoadBalancer().SetGuid("S1");
    server.OnConnect = [this](TzorWSConnection* c) { opened.Put(c->Guid()); };
    server.OnLoadBalancerConnect = [this](TzorComponent_Base*) { linkUps.Put(1); };
    server.OnLoadBalancerDisconnect = [this](TzorComponent_Base*) { linkDowns.Put(1); };
    server.OnLoadBalancerError = [this](TzorComponent_Base*, const std::string& e) { errors.Put(e); };
  }
  ~ServerLoadBalancer() override { server.SetActive(false); }

  void Join(Client& c) {
    c.ws.SetNotifyEvents(neNoSync);
    c.ws.SetHost("127.0.0.1");
    c.ws.SetPort(server.ListeningPort());
    c.ws.OnMessage = [&c](TzorWSConnection*, const std::string& text) { c.inbox.Put(text); };
    c.ws.OnBinary = [&c](TzorWSConnection*, const TzorStringStream& data) {
      c.inbox.Put("binary " + data.DataString());
    };
    const size_t before = opened.Now().size();
    EXPECT_TRUE(c.ws.Connect(20000));
    const auto guids = opened.WaitFor(before + 1);
    if (guids.size() > before) c.guid = guids[before];
  }

  test::StandInBalancer balancer;
  TzorWSHTTPServer server;
  test::Mailbox<std::string> opened, errors;
  test::Mailbox<int> linkUps, linkDowns;
};

TEST_F(ServerLoadBalancer, AnnouncesItselfAndItsClientsWhenTheLinkComesUpAndAsClientsComeAndGo) {
  server.LoadBalancer().SetAutoRegisterBindings(true);
  server.LoadBalancer().SetBindings({"wss:lb1:443"});
  server.LoadBalancer().SetAutoRestart(1);
  server.SetActive(true);
  const std::string listening = R"(T:{"method":"zor@lb@server@binding","host":"127.0.0.1","port":)" +
                                std::to_string(server.ListeningPort()) + R"(,"ssl":false})";
  const std::string configured = R"(T:{"method":"zor@lb@server@binding","host":"lb1","port":443,"ssl":true})";
  EXPECT_THAT(balancer.received.WaitFor(4), ElementsAre(kIdentity, listening, configured, kReady));

  Client first, second;
  Join(first);
  EXPECT_THAT(balancer.received.WaitFor(5), Contains(Announced(true, first.guid)));
  first.ws.Disconnect(20000);
  EXPECT_THAT(balancer.received.WaitFor(6), Contains(Announced(false, first.guid)));
  Join(second);
  ASSERT_EQ(balancer.received.WaitFor(7).size(), 7u);

  // The link is lost; the watchdog brings it back and the server announces
  // everything again, the client it still holds included, with its channels.
  server.ConnectionByGuid(second.guid)->DoSubscribe("news,sport");
  balancer.received.Clear();
  balancer.WaitForLink()->DropConnection();
  ASSERT_EQ(linkUps.WaitFor(2).size(), 2u);
  EXPECT_EQ(linkDowns.Now().size(), 1u);
  EXPECT_THAT(balancer.received.WaitFor(5),
              ElementsAre(kIdentity, listening, configured, Announced(true, second.guid, R"(news\r\nsport\r\n)"),
                          kReady));
}

TEST_F(ServerLoadBalancer, WhatTheBalancerSendsReachesTheServersOwnConnections) {
  server.SetActive(true);
  auto link = balancer.WaitForLink();
  ASSERT_TRUE(link);
  Client news, other;
  Join(news);
  Join(other);
  server.ConnectionByGuid(news.guid)->DoSubscribe("news");

  link->WriteData(Framed(other.guid, "direct"));
  link->WriteData(Framed("", "headline", "news"));
  link->WriteData(Framed("", "not for news", "", news.guid));
  TzorWSLoadBalancerBinary binary;
  binary.FGuid = news.guid;
  TzorStringStream data(std::string("bin"));
  binary.Write(data);
  link->WriteData(data);
  link->WriteData(Framed("NOBODY", "lost"));

  EXPECT_THAT(news.inbox.WaitFor(2), ElementsAre("headline", "binary bin"));
  EXPECT_THAT(other.inbox.WaitFor(2), ElementsAre("direct", "not for news"));
  EXPECT_THAT(errors.WaitFor(1), ElementsAre("Load balancer: no connection NOBODY on this server; message dropped"));
}

TEST_F(ServerLoadBalancer, WritesGoToOwnConnectionsFirstAndBroadcastsOverTheLinkOnly) {
  server.SetActive(true);
  Client mine;
  Join(mine);
  ASSERT_THAT(balancer.received.WaitFor(3), Contains(Announced(true, mine.guid)));
  balancer.received.Clear();

  EXPECT_TRUE(server.WriteData(mine.guid, "mine"));
  EXPECT_TRUE(server.WriteData("ELSEWHERE", "yours"));
  TzorStringStream data(std::string("bin"));
  EXPECT_TRUE(server.WriteData("ELSEWHERE", data));
  EXPECT_TRUE(server.Broadcast("everyone", "", "", "", ""));
  EXPECT_TRUE(server.WriteData(mine.guid, "after"));
  EXPECT_THAT(balancer.received.WaitFor(3),
              ElementsAre("T:" + Framed("ELSEWHERE", "yours"), "B:0000000009ELSEWHEREbin", "T:" + Framed("", "everyone")));
  // Not "everyone": that comes back only from the balancer.
  EXPECT_THAT(mine.inbox.WaitFor(2), ElementsAre("mine", "after"));

  balancer.Stop();
  ASSERT_EQ(linkDowns.WaitFor(1).size(), 1u);
  EXPECT_FALSE(server.WriteData("ELSEWHERE", "lost"));
  EXPECT_FALSE(server.Broadcast("lost", "", "", "", ""));
  EXPECT_THAT(errors.Now(), Contains("Load balancer: link is down; message not sent"));
}

TEST_F(ServerLoadBalancer, WithoutTheLinkTheServerServesItsOwnConnections) {
  server.LoadBalancer().SetEnabled(false);
  server.SetActive(true);
  Client mine;
  Join(mine);
  EXPECT_FALSE(server.WriteData("ELSEWHERE", "nowhere"));
  EXPECT_TRUE(server.Broadcast("everyone", "", "", "", ""));
  EXPECT_TRUE(server.WriteData(mine.guid, "mine"));
  EXPECT_THAT(mine.inbox.WaitFor(2), ElementsAre("everyone", "mine"));
  EXPECT_THAT(errors.Now(), IsEmpty());
  EXPECT_THAT(balancer.links.Now(), IsEmpty());
}

}  // namespace
}  // namespace zor
