#include "tools/load-balancer/balancer_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zor {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// Frames as a client sends them (masked), or as the balancer sends them.
class FrameBytes : public TzorWSFrameSink {
 public:
  explicit FrameBytes(bool aMasked) { writer.SetMasked(aMasked); }
  void WriteFrame(const uint8_t* aData, size_t aSize) override { bytes.append(reinterpret_cast<const char*>(aData), aSize); }
  std::string Text(std::string_view aText) { return Take([&] { writer.DoWriteText(aText, 0, stmNone); }); }
  std::string Frame(std::string_view aPayload, TOpcode aOpCode, bool aFragment) {
    return Take([&] { writer.WriteStreamFrame(aPayload, aOpCode, aFragment); });
  }
  std::string Close(int aCode) { return Take([&] { writer.WriteCloseFrame(aCode); }); }

 private:
  template <class F>
  std::string Take(F&& aWrite) {
    bytes.clear();
    aWrite();
    return bytes;
  }
  TzorWSFrameWriter writer{*this, nullptr};
  std::string bytes;
};

const std::string kUpgrade =
    "GET /zor@load_balancer_client HTTP/1.1\r\nHost: lb\r\nUpgrade: WebSocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";

class BalancerSession : public ::testing::Test {
 protected:
  TzorBalancerSession::Owner Recording() {
    return {.Write = [this](std::string_view aBytes) { written += aBytes; },
            .Close = [this] { ++closes; },
            .BindingAnswer = [] { return std::string(R"({"host":"h","port":1,"ssl":false})"); },
            .LinkOpened = [this] { events.push_back("opened"); },
            .TextReceived = [this](std::string_view aText) { events.push_back("text " + std::string(aText)); },
            .BinaryReceived = [this](std::string_view aBytes) { events.push_back("binary " + std::string(aBytes)); }};
  }

  void Upgrade() {
    session.Received(kUpgrade);
    written.clear();
  }

  TzorBalancerSession session{Recording()};
  std::string written;
  int closes = 0;
  std::vector<std::string> events;
  FrameBytes client{true}, server{false};
};

TEST_F(BalancerSession, LinkIsUpgradedAndItsMessagesHandedOn) {
  // The head in two pieces, the first frame in the same read as its end.
  session.Received(kUpgrade.substr(0, 30));
  EXPECT_THAT(events, IsEmpty());
  session.Received(kUpgrade.substr(30) + client.Text("zor@lb@server@ready"));
  EXPECT_EQ(written,
            "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
  session.Received(client.Frame("0000000001", opBinary, true) + client.Frame("Gxy", opContinuation, false));
  EXPECT_THAT(events, ElementsAre("opened", "text zor@lb@server@ready", "binary 0000000001Gxy"));
  EXPECT_EQ(closes, 0);
}

TEST_F(BalancerSession, SendsUnmaskedFramesAndAnswersPingAndClose) {
  Upgrade();
  session.SendText("hi");
  session.SendBinary("b");
  EXPECT_EQ(written, server.Text("hi") + server.Frame("b", opBinary, false));
  written.clear();
  session.Received(client.Frame("p", opPing, false));
  EXPECT_EQ(written, server.Frame("p", opPong, false));
  written.clear();
  session.Received(client.Close(1000));
  EXPECT_EQ(written, server.Close(1000));
  EXPECT_EQ(closes, 1);
  session.SendText("after close");  // nothing goes out on a closed link
  EXPECT_EQ(written, server.Close(1000));
}

TEST_F(BalancerSession, BindingRequestIsAnsweredWithThePick) {
  session.Received("GET /zor@lb@client@get@binding HTTP/1.1\r\nHost: lb\r\n\r\n");
  EXPECT_EQ(written,
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 33\r\nConnection: close\r\n\r\n"
            R"({"host":"h","port":1,"ssl":false})");
  EXPECT_EQ(closes, 1);
}

TEST_F(BalancerSession, OtherRequestsAreRefused) {
  struct Case {
    std::string request, status;
  };
  const Case cases[] = {
      {"GET /other HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\n"},
      {"POST /zor@load_balancer_client HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"GET /zor@load_balancer_client HTTP/1.1\r\nSec-WebSocket-Key: x\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"garbage\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"GET / HTTP/1.1\r\nX: " + std::string(TzorBalancerSession::kMaxHeadSize, 'x'),
       "HTTP/1.1 431 Request Header Fields Too Large\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.substr(0, 40));
    written.clear();
    int closesBefore = closes;
    TzorBalancerSession refused(Recording());
    refused.Received(c.request);
    EXPECT_THAT(written, StartsWith(c.status));
    EXPECT_EQ(closes, closesBefore + 1);
  }
  EXPECT_THAT(events, IsEmpty());
}

TEST_F(BalancerSession, UnmaskedFrameClosesTheLinkWith1002) {
  Upgrade();
  session.Received(server.Text("unmasked"));
  EXPECT_EQ(written, server.Close(1002));
  EXPECT_EQ(closes, 1);
  EXPECT_THAT(events, ElementsAre("opened"));
}

TEST_F(BalancerSession, TextThatIsNoUTF8ClosesTheLinkWith1007) {
  Upgrade();
  session.Received(client.Frame("\xC3\x28", opText, false));
  EXPECT_EQ(written, server.Close(1007));
  EXPECT_EQ(closes, 1);
  EXPECT_THAT(events, ElementsAre("opened"));
}

}  // namespace
}  // namespace zor
