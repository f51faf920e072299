// The client against a server that breaks the rules: frames that violate
// RFC 6455, broken handshake answers, a header block without end, silence,
// a redirect loop, going away and coming back. Each failure reaches the
// application as an event with its text; the connection is dropped and no
// call of the application hangs.
#include <gtest/gtest.h>

#include "ws_client_peers.h"

namespace zor {
namespace {

using test::ClientEvents;

struct BadFrame {
  const char* name;
  const char* hex;
  const char* message;
  int code;
};

// A ping announcing 126 bytes of payload.
const std::string kLongPing = "897E007E" + std::string(252, '0');

class BadFrames : public ::testing::TestWithParam<BadFrame> {};

TEST_P(BadFrames, AreReportedAndAnsweredWithTheirCloseCode) {
  const BadFrame& bad = GetParam();
  auto peer = test::HostileServer("frame", bad.hex);
  TzorWSClient client;
  ClientEvents events(client);
  client.Options().SetCleanDisconnect(true);
  client.SetURL(peer->URL("ws"));
  client.SetActive(true);
  ASSERT_TRUE(events.WaitForDisconnect());
  ASSERT_EQ(events.Read(events.exceptions).size(), 1u);
  EXPECT_EQ(events.Read(events.exceptions)[0], bad.message);
  EXPECT_TRUE(peer->WaitForOutput("frame close " + std::to_string(bad.code) + " masked")) << peer->Output();
  EXPECT_FALSE(client.Active());
}

INSTANTIATE_TEST_SUITE_P(
    RFC6455, BadFrames,
    ::testing::Values(
        BadFrame{"ContinuationWithoutMessage", "800161", "Unfragmented message after continuation frame with FIN", 1002},
        BadFrame{"TextInsideFragmentedText", "010161810162", "OpCode error, received opText after Continuation not finished",
                 1002},
        BadFrame{"BinaryInsideFragmented", "020161820162",
                 "OpCode error, received opBinary after Continuation not finished", 1002},
        BadFrame{"ReservedOpcode", "8300", "Invalid Control OptCode", 1002},
        BadFrame{"ReservedBitsWithoutExtension", "C10161", "Invalid value of RSV while no Extension Negotiated", 1002},
        BadFrame{"FragmentedPing", "0900", "Control Message must not be fragmented", 1002},
        BadFrame{"LongPing", kLongPing.c_str(), "Control frames are only allowed to have payload up to and including 125 octets", 1002},
        BadFrame{"CloseWithOneByte", "880103", "Invalid Payload length for close code", 1002},
        BadFrame{"CloseWithBadCode", "880203EE", "Invalid close code", 1002},
        BadFrame{"BadUTF8", "8102C080", "Invalid UTF8 message", 1007},
        // A length no client could hold is refused from the header, before any payload.
        BadFrame{"OversizedFrame", "827F7FFFFFFFFFFFFFFF",
                 "Message too big: 9223372036854775807 bytes exceed the limit of 67108864 bytes", 1009}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadAnswer {
  const char* kind;
  const char* message;
};

class BadAnswers : public ::testing::TestWithParam<BadAnswer> {};

TEST_P(BadAnswers, FailTheHandshake) {
  const BadAnswer& bad = GetParam();
  auto peer = test::HostileServer("answer", bad.kind);
  TzorWSClient client;
  ClientEvents events(client);
  client.SetURL(peer->URL("ws"));
  EXPECT_FALSE(client.Connect(20000));
  ASSERT_TRUE(events.WaitForDisconnect());
  ASSERT_FALSE(events.Read(events.exceptions).empty());
  EXPECT_EQ(events.Read(events.exceptions)[0], bad.message);
  EXPECT_EQ(events.Read(events.connects), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Handshake, BadAnswers,
    ::testing::Values(BadAnswer{"wrong-key", "Handshake Error: Invalid Accept Key"},
                      BadAnswer{"garbage", "Handshake Error: Invalid Accept Key"},
                      BadAnswer{"status-400", "Error Decoding Header: Switching Protocols [HTTP/1.1 400 Bad Request]"},
                      BadAnswer{"no-upgrade", "Error Decoding Header: Upgrade"},
                      BadAnswer{"subprotocol", "Protocol not supported unasked."},
                      BadAnswer{"extension", "Extension not supported x-unknown-extension."},
                      BadAnswer{"huge-header", "Handshake response header larger than 65536 bytes"}),
    [](const auto& info) {
      std::string name = info.param.kind;
      for (char& c : name)
        if (c == '-') c = '_';
      return name;
    });

TEST(HostileServer, HangingUpInTheHandshakeIsReported) {
  auto peer = test::HostileServer("hangup");
  TzorWSClient client;
  ClientEvents events(client);
  client.SetURL(peer->URL("ws"));
  EXPECT_FALSE(client.Connect(20000));
  ASSERT_TRUE(events.WaitForDisconnect());
  EXPECT_EQ(events.Read(events.exceptions), std::vector<std::string>{"Connection closed by the peer."});
}

TEST(HostileServer, SilenceEndsInTheHandshakeTimeOut) {
  auto peer = test::HostileServer("mute");
  TzorWSClient client;
  ClientEvents events(client);
  client.SetURL(peer->URL("ws"));
  client.SetHandshakeTimeout(500);
  EXPECT_FALSE(client.Connect(20000));
  ASSERT_TRUE(events.WaitForDisconnect());
  EXPECT_EQ(events.Read(events.exceptions), std::vector<std::string>{"Handshake Timeout"});
}

TEST(HostileServer, UnansweredPingsFireTheHeartBeat) {
  auto peer = test::HostileServer("silent");
  TzorWSClient client;
  ClientEvents events(client);
  client.SetURL(peer->URL("ws"));
  client.HeartBeat().SetEnabled(true);
  client.HeartBeat().SetInterval(1);
  client.HeartBeat().SetTimeout(1);
  ASSERT_TRUE(client.Connect(20000));
  ASSERT_TRUE(events.WaitForDisconnect());
  EXPECT_EQ(events.Read(events.exceptions), std::vector<std::string>{"HeartBeat Timeout exceeded."});
  // The pings carried the local time stamp.
  EXPECT_TRUE(peer->WaitForOutput("frame ping 20"));
}

TEST(HostileServer, RedirectLoopIsBounded) {
  const uint16_t port = test::FreeLoopbackPort();
  auto peer = test::HostileServer("redirect", "ws://127.0.0.1:" + std::to_string(port) + "/again", port);
  TzorWSClient client;
  ClientEvents events(client);
  client.SetURL(peer->URL("ws", "/start"));
  client.SetActive(true);
  ASSERT_TRUE(events.WaitFor([&] { return !events.exceptions.empty(); }));
  EXPECT_EQ(events.Read(events.exceptions)[0], "Too many redirects (more than 10)");
  // The first request and ten redirects followed, no more.
  EXPECT_TRUE(peer->WaitForOutput("request 11 GET /again"));
  EXPECT_EQ(peer->Output().find("request 12 "), std::string::npos);
}

TEST(HostileServer, BasicCredentialsStayWithTheHostTheyWereGivenFor) {
  auto target = test::PythonServer(false);
  // "localhost" is another host name than the "127.0.0.1" the client was given.
  auto redirector = test::HostileServer("redirect", "ws://localhost:" + std::to_string(target->Port()) + "/moved");
  TzorWSClient client;
  ClientEvents events(client);
  client.SetURL(redirector->URL("ws"));
  client.Authentication().SetEnabled(true);
  client.Authentication().URL().SetEnabled(false);
  client.Authentication().Basic().SetEnabled(true);
  client.Authentication().SetUser("alice");
  client.Authentication().SetPassword("s3cret");
  client.SetActive(true);
  ASSERT_TRUE(events.WaitFor([&] { return events.connects == 1; }));
  EXPECT_TRUE(redirector->WaitForOutput("authorization=Basic YWxpY2U6czNjcmV0"));
  EXPECT_TRUE(target->WaitForOutput("open /moved"));
  EXPECT_EQ(target->Output().find("Authorization"), std::string::npos) << target->Output();
}

TEST(HostileServer, WatchDogReconnectsWhenTheServerComesBack) {
  const uint16_t port = test::FreeLoopbackPort();
  auto peer = test::HostileServer("silent", "", port);
  TzorWSClient client;
  ClientEvents events(client);
  client.SetURL(peer->URL("ws"));
  client.WatchDog().SetEnabled(true);
  client.WatchDog().SetInterval(1);
  ASSERT_TRUE(client.Connect(20000));
  peer.reset();  // the server goes away
  ASSERT_TRUE(events.WaitForDisconnect());
  peer = test::HostileServer("silent", "", port);  // and comes back
  ASSERT_TRUE(events.WaitFor([&] { return events.connects == 2; }));
  EXPECT_TRUE(client.Active());
  client.SetActive(false);
}

TEST(HostileServer, WatchDogGivesUpAfterItsAttempts) {
  const uint16_t port = test::FreeLoopbackPort();  // nobody listens
  TzorWSClient client;
  ClientEvents events(client);
  client.SetURL("ws://127.0.0.1:" + std::to_string(port) + "/");
  client.WatchDog().SetEnabled(true);
  client.WatchDog().SetInterval(1);
  client.WatchDog().SetAttempts(2);
  client.SetActive(true);
  // The first activation and two attempts of the watchdog fail.
  ASSERT_TRUE(events.WaitFor([&] { return events.exceptions.size() == 3; }));
  EXPECT_EQ(client.WatchDogAttempts(), 2);
}

}  // namespace
}  // namespace zor
