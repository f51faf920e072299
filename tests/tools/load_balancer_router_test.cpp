#include "tools/load-balancer/load_balancer_router.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zor {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr TzorLinkId kA = 1, kB = 2, kC = 3;

class LoadBalancerRouter : public ::testing::Test {
 protected:
  LoadBalancerRouter() {
    router.OnLog = [this](TzorLinkId aLink, const std::string& aText) { log.push_back(std::to_string(aLink) + " " + aText); };
    for (TzorLinkId link : {kA, kB}) router.LinkOpened(link);
  }

  void Announce(TzorLinkId aLink, const std::string& aGuid, const std::string& aProtocol = "", bool aActive = true) {
    TzorWSLoadBalancerClientConnection connection{aActive, "", "127.0.0.1", aGuid, aProtocol};
    EXPECT_THAT(router.TextReceived(aLink, connection.Write()), IsEmpty());
  }

  void Identify(TzorLinkId aLink, const std::string& aServer, int aPort) {
    TzorWSLoadBalancerServerData identity{aServer};
    TzorWSLoadBalancerServerBinding binding{"127.0.0.1", aPort, false};
    router.TextReceived(aLink, identity.Write());
    router.TextReceived(aLink, binding.Write());
    router.TextReceived(aLink, std::string(kLBServerReady));
  }

  // The links a text broadcast with these filters goes to.
  std::vector<TzorLinkId> BroadcastTargets(const std::string& aProtocol, const std::string& aInclude,
                                           const std::string& aExclude) {
    TzorWSLoadBalancerMessage message;
    message.FChannel = "news";
    message.FProtocol = aProtocol;
    message.FInclude = aInclude;
    message.FExclude = aExclude;
    message.FText = "hi";
    std::vector<TzorLinkId> links;
    for (const TzorLinkAction& action : router.TextReceived(kA, message.Write())) {
      EXPECT_EQ(action.FKind, TzorLinkAction::laSendText);
      EXPECT_EQ(action.FData, message.Write());
      links.push_back(action.FLink);
    }
    return links;
  }

  TzorLoadBalancerRouter router;
  std::vector<std::string> log;
};

TEST_F(LoadBalancerRouter, MessageForAConnectionGoesToItsServerUnchanged) {
  Announce(kB, "B1");
  TzorWSLoadBalancerMessage message;
  message.FGuid = "B1";
  message.FText = "for b1";
  EXPECT_THAT(router.TextReceived(kA, message.Write()),
              ElementsAre(TzorLinkAction{TzorLinkAction::laSendText, kB, message.Write()}));

  TzorWSLoadBalancerBinary binary;
  binary.FGuid = "B1";
  TzorStringStream data(std::string("\x00\x01", 2));
  binary.Write(data);
  EXPECT_THAT(router.BinaryReceived(kA, data.DataString()),
              ElementsAre(TzorLinkAction{TzorLinkAction::laSendBinary, kB, data.DataString()}));
  EXPECT_THAT(log, IsEmpty());
}

TEST_F(LoadBalancerRouter, MessageForAnUnknownConnectionIsReportedAndDropped) {
  TzorWSLoadBalancerMessage message;
  message.FGuid = "NOBODY";
  EXPECT_THAT(router.TextReceived(kA, message.Write()), IsEmpty());
  EXPECT_THAT(log, ElementsAre("1 Load balancer: no server holds connection NOBODY; message dropped"));
}

TEST_F(LoadBalancerRouter, BroadcastGoesToEveryServerHoldingAConnectionItMayReach) {
  Announce(kA, "A1", "chat");
  Announce(kA, "A2");
  Announce(kB, "B1", "chat");
  router.LinkOpened(kC);  // no connections: nothing to deliver to
  EXPECT_THAT(BroadcastTargets("", "", ""), ElementsAre(kA, kB));  // the sender's own clients too
  EXPECT_THAT(BroadcastTargets("chat", "", "B1"), ElementsAre(kA));
  EXPECT_THAT(BroadcastTargets("chat", "", "A1, B1"), IsEmpty());
  EXPECT_THAT(BroadcastTargets("", "B1", ""), ElementsAre(kB));
  EXPECT_THAT(BroadcastTargets("", "A2,B1", "A2"), ElementsAre(kB));
  EXPECT_THAT(BroadcastTargets("json", "", ""), IsEmpty());
}

