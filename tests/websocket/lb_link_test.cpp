#include "websocket/lb_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/websocket/lb_test_support.h"

namespace zor {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class LoadBalancerLink : public ::testing::Test {
 protected:
  LoadBalancerLink() {
    link.OnError = [this](const std::string& aError) { events.push_back("error " + aError); };
    link.OnWriteDataText = [this](const std::string& aGuid, const std::string& aText) {
      events.push_back("text to " + aGuid + ": " + aText);
    };
    link.OnWriteDataBinary = [this](const std::string& aGuid, TzorStringStream& aStream) {
      events.push_back("binary to " + aGuid + ": " + aStream.DataString() + " at " +
                       std::to_string(aStream.Position()));
    };
    link.OnBroadCastText = [this](const std::string& aText, const std::string& aChannel, const std::string& aProtocol,
                                  const std::string& aExclude, const std::string& aInclude) {
      events.push_back("broadcast " + aText + " [" + aChannel + "|" + aProtocol + "|" + aExclude + "|" + aInclude + "]");
    };
    link.OnBroadCastBinary = [this](TzorStringStream& aStream, const std::string& aChannel,
                                    const std::string& aProtocol, const std::string& aExclude,
                                    const std::string& aInclude, int32_t aSize, TwsStreaming aStreaming) {
      events.push_back("binary broadcast " + aStream.DataString() + " at " + std::to_string(aStream.Position()) +
                       " [" + aChannel + "|" + aProtocol + "|" + aExclude + "|" + aInclude + "] " +
                       std::to_string(aSize) + " " + std::to_string(aStreaming));
    };
  }

  test::RecordingLinkTransport transport;
  TzorWSLoadBalancerLink link{transport};
  std::vector<std::string> events;
};

TEST_F(LoadBalancerLink, SendsFramedTextAndBinary) {
  EXPECT_TRUE(link.Broadcast("hi", "news", "", "", ""));
  EXPECT_TRUE(link.WriteData("G1", "hello"));
  TzorStringStream data(std::string("abc"));
  EXPECT_TRUE(link.WriteData("G", data, 0, stmNone));
  EXPECT_EQ(data.DataString(), "0000000001Gabc");  // the caller's stream holds what was sent
  TzorStringStream broadcast(std::string("xy"));
  EXPECT_TRUE(link.Broadcast(broadcast, "", "chat", "", "", 2, stmNone));
  EXPECT_THAT(transport.sent,
              ElementsAre(R"(T:068{"guid":"","channel":"news","protocol":"","include":"","exclude":""}hi)",
                          R"(T:066{"guid":"G1","channel":"","protocol":"","include":"","exclude":""}hello)",
                          "B:0000000001Gabc",
                          R"(B:0000000068{"guid":"","channel":"","protocol":"chat","include":"","exclude":""}xy)"));
  EXPECT_THAT(events, IsEmpty());
}

TEST_F(LoadBalancerLink, WritesFailLoudlyWhenTheLinkIsDown) {
  transport.connected = false;
  EXPECT_FALSE(link.WriteData("G1", "hello"));
  TzorStringStream data(std::string("abc"));
  EXPECT_FALSE(link.WriteData("G1", data, 0, stmNone));
  EXPECT_FALSE(link.Broadcast("hi", "", "", "", ""));
  EXPECT_FALSE(link.WriteControl(std::string(kLBServerReady)));
  EXPECT_THAT(events, ElementsAre("error Load balancer: link is down; message not sent",
                                  "error Load balancer: link is down; binary message not sent",
                                  "error Load balancer: link is down; message not sent",
                                  "error Load balancer: link is down; control message not sent"));
}

TEST_F(LoadBalancerLink, MessageWhoseHeaderCannotBeFramedIsRefusedNotSent) {
  EXPECT_FALSE(link.Broadcast("hi", std::string(2000, 'c'), "", "", ""));
  EXPECT_THAT(transport.sent, IsEmpty());
  EXPECT_THAT(events, ElementsAre("error Load balancer: message header of 2064 characters does not fit its "
                                  "3-digit length (at most 999)"));
}

TEST_F(LoadBalancerLink, ReceivedMessagesRaiseTheirEvents) {
  TzorWSLoadBalancerMessage message;
  message.FGuid = "G1";
  message.FText = "for g1";
  link.ClientMessage(message.Write());
  message.FGuid.clear();
  message.FChannel = "news";
  message.FProtocol = "chat";
  message.FExclude = "X";
  message.FInclude = "I";
  link.ClientMessage(message.Write());
  link.ClientBinary(std::string("0000000000") + "12345");
  link.ClientBinary("0000000001G");
  link.ClientFragment(std::string("0000000001G") + "part", opBinary);
  EXPECT_THAT(events, ElementsAre("text to G1: for g1", "broadcast for g1 [news|chat|X|I]",
                                  "binary broadcast 12345 at 0 [|||] 0 0", "binary to G:  at 0",
                                  "binary to G: part at 0"));
}

TEST_F(LoadBalancerLink, UnreadableMessageIsReportedDroppedAndTheLinkCarriesOn) {
  link.ClientMessage("zz");
  link.ClientBinary("000000000");
  link.ClientMessage(R"(002{}text)");
  link.ClientBinary("0000000000ok");
  EXPECT_THAT(events,
              ElementsAre("error Load balancer: message shorter than its 3-digit header length; message dropped",
                          "error Load balancer: message shorter than its 10-digit header length; message dropped",
                          "error Load balancer: header lacks the member \"guid\"; message dropped",
                          "binary broadcast ok at 0 [|||] 0 0"));
}

}  // namespace
}  // namespace zor
