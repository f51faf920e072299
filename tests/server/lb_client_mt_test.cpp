// The load-balancer link client over a real loopback connection, against a
// stand-in balancer: the handshake path, what it sends byte for byte, the
// events its received messages raise (never OnMessage or OnBinary), malformed
// messages reported and dropped with the link kept, writes that fail while
// the link is down, and the watchdog bringing a dropped link back.
#include "websocket/lb_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/server/lb_stand_in.h"

namespace zor {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kNewsBroadcast = R"(068{"guid":"","channel":"news","protocol":"","include":"","exclude":""}hi)";

class LoadBalancerClient : public ::testing::Test {
 protected:
  LoadBalancerClient() {
    client.SetHost("127.0.0.1");
    client.SetPort(balancer.Port());
    client.OnLoadBalancerError = [this](TzorWSClient*, const std::string& e) { linkErrors.Put(e); };
    client.OnError = [this](TzorWSConnection*, const std::string& e) { dropped.Put(e); };
    client.OnMessage = [this](TzorWSConnection*, const std::string& t) { plain.Put("message " + t); };
    client.OnBinary = [this](TzorWSConnection*, const TzorStringStream&) { plain.Put("binary"); };
    client.OnWriteDataText = [this](const std::string& aGuid, const std::string& aText) {
      events.Put("WriteDataText " + aGuid + " " + aText);
    };
    client.OnWriteDataBinary = [this](const std::string& aGuid, TzorStringStream& aStream) {
      events.Put("WriteDataBinary " + aGuid + " [" + aStream.DataString() + "] at " +
                 std::to_string(aStream.Position()));
    };
    client.OnBroadCastText = [this](const std::string& aText, const std::string& aChannel,
                                    const std::string& aProtocol, const std::string& aExclude,
                                    const std::string& aInclude) {
      events.Put("BroadCastText " + aText + " channel=" + aChannel + " protocol=" + aProtocol +
                 " exclude=" + aExclude + " include=" + aInclude);
    };
    client.OnBroadCastBinary = [this](TzorStringStream& aStream, const std::string& aChannel, const std::string&,
                                      const std::string&, const std::string&, int32_t aSize, TwsStreaming aStreaming) {
      events.Put("BroadCastBinary [" + aStream.DataString() + "] at " + std::to_string(aStream.Position()) +
                 " channel=" + aChannel + " size=" + std::to_string(aSize) +
                 (aStreaming == stmNone ? " stmNone" : " streaming"));
    };
  }

  std::shared_ptr<TzorWSConnectionServer> Linked() {
    EXPECT_TRUE(client.Connect(20000));
    return balancer.WaitForLink();
  }