TEST_F(LoadBalancerRouter, BinaryBroadcastHonoursItsFilters) {
  Announce(kA, "A1");
  Announce(kB, "B1");
  TzorWSLoadBalancerBinary binary;
  binary.FExclude = "A1";
  TzorStringStream data(std::string("xyz"));
  binary.Write(data);
  EXPECT_THAT(router.BinaryReceived(kA, data.DataString()),
              ElementsAre(TzorLinkAction{TzorLinkAction::laSendBinary, kB, data.DataString()}));
  TzorStringStream unfiltered(std::string("0000000000xyz"));
  EXPECT_EQ(router.BinaryReceived(kB, unfiltered.DataString()).size(), 2u);
}

TEST_F(LoadBalancerRouter, AnnouncementsFollowConnectionsAsTheyComeGoAndMove) {
  Announce(kA, "C1");
  EXPECT_EQ(router.HolderOf("C1"), kA);
  Announce(kB, "C1");  // reconnected to the other server
  EXPECT_EQ(router.HolderOf("C1"), kB);
  Announce(kA, "C1", "", false);  // the old server's late close
  EXPECT_EQ(router.HolderOf("C1"), kB);
  Announce(kB, "C1", "", false);
  EXPECT_EQ(router.HolderOf("C1"), std::nullopt);

  Announce(kB, "C2");
  router.LinkClosed(kB);
  EXPECT_EQ(router.HolderOf("C2"), std::nullopt);
  EXPECT_THAT(BroadcastTargets("", "", ""), IsEmpty());
}

TEST_F(LoadBalancerRouter, ServerComingBackOnANewLinkSupersedesItsOldLink) {
  Identify(kB, "SERVER-B", 9002);
  Announce(kB, "B1");
  router.LinkOpened(kC);
  std::vector<TzorLinkAction> actions = router.TextReceived(kC, TzorWSLoadBalancerServerData{"SERVER-B"}.Write());
  EXPECT_THAT(actions, ElementsAre(TzorLinkAction{TzorLinkAction::laClose, kB,
                                                  "superseded by a new link of server SERVER-B"}));
  EXPECT_EQ(router.LinkOfServer("SERVER-B"), kC);
  EXPECT_EQ(router.HolderOf("B1"), std::nullopt);  // announced again on the new link
  Announce(kC, "B1");
  EXPECT_EQ(router.HolderOf("B1"), kC);
}

TEST_F(LoadBalancerRouter, BindingAnswerPicksTheReadyServerWithFewestClients) {
  EXPECT_EQ(router.BindingAnswer(), "");
  router.TextReceived(kA, TzorWSLoadBalancerServerBinding{"10.0.0.1", 9001, true}.Write());
  EXPECT_EQ(router.BindingAnswer(), "");  // bound but not ready yet
  router.TextReceived(kA, std::string(kLBServerReady));
  EXPECT_EQ(router.BindingAnswer(), R"({"host":"10.0.0.1","port":9001,"ssl":true})");

  Identify(kB, "SERVER-B", 9002);
  const std::string answerB = R"({"host":"127.0.0.1","port":9002,"ssl":false})";
  Announce(kA, "A1");
  EXPECT_EQ(router.BindingAnswer(), answerB);
  Announce(kB, "B1");
  // Equal load: the servers take turns.
  std::string first = router.BindingAnswer();
  std::string second = router.BindingAnswer();
  EXPECT_NE(first, second);
}

TEST_F(LoadBalancerRouter, UnreadableMessagesAreReportedAndTheLinkCarriesOn) {
  EXPECT_THAT(router.TextReceived(kA, "12x"), IsEmpty());
  EXPECT_THAT(router.TextReceived(kA, R"({"method":"zor@lb@client@connection","guid":"A1"})"), IsEmpty());
  EXPECT_THAT(router.BinaryReceived(kA, "0000000009G"), IsEmpty());
  EXPECT_THAT(log, ElementsAre("1 Load balancer: header length is not 3 decimal digits; message dropped",
                               "1 Load balancer: header lacks the member \"active\"; message dropped",
                               "1 Load balancer: header length 9 runs past the end of the message; message dropped"));
  Announce(kA, "A1");
  EXPECT_EQ(router.HolderOf("A1"), kA);
}

}  // namespace
}  // namespace zor
