// The load balancer and two servers linked to it, each a process of its own
// (tools/load-balancer, tools/lb-server), with clients of our WebSocket
// client: a client on server A reaches a client on server B by guid, a
// broadcast reaches the clients of both, a client asking the balancer for a
// server is sent to one of them, and when server B and then the balancer go
// away and come back, the links recover through their watchdogs and the
// servers announce their clients again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "tests/interop/peer_process.h"
#include "websocket/ws_client.h"

namespace zor {
namespace {

using ::testing::Contains;

class Client {
 public:
  explicit Client(uint16_t aPort) {
    ws_.SetNotifyEvents(neNoSync);
    ws_.SetHost("127.0.0.1");
    ws_.SetPort(aPort);
    ws_.OnMessage = [this](TzorWSConnection*, const std::string& aText) {
      std::lock_guard guard(lock_);
      inbox_.push_back(aText);
      arrived_.notify_all();
    };
  }

  TzorWSClient& WS() { return ws_; }

  // Connects and asks the server for the guid it knows this client by.
  bool Join() {
    if (!ws_.Connect(20000)) return false;
    ws_.WriteData(std::string("whoami"));
    if (!WaitFor([](const std::string& aText) { return aText.starts_with("you "); })) return false;
    std::lock_guard guard(lock_);
    for (const std::string& text : inbox_)
      if (text.starts_with("you ")) guid_ = text.substr(4);
    inbox_.clear();
    return true;
  }
  const std::string& Guid() const { return guid_; }
  void Send(const std::string& aText) { ws_.WriteData(aText); }

  // Waits (a delivery wait, not a measurement) up to `seconds` for the text.
  bool Received(const std::string& aText, int seconds = 20) {
    return WaitFor([&](const std::string& aCame) { return aCame == aText; }, seconds);
  }

 private:
  template <class Match>
  bool WaitFor(Match aMatch, int seconds = 20) {
    std::unique_lock guard(lock_);
    return arrived_.wait_for(guard, std::chrono::seconds(seconds), [&] {
      return std::any_of(inbox_.begin(), inbox_.end(), aMatch);
    });
  }

  std::mutex lock_;
  std::condition_variable arrived_;
  std::vector<std::string> inbox_;
  std::string guid_;
  // Last, so that it goes first: its IO thread fills the inbox until then.
  TzorWSClient ws_;
};

// A message for another server's client is routed once the balancer has
// heard that server announce it; the announcement travels on the other link,
// so the message is sent again until it arrives.
bool Delivered(Client& aFrom, const std::string& aCommand, Client& aTo, const std::string& aText) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    aFrom.Send(aCommand);
    if (aTo.Received(aText, 1)) return true;
  }
  return false;
}

size_t Count(const std::string& aText, const std::string& aWhat) {
  size_t count = 0;
  for (size_t at = aText.find(aWhat); at != std::string::npos; at = aText.find(aWhat, at + 1)) ++count;
  return count;
}

// Waits (a start-up wait) until the peer printed `what` `count` times.
bool Printed(const test::PeerProcess& aPeer, const std::string& aWhat, size_t aCount) {
  for (int i = 0; i < 1500 && Count(aPeer.Output(), aWhat) < aCount; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return Count(aPeer.Output(), aWhat) >= aCount;
}

class ThreeProcesses : public ::testing::Test {
 protected:
  std::unique_ptr<test::PeerProcess> StartBalancer() {
    auto balancer = std::make_unique<test::PeerProcess>(
        std::vector<std::string>{"env", ZOR_LOAD_BALANCER, std::to_string(balancerPort)},
        testing::TempDir() + "lb_balancer_" + std::to_string(++starts) + ".log");
    EXPECT_TRUE(balancer->WaitForOutput("listening on 127.0.0.1:" + std::to_string(balancerPort)))
        << balancer->Output();
    return balancer;
  }
  std::unique_ptr<test::PeerProcess> StartServer(const std::string& aGuid, uint16_t aPort) {
    auto server = std::make_unique<test::PeerProcess>(
        std::vector<std::string>{"env", ZOR_LB_SERVER, "--balancer", std::to_string(balancerPort), "--port",
                                 std::to_string(aPort), "--guid", aGuid, "--auto-restart", "1"},
        testing::TempDir() + "lb_server_" + aGuid + "_" + std::to_string(++starts) + ".log");
    EXPECT_TRUE(server->WaitForOutput("listening on port " + std::to_string(aPort))) << server->Output();
    return server;
  }

  const uint16_t balancerPort = test::FreeLoopbackPort();
  const uint16_t portA = test::FreeLoopbackPort();
  const uint16_t portB = test::FreeLoopbackPort();
  int starts = 0;
};

TEST_F(ThreeProcesses, ClientsOfTwoServersReachEachOtherThroughTheBalancerAndLinksRecover) {
  auto balancer = StartBalancer();
  auto serverA = StartServer("SA", portA);
  auto serverB = StartServer("SB", portB);
  ASSERT_TRUE(Printed(*serverA, "link up", 1)) << serverA->Output();
  ASSERT_TRUE(Printed(*serverB, "link up", 1)) << serverB->Output();

  Client onA(portA), onB(portB);
  ASSERT_TRUE(onA.Join());
  ASSERT_TRUE(onB.Join());
  EXPECT_TRUE(Delivered(onA, "to " + onB.Guid() + " hello B", onB, "hello B")) << balancer->Output();
  EXPECT_TRUE(Delivered(onB, "to " + onA.Guid() + " hello A", onA, "hello A")) << balancer->Output();
  onA.Send("all news");
  EXPECT_TRUE(onA.Received("news"));
  EXPECT_TRUE(onB.Received("news"));

  // A client that asks the balancer for a server is sent to one of the two.
  Client picked(0);
  picked.WS().LoadBalancer().SetEnabled(true);
  picked.WS().LoadBalancer().SetHost("127.0.0.1");
  picked.WS().LoadBalancer().SetPort(balancerPort);
  ASSERT_TRUE(picked.Join());
  EXPECT_THAT((std::vector<int32_t>{portA, portB}), Contains(picked.WS().Port()));
  onA.Send("all to three");
  EXPECT_TRUE(picked.Received("to three"));

  // Server B goes away, and so does the balancer; B comes back first, its
  // link failing until the balancer is back. Both links recover through
  // their watchdogs, and A announces the client it kept all along.
  serverB->Stop();
  balancer->Stop();
  serverB = StartServer("SB", portB);
  Client againOnB(portB);
  ASSERT_TRUE(againOnB.Join());
  balancer = StartBalancer();
  ASSERT_TRUE(Printed(*serverA, "link up", 2)) << serverA->Output();
  ASSERT_TRUE(Printed(*serverB, "link up", 1)) << serverB->Output();
  EXPECT_TRUE(Delivered(onA, "to " + againOnB.Guid() + " welcome back", againOnB, "welcome back"))
      << balancer->Output();
  EXPECT_TRUE(Delivered(againOnB, "to " + onA.Guid() + " thanks", onA, "thanks")) << balancer->Output();
  againOnB.Send("all together");
  EXPECT_TRUE(onA.Received("together"));
  EXPECT_TRUE(againOnB.Received("together"));
}

}  // namespace
}  // namespace zor
