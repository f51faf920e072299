#include "websocket/lb_messages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

namespace zor {
namespace {

using ::testing::HasSubstr;

constexpr std::string_view kEmptyHeader = R"({"guid":"","channel":"","protocol":"","include":"","exclude":""})";

// The message of the protocol error a read raises, or "" when it read.
template <class F>
std::string ProtocolError(F&& aRead) {
  try {
    aRead();
  } catch (const TzorWSLoadBalancerProtocolError& e) {
    return e.what();
  }
  return "";
}

// A header with its three-digit length (headers here are ASCII).
std::string Framed(std::string_view aHeader) {
  char digits[4];
  std::snprintf(digits, sizeof digits, "%03zu", aHeader.size());
  return digits + std::string(aHeader);
}

TzorWSLoadBalancerMessage ReadText(std::string_view aMessage) {
  TzorWSLoadBalancerMessage message;
  message.Read(aMessage);
  return message;
}

TEST(LoadBalancerText, BroadcastOnAChannelIsFramedWithThreeDigits) {
  TzorWSLoadBalancerMessage message;
  message.FText = "hi";
  message.FChannel = "news";
  const std::string header = R"({"guid":"","channel":"news","protocol":"","include":"","exclude":""})";
  ASSERT_EQ(header.size(), 68u);
  EXPECT_EQ(message.Write(), "068" + header + "hi");
}

TEST(LoadBalancerText, WriteDataCarriesOnlyGuidAndText) {
  TzorWSLoadBalancerMessage message;
  message.FGuid = "0123456789ABCDEF0123456789ABCDEF";
  message.FText = "hello";
  EXPECT_EQ(message.Write(),
            R"(096{"guid":"0123456789ABCDEF0123456789ABCDEF","channel":"","protocol":"","include":"","exclude":""}hello)");
}

TEST(LoadBalancerText, HostileStringsAreEscapedAndComeBackUnchanged) {
  TzorWSLoadBalancerMessage message;
  message.FGuid = R"(a","channel":"injected)";
  message.FChannel = "{\"raw\":1}";
  message.FProtocol = "back\\slash\\";
  message.FInclude = "line\r\nbreak\x01";
  message.FExclude = "caf\xC3\xA9 \xF0\x9F\x98\x80 [x]";
  message.FText = "068{\"not\":\"a header\"}";
  std::string framed = message.Write();
  // Plain ASCII header: the three digits count its bytes.
  size_t length = std::stoul(framed.substr(0, 3));
  std::string header = framed.substr(3, length);
  for (char c : header) EXPECT_LT(static_cast<unsigned char>(c), 128);
  EXPECT_THAT(header, HasSubstr(R"("guid":"a\",\"channel\":\"injected")"));

  TzorWSLoadBalancerMessage read = ReadText(framed);
  EXPECT_EQ(read.FGuid, message.FGuid);
  EXPECT_EQ(read.FChannel, message.FChannel);
  EXPECT_EQ(read.FProtocol, message.FProtocol);
  EXPECT_EQ(read.FInclude, message.FInclude);
  EXPECT_EQ(read.FExclude, message.FExclude);
  EXPECT_EQ(read.FText, message.FText);
}

TEST(LoadBalancerText, HeaderOfAThousandCharactersIsRefused) {
  TzorWSLoadBalancerMessage message;
  message.FChannel = std::string(999 - kEmptyHeader.size(), 'c');
  EXPECT_EQ(message.Write().substr(0, 3), "999");

  message.FChannel += 'c';
  try {
    message.Write();
    FAIL() << "a 1000-character header was written";
  } catch (const TzorWSException& e) {
    EXPECT_STREQ(e.what(),
                 "Load balancer: message header of 1000 characters does not fit its 3-digit length (at most 999)");
  }
  // The limit counts the escaped header: 468 quotes take 936 characters.
  message.FChannel = std::string(468, '"');
  EXPECT_THROW(message.Write(), TzorWSException);
}

TEST(LoadBalancerText, PeerHeaderLengthCountsCharactersNotBytes) {
  // A peer that does not escape counts UTF-16 units: "é" is one, an emoji two.
  std::string header = "{\"guid\":\"\",\"channel\":\"\xC3\xA9\xF0\x9F\x98\x80\",\"protocol\":\"\",\"include\":\"\",\"exclude\":\"\"}";
  TzorWSLoadBalancerMessage read = ReadText("067" + header + "\xC3\xA9text");
  EXPECT_EQ(read.FChannel, "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(read.FText, "\xC3\xA9text");
}

TEST(LoadBalancerText, MalformedMessagesAreProtocolErrors) {
  const std::string header(kEmptyHeader);
  struct Case {
    std::string message;
    std::string error;
  };
  const Case cases[] = {
      {"", "Load balancer: message shorter than its 3-digit header length"},
      {"06", "Load balancer: message shorter than its 3-digit header length"},
      {"06x" + header, "Load balancer: header length is not 3 decimal digits"},
      {"-64" + header, "Load balancer: header length is not 3 decimal digits"},
      {"065" + header, "Load balancer: header length 65 runs past the end of the message"},
      {"010" + header, "Load balancer: header is not a JSON object"},
      {"004[1,2]", "Load balancer: header is not a JSON object"},
      {"002{}", "Load balancer: header lacks the member \"guid\""},
      {"063" + header, "Load balancer: header is not a JSON object"},
      {Framed(R"({"guid":"","channel":"","protocol":"","include":"",})") + "tail",
       "Load balancer: header lacks the member \"exclude\""},
      {Framed(R"({"guid":7,"channel":"","protocol":"","include":"","exclude":""})"),
       "Load balancer: member \"guid\" is not a string"},
      {Framed(R"({"guid":"\q","channel":"","protocol":"","include":"","exclude":""})"),
       "Load balancer: malformed escape in member \"guid\""},
      {"063{\"guid\":\"\",\"channel\":\"\",\"protocol\":\"\",\"include\":\"\",\"exclude\":\"\xF0\x9F\x98\x80\"}",
       "Load balancer: header length 63 ends inside a character"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(ProtocolError([&] { ReadText(c.message); }), c.error);
  }
  EXPECT_EQ(ProtocolError([&] { ReadText("064" + header); }), "");
}

TEST(LoadBalancerBinary, DataForAGuidIsFramedWithTenDigits) {
  TzorWSLoadBalancerBinary binary;
  binary.FGuid = "G";
  TzorStringStream stream(std::string("\x01\x02\x03", 3));
  stream.SetPosition(3);
  binary.Write(stream);
  EXPECT_EQ(stream.DataString(), std::string("0000000001G\x01\x02\x03", 14));
  EXPECT_EQ(stream.Position(), 0u);
}

TEST(LoadBalancerBinary, BroadcastWithoutGuidReadsTheBytesAfterTheLength) {
  TzorStringStream stream(std::string("0000000000") + "12345");
  TzorWSLoadBalancerBinary binary;
  binary.Read(stream);
  EXPECT_TRUE(binary.IsBroadcast());
  EXPECT_FALSE(binary.HasFilter());
  EXPECT_EQ(stream.DataString(), "12345");
  EXPECT_EQ(stream.Position(), 0u);
  EXPECT_EQ(binary.FSize, 0);
  EXPECT_EQ(binary.FStreaming, stmNone);
}

TEST(LoadBalancerBinary, GuidWithNothingAfterItLeavesAnEmptyStream) {
  TzorStringStream stream(std::string("0000000001G"));
  TzorWSLoadBalancerBinary binary;
  binary.Read(stream);
  EXPECT_EQ(binary.FGuid, "G");
  EXPECT_EQ(stream.Size(), 0u);
}

TEST(LoadBalancerBinary, FilteredBroadcastCarriesItsFiltersInAJSONHeader) {
  TzorWSLoadBalancerBinary binary;
  binary.FChannel = "news";
  binary.FExclude = "A,B";
  TzorStringStream stream(std::string("\x00\xFF", 2));
  binary.Write(stream);
  const std::string header = R"({"guid":"","channel":"news","protocol":"","include":"","exclude":"A,B"})";
  EXPECT_EQ(stream.DataString(), "0000000071" + header + std::string("\x00\xFF", 2));

  TzorWSLoadBalancerBinary read;
  read.Read(stream);
  EXPECT_EQ(read.FChannel, "news");
  EXPECT_EQ(read.FExclude, "A,B");
  EXPECT_TRUE(read.IsBroadcast());
  EXPECT_EQ(stream.DataString(), std::string("\x00\xFF", 2));
}

TEST(LoadBalancerBinary, UnfilteredBroadcastKeepsTheEmptyHeader) {
  TzorWSLoadBalancerBinary binary;
  TzorStringStream stream(std::string("xy"));
  binary.Write(stream);
  EXPECT_EQ(stream.DataString(), "0000000000xy");
}

TEST(LoadBalancerBinary, MalformedMessagesAreProtocolErrors) {
  struct Case {
    std::string message;
    std::string error;
  };
  const Case cases[] = {
      {"000000000", "Load balancer: message shorter than its 10-digit header length"},
      {"00000000x1G", "Load balancer: header length is not 10 decimal digits"},
      {"0000000002G", "Load balancer: header length 2 runs past the end of the message"},
      {"9999999999G", "Load balancer: header length 9999999999 runs past the end of the message"},
      {"0000000002{}", "Load balancer: header lacks the member \"guid\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    TzorStringStream stream(c.message);
    TzorWSLoadBalancerBinary binary;
    EXPECT_EQ(ProtocolError([&] { binary.Read(stream); }), c.error);
  }
}

TEST(LoadBalancerControl, MessagesHaveTheirExactText) {
  TzorWSLoadBalancerServerData identity;
  identity.FGuid = "S1";
  EXPECT_EQ(identity.Write(), R"({"method":"zor@lb@server@data","guid":"S1"})");

  TzorWSLoadBalancerServerBinding binding;
  binding.FHost = "lb1";
  binding.FPort = 443;
  binding.FSSL = true;
  EXPECT_EQ(binding.Write(), R"({"method":"zor@lb@server@binding","host":"lb1","port":443,"ssl":true})");
  EXPECT_EQ(binding.WriteAnswer(), R"({"host":"lb1","port":443,"ssl":true})");

  TzorWSLoadBalancerClientConnection connection;
  connection.FActive = true;
  connection.FGuid = "C1";
  connection.FIP = "127.0.0.1";
  connection.FChannel = "news\r\nsport\r\n";
  connection.FProtocol = "chat";
  EXPECT_EQ(connection.Write(),
            R"({"method":"zor@lb@client@connection","active":true,"guid":"C1","ip":"127.0.0.1",)"
            R"("channel":"news\r\nsport\r\n","protocol":"chat"})");
}

TEST(LoadBalancerControl, LinkReaderTellsTheKindsApart) {
  TzorWSLoadBalancerServerData identity;
  identity.FGuid = "S\"1";
  TzorWSLoadBalancerServerBinding binding{"h\\ost", 8080, false};
  TzorWSLoadBalancerClientConnection connection{false, "a\r\n", "::1", "C1", "p"};
  TzorWSLoadBalancerMessage message;
  message.FGuid = "C1";
  message.FText = "{not control}";

  EXPECT_EQ(std::get<TzorWSLoadBalancerServerData>(ReadLoadBalancerText(identity.Write())), identity);
  EXPECT_EQ(std::get<TzorWSLoadBalancerServerBinding>(ReadLoadBalancerText(binding.Write())), binding);
  EXPECT_EQ(std::get<TzorWSLoadBalancerClientConnection>(ReadLoadBalancerText(connection.Write())), connection);
  EXPECT_TRUE(std::holds_alternative<TzorWSLoadBalancerReady>(ReadLoadBalancerText("zor@lb@server@ready")));
  auto framed = std::get<TzorWSLoadBalancerMessage>(ReadLoadBalancerText(message.Write()));
  EXPECT_EQ(framed.FGuid, "C1");
  EXPECT_EQ(framed.FText, "{not control}");
}

TEST(LoadBalancerControl, MalformedControlMessagesAreProtocolErrors) {
  struct Case {
    std::string message;
    std::string error;
  };
  const Case cases[] = {
      {R"({"guid":"S1"})", "Load balancer: header lacks the member \"method\""},
      {R"({"method":"zor@lb@other"})", "Load balancer: unknown method \"zor@lb@other\""},
      {R"({"method":"zor@lb@server@data"})", "Load balancer: header lacks the member \"guid\""},
      {R"({"method":"zor@lb@server@binding","host":"h","port":"80","ssl":false})",
       "Load balancer: member \"port\" is not a number"},
      {R"({"method":"zor@lb@server@binding","host":"h","port":99999999999,"ssl":false})",
       "Load balancer: member \"port\" is not a 32-bit integer"},
      {R"({"method":"zor@lb@server@binding","host":"h","port":1.5,"ssl":false})",
       "Load balancer: member \"port\" is not a 32-bit integer"},
      {R"({"method":"zor@lb@client@connection","active":"yes","guid":"","ip":"","channel":"","protocol":""})",
       "Load balancer: member \"active\" is not true or false"},
      {"zor@lb@server@ready ", "Load balancer: header length is not 3 decimal digits"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(ProtocolError([&] { ReadLoadBalancerText(c.message); }), c.error);
  }
}

}  // namespace
}  // namespace zor