  test::StandInBalancer balancer;
  TzorWSLoadBalancerClient client;
  test::Mailbox<std::string> events, plain, linkErrors, dropped;
};

TEST_F(LoadBalancerClient, LinksOnItsPathAndSendsFramedMessagesByteForByte) {
  auto link = Linked();
  ASSERT_TRUE(link);
  EXPECT_EQ(link->HeadersRequest().front(), "GET /zor@load_balancer_client HTTP/1.1");
  EXPECT_TRUE(client.Broadcast("hi", "news", "", "", ""));
  TzorStringStream data(std::string("\x01\x02\x03", 3));
  EXPECT_TRUE(client.WriteData("G", data, 3, stmNone));
  EXPECT_EQ(data.DataString(), std::string("0000000001G\x01\x02\x03", 14));  // the caller's stream, framed
  client.WriteData(std::string("zor@lb@server@ready"));                       // control text: unframed
  EXPECT_TRUE(client.WriteData("C1", "hello"));
  EXPECT_THAT(balancer.received.WaitFor(4),
              ElementsAre("T:" + kNewsBroadcast, std::string("B:0000000001G\x01\x02\x03", 16),
                          "T:zor@lb@server@ready",
                          R"(T:066{"guid":"C1","channel":"","protocol":"","include":"","exclude":""}hello)"));
  EXPECT_THAT(linkErrors.Now(), IsEmpty());
}

TEST_F(LoadBalancerClient, ReceivedMessagesRaiseTheLinkEventsOnly) {
  auto link = Linked();
  ASSERT_TRUE(link);
  link->WriteData(std::string(R"(066{"guid":"C1","channel":"","protocol":"","include":"","exclude":""}hello)"));
  link->WriteData(kNewsBroadcast);
  link->WriteData(TzorStringStream(std::string("0000000000") + "12345"));
  link->WriteData(TzorStringStream(std::string("0000000001G")));
  EXPECT_THAT(events.WaitFor(4), ElementsAre("WriteDataText C1 hello",
                                             "BroadCastText hi channel=news protocol= exclude= include=",
                                             "BroadCastBinary [12345] at 0 channel= size=0 stmNone",
                                             "WriteDataBinary G [] at 0"));
  EXPECT_THAT(plain.Now(), IsEmpty());
}

TEST_F(LoadBalancerClient, MalformedMessagesAreReportedDroppedAndTheLinkStays) {
  auto link = Linked();
  ASSERT_TRUE(link);
  link->WriteData(std::string("x68{}"));                                      // length is no number
  link->WriteData(std::string(R"(011{"guid":"C1"}lost)"));                    // members missing
  link->WriteData(std::string("200{}"));                                      // length past the end
  link->WriteData(TzorStringStream(std::string("00000")));                    // shorter than its length
  link->WriteData(TzorStringStream(std::string("0000000099G")));              // header past the end
  link->WriteData(kNewsBroadcast);                                            // still read
  EXPECT_THAT(events.WaitFor(1), ElementsAre("BroadCastText hi channel=news protocol= exclude= include="));
  const auto errors = linkErrors.WaitFor(5);
  ASSERT_EQ(errors.size(), 5u);
  for (const std::string& error : errors) {
    EXPECT_THAT(error, ::testing::StartsWith("Load balancer: "));
    EXPECT_THAT(error, ::testing::EndsWith("; message dropped"));
  }
  EXPECT_TRUE(client.Connected());
  EXPECT_THAT(dropped.Now(), IsEmpty());
  EXPECT_THAT(plain.Now(), IsEmpty());
}

TEST_F(LoadBalancerClient, WritesFailLoudlyWhileTheLinkIsDown) {
  EXPECT_FALSE(client.WriteData("C1", "hello"));
  EXPECT_FALSE(client.Broadcast("hi", "news", "", "", ""));
  TzorStringStream data(std::string("abc"));
  EXPECT_FALSE(client.WriteData("C1", data, 3, stmNone));
  EXPECT_THAT(linkErrors.Now(), ElementsAre("Load balancer: link is down; message not sent",
                                            "Load balancer: link is down; message not sent",
                                            "Load balancer: link is down; binary message not sent"));

  test::Mailbox<int> disconnects;
  client.OnDisconnect = [&](TzorWSConnection*, int aCode) { disconnects.Put(aCode); };
  ASSERT_TRUE(Linked());
  balancer.Stop();
  ASSERT_EQ(disconnects.WaitFor(1).size(), 1u);
  EXPECT_FALSE(client.WriteData("C1", "after"));
  EXPECT_EQ(linkErrors.Now().size(), 4u);
}

TEST_F(LoadBalancerClient, WatchdogBringsADroppedLinkBack) {
  test::Mailbox<int> connects;
  client.OnConnect = [&](TzorWSConnection*) { connects.Put(1); };
  client.WatchDog().SetEnabled(true);
  client.WatchDog().SetInterval(1);
  auto first = Linked();
  ASSERT_TRUE(first);
  first->DropConnection();
  ASSERT_EQ(connects.WaitFor(2).size(), 2u);
  EXPECT_NE(balancer.WaitForLink(2), first);
  EXPECT_TRUE(client.WriteData("C1", "again"));
  EXPECT_THAT(balancer.received.WaitFor(1),
              ElementsAre(R"(T:066{"guid":"C1","channel":"","protocol":"","include":"","exclude":""}again)"));
}

}  // namespace
}  // namespace zor
