// The client's HTTP/2 stream codec on in-memory bytes: the preface and the
// extended CONNECT, the server's bytes split at every boundary, the peer's
// windows and frame size, refusals and violations answered as HTTP/2 says,
// the orderly end, and a whole exchange with our own server session.
#include <gtest/gtest.h>

#include "http2/session.h"
#include "tests/websocket/rfc8441_test_support.h"
#include "websocket/rfc8441_stream.h"

namespace zor {
namespace {

using namespace zor::test;

const std::vector<std::string> kRequest = {":method = CONNECT", ":protocol = websocket", ":scheme = https",
                                           ":path = /chat",     ":authority = h2.example", "authorization = Bearer t",
                                           "sec-websocket-version = 13"};

class Stream : public ::testing::Test {
 protected:
  Stream() {
    codec.OnOutput = [this](std::span<const uint8_t> bytes) { server.Read(bytes); };
    codec.Start();
  }
  void Serve(const TBytes& bytes) { codec.Read(bytes, data); }
  // SETTINGS (with `settings`), the request and the answer 200.
  void Open(const TBytes& settings = ConnectSettings()) {
    Serve(settings);
    codec.SendRequest(kRequest);
    Serve(Answer200());
    codec.TakeHandshakeFrames();
    server.Take();
  }

  ServerSide server;
  TzorWSHTTP2ClientStream codec;
  std::string data;
};

TEST_F(Stream, PrefaceRequestAndDataBothWays) {
  EXPECT_TRUE(server.PrefaceSeen());
  EXPECT_EQ(server.Take(), (Lines{"SETTINGS push=0 window=1048576", "WINDOW_UPDATE 0 983041"}));

  Serve(ConnectSettings());
  auto frames = codec.TakeHandshakeFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].FrameKind, TzorWSHTTP2Frame::Kind::Settings);
  EXPECT_TRUE(frames[0].ConnectProtocolEnabled);
  EXPECT_EQ(server.Take(), Lines{"SETTINGS ack"});

  // Bytes written before the answer wait for it.
  codec.Send(Text("early"));
  codec.SendRequest(kRequest);
  EXPECT_EQ(server.Take(), (Lines{"HEADERS 1 :method=CONNECT :protocol=websocket :scheme=https :path=/chat "
                                  ":authority=h2.example authorization=Bearer t sec-websocket-version=13"}));
  Serve(Concat({HeadersFrame({{":status", "200"}, {"sec-websocket-protocol", "chat"}}), DataFrame("hi")}));
  frames = codec.TakeHandshakeFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].FrameKind, TzorWSHTTP2Frame::Kind::Headers);
  EXPECT_EQ(frames[0].Headers[1], (std::pair<std::string, std::string>{"sec-websocket-protocol", "chat"}));
  EXPECT_EQ(codec.State(), TzorWSHTTP2ClientStream::h2csOpen);
  EXPECT_EQ(data, "hi");
  codec.Send(Text("late"));
  EXPECT_EQ(server.Take(), (Lines{"DATA 1 5", "DATA 1 4"}));
  EXPECT_EQ(server.data, "earlylate");
}

TEST_F(Stream, ServerBytesSplitAtEveryBoundary) {
  Serve(Concat({ConnectSettings(), PingFrame(1)}));
  codec.SendRequest(kRequest);
  const std::string before = data;
  // The answer in HEADERS and CONTINUATION, padded DATA, a ping, trailers.
  const TBytes block = zor::testing::RequestBlock({{":status", "200"}, {"sec-websocket-protocol", "chat"}});
  const TBytes script = Concat({Frame(h2ftHEADERS, 0, 1, TBytes(block.begin(), block.begin() + 3)),
                                Frame(h2ftCONTINUATION, h2flags::END_HEADERS, 1, TBytes(block.begin() + 3, block.end())),
                                Frame(h2ftDATA, h2flags::PADDED, 1, Concat({{2}, Text("abc"), {0, 0}})),
                                PingFrame(2), DataFrame("def"), WindowUpdateFrame(0, 1), SettingsFrame({}, h2flags::ACK),
                                HeadersFrame({{"x-trailer", "1"}}, h2flags::END_HEADERS | h2flags::END_STREAM)});
  server.Take();
  for (size_t split = 0; split <= script.size(); ++split) {
    ServerSide side;
    TzorWSHTTP2ClientStream c;
    c.OnOutput = [&](std::span<const uint8_t> bytes) { side.Read(bytes); };
    c.Start();
    std::string got;
    c.Read(Concat({ConnectSettings(), PingFrame(1)}), got);
    c.SendRequest(kRequest);
    side.Take();
    c.Read(TBytes(script.begin(), script.begin() + split), got);
    c.Read(TBytes(script.begin() + split, script.end()), got);
    EXPECT_EQ(got, "abcdef") << "split at " << split;
    EXPECT_TRUE(c.PeerEnded()) << "split at " << split;
    EXPECT_EQ(c.Failure(), "") << "split at " << split;
    EXPECT_EQ(side.Take(), (Lines{"PING ack 2"})) << "split at " << split;
  }
  // Byte by byte.
  for (const uint8_t byte : script) Serve({byte});
  EXPECT_EQ(data, before + "abcdef");
  EXPECT_EQ(server.Take(), (Lines{"PING ack 2"}));
}

TEST_F(Stream, SendsWithinThePeersWindowsAndFrameSize) {
  // A stream window of 10: the rest waits for WINDOW_UPDATE on the stream.
  Open(SettingsFrame({{h2siENABLE_CONNECT_PROTOCOL, 1}, {h2siINITIAL_WINDOW_SIZE, 10}}));
  codec.Send(TBytes(25, 'a'));
  EXPECT_EQ(server.Take(), Lines{"DATA 1 10"});
  EXPECT_EQ(codec.Held(), 15u);
  Serve(WindowUpdateFrame(1, 5));
  EXPECT_EQ(server.Take(), Lines{"DATA 1 5"});
  codec.Send(TBytes(3, 'b'));  // behind what is held, in order
  Serve(WindowUpdateFrame(1, 13));
  EXPECT_EQ(server.Take(), Lines{"DATA 1 13"});
  EXPECT_EQ(server.data, std::string(25, 'a') + "bbb");
  EXPECT_EQ(codec.Held(), 0u);

  // A lower initial window takes the stream's window below zero.
  Serve(SettingsFrame({{h2siINITIAL_WINDOW_SIZE, 0}}));
  EXPECT_EQ(codec.SendWindow(), -10);
  codec.Send(TBytes(4, 'c'));
  Serve(WindowUpdateFrame(1, 12));
  EXPECT_EQ(server.Take(), (Lines{"SETTINGS ack", "DATA 1 2"}));

  // Frames no larger than the peer's MAX_FRAME_SIZE.
  Serve(Concat({SettingsFrame({{h2siMAX_FRAME_SIZE, 20000}}), WindowUpdateFrame(1, 1 << 20)}));
  codec.Send(TBytes(45000, 'd'));
  EXPECT_EQ(server.Take(), (Lines{"SETTINGS ack", "DATA 1 2", "DATA 1 20000", "DATA 1 20000", "DATA 1 5000"}));
}

TEST_F(Stream, TheConnectionWindowBoundsEveryStreamByte) {
  Open(SettingsFrame({{h2siENABLE_CONNECT_PROTOCOL, 1}, {h2siINITIAL_WINDOW_SIZE, 1 << 20}}));
  codec.Send(TBytes(70000, 'x'));
  EXPECT_EQ(server.Take(), (Lines{"DATA 1 16384", "DATA 1 16384", "DATA 1 16384", "DATA 1 16383"}));
  EXPECT_EQ(codec.Held(), 70000u - 65535u);
  Serve(WindowUpdateFrame(0, 100000));
  EXPECT_EQ(server.Take(), Lines{"DATA 1 4465"});
  EXPECT_EQ(server.data.size(), 70000u);
}

TEST_F(Stream, ConsumedDataIsCreditedInHalves) {
  Open();
  const std::string chunk(16384, 'z');
  for (int i = 0; i < 31; ++i) Serve(DataFrame(chunk));
  EXPECT_EQ(server.Take(), Lines{});
  Serve(DataFrame(chunk));  // 512 KiB read
  EXPECT_EQ(server.Take(), (Lines{"WINDOW_UPDATE 0 524288", "WINDOW_UPDATE 1 524288"}));
  EXPECT_EQ(data.size(), 32u * 16384u);
  // After END_STREAM only the connection is credited.
  for (int i = 0; i < 31; ++i) Serve(DataFrame(chunk));
  Serve(DataFrame(chunk, h2flags::END_STREAM));
  EXPECT_EQ(server.Take(), (Lines{"WINDOW_UPDATE 0 524288"}));
  EXPECT_TRUE(codec.PeerEnded());
}

// What the server sends once the stream is open (or, with `before`, in
// place of the answer), and how the client ends up.
struct Violation {
  const char* name;
  TBytes bytes;
  std::string failure;  // empty: the stream lives on
  Lines answer;         // what the client writes back
  bool before = false;
};

TEST_F(Stream, RefusalsAndViolationsEndTheStreamAsHTTP2Says) {
  const std::vector<Violation> cases = {
      {"reset before the answer", ResetFrame(1, h2erREFUSED_STREAM),
       "HTTP/2 stream reset by the server: REFUSED_STREAM", {}, true},
      {"GOAWAY without the stream", GoAwayFrame(0, h2erNO_ERROR), "HTTP/2 GOAWAY from the server: NO_ERROR", {}, true},
      {"DATA before the answer", DataFrame("x"), "HTTP/2 PROTOCOL_ERROR: DATA before the answer's HEADERS.",
       {"RST_STREAM 1 1"}, true},
      {"graceful GOAWAY", GoAwayFrame(1, h2erNO_ERROR), "", {}},
      {"GOAWAY with an error", GoAwayFrame(1, h2erPROTOCOL_ERROR, "bad\x01thing"),
       "HTTP/2 GOAWAY from the server: PROTOCOL_ERROR bad?thing", {}},
      {"reset", ResetFrame(1, h2erCANCEL), "HTTP/2 stream reset by the server: CANCEL", {}},
      {"reset of another stream", ResetFrame(3, h2erCANCEL), "", {}},
      {"push", Frame(h2ftPUSH_PROMISE, h2flags::END_HEADERS, 1, Concat({Word(2), zor::testing::GetRequestBlock()})),
       "HTTP/2 PROTOCOL_ERROR: PUSH_PROMISE though pushes are disabled.", {"GOAWAY 0 1"}},
      {"DATA on a stream never opened", DataFrame("x", 0, 3),
       "HTTP/2 PROTOCOL_ERROR: DATA on a stream this side did not open.", {"GOAWAY 0 1"}},
      {"HEADERS on a stream never opened", HeadersFrame({{":status", "200"}}, h2flags::END_HEADERS, 3),
       "HTTP/2 PROTOCOL_ERROR: HEADERS on a stream this side did not open.", {"GOAWAY 0 1"}},
      {"trailers that do not end the stream", HeadersFrame({{"x", "1"}}),
       "HTTP/2 PROTOCOL_ERROR: HEADERS after the answer must end the stream.", {"RST_STREAM 1 1"}},
      {"DATA after END_STREAM", Concat({DataFrame("", h2flags::END_STREAM), DataFrame("x")}),
       "HTTP/2 STREAM_CLOSED: DATA on a stream that is not open.", {"RST_STREAM 1 5"}},
      {"connection window beyond 2^31-1", WindowUpdateFrame(0, 0x7FFFFFFF),
       "HTTP/2 FLOW_CONTROL_ERROR: WINDOW_UPDATE: the connection's window exceeds 2^31-1.", {"GOAWAY 0 3"}},
      {"stream window beyond 2^31-1", WindowUpdateFrame(1, 0x7FFFFFFF),
       "HTTP/2 FLOW_CONTROL_ERROR: WINDOW_UPDATE: the stream's window exceeds 2^31-1.", {"RST_STREAM 1 3"}},
      {"initial window beyond 2^31-1", Concat({WindowUpdateFrame(1, 0x7FFF0000), SettingsFrame({{4, 0x7FFFFFFF}})}),
       "HTTP/2 FLOW_CONTROL_ERROR: SETTINGS: the stream's window would exceed 2^31-1.", {"GOAWAY 0 3"}},
      {"ping on a stream", PingFrame(1, 1),
       "HTTP/2 PROTOCOL_ERROR: PING FRAME: Stream Identifier can not be greater than zero.", {"GOAWAY 0 1"}},
      {"header block the coder cannot read", Frame(h2ftHEADERS, h2flags::END_HEADERS | h2flags::END_STREAM, 1, {0x80}),
       "HTTP/2 COMPRESSION_ERROR: Table Header item not found.", {"GOAWAY 0 9"}},
      {"frame beyond the announced size", Frame(h2ftDATA, 0, 1, TBytes(16385, 0)),
       "HTTP/2 FRAME_SIZE_ERROR: Frame size greater than MaxFrameSize: 16384", {"GOAWAY 0 6"}},
  };
  for (const Violation& v : cases) {
    ServerSide side;
    TzorWSHTTP2ClientStream c;
    c.OnOutput = [&](std::span<const uint8_t> bytes) { side.Read(bytes); };
    c.Start();
    std::string got;
    c.Read(ConnectSettings(), got);
    c.SendRequest(kRequest);
    if (!v.before) c.Read(Answer200(), got);
    side.Take();
    c.Read(v.bytes, got);
    EXPECT_EQ(c.Failure(), v.failure) << v.name;
    EXPECT_EQ(side.Take(), v.answer) << v.name;
    EXPECT_EQ(c.State() == TzorWSHTTP2ClientStream::h2csClosed, !v.failure.empty()) << v.name;
    // Nothing is read after a failure; the stream still answers pings otherwise.
    c.Read(PingFrame(9), got);
    EXPECT_EQ(side.Take(), v.failure.empty() ? Lines{"PING ack 9"} : Lines{}) << v.name;
  }
}

TEST_F(Stream, TheServersFirstFrameMustBeItsSettings) {
  Serve(Concat({PingFrame(), ConnectSettings()}));
  const auto frames = codec.TakeHandshakeFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].FrameKind, TzorWSHTTP2Frame::Kind::Other);
  EXPECT_EQ(codec.Failure(), "Invalid Frame Type.");
  EXPECT_EQ(server.Take(), (Lines{"SETTINGS push=0 window=1048576", "WINDOW_UPDATE 0 983041", "GOAWAY 0 1"}));
}

TEST_F(Stream, ClosingEndsTheStreamOnceThenSaysGoodbye) {
  Open();
  codec.Close();
  EXPECT_EQ(server.Take(), (Lines{"DATA 1 0 end", "GOAWAY 0 0"}));
  codec.Close();
  codec.Send(Text("after"));
  EXPECT_EQ(server.Take(), Lines{});

  // Bytes still held cannot be ended in order: the stream is cancelled.
  ServerSide side;
  TzorWSHTTP2ClientStream held;
  held.OnOutput = [&](std::span<const uint8_t> bytes) { side.Read(bytes); };
  held.Start();
  std::string got;
  held.Read(SettingsFrame({{h2siENABLE_CONNECT_PROTOCOL, 1}, {h2siINITIAL_WINDOW_SIZE, 0}}), got);
  held.SendRequest(kRequest);
  held.Read(Answer200(), got);
  held.Send(Text("stuck"));
  side.Take();
  held.Close();
  EXPECT_EQ(side.Take(), (Lines{"RST_STREAM 1 8", "GOAWAY 0 0"}));
}

TEST(StreamAgainstOurServer, MegabytesEchoedThroughBothWindows) {
  TzorHTTP2Session server;
  server.Settings().EnableConnectProtocol = true;
  TzorWSHTTP2ClientStream client;
  std::string toServer, toClient, received;
  client.OnOutput = [&](std::span<const uint8_t> b) { toServer.append(b.begin(), b.end()); };
  server.OnHTTP2WriteBytes = [&](TzorHTTP2Session&, std::span<const uint8_t> b) { toClient.append(b.begin(), b.end()); };
  std::string path;
  server.OnHTTP2Request = [&](TzorHTTP2Session& s, const TzorHTTP2_HeaderList& headers, std::span<const uint8_t>,
                              int32_t stream, int32_t, TzorStringStream*) {
    path = std::string(headers.Find(":path").value_or(""));
    s.SendHTTP2TunnelResponse(stream, 200);
  };
  server.OnHTTP2TunnelData = [&](TzorHTTP2Session& s, int32_t stream, std::span<const uint8_t> bytes, bool) {
    s.SendHTTP2TunnelData(stream, bytes, false);
  };
  auto pump = [&] {
    while (!toServer.empty() || !toClient.empty()) {
      server.ReadHTTP2Data(std::exchange(toServer, {}));
      const std::string bytes = std::exchange(toClient, {});
      client.Read({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, received);
      for (const auto& frame : client.TakeHandshakeFrames())
        if (frame.FrameKind == TzorWSHTTP2Frame::Kind::Settings) client.SendRequest(kRequest);
    }
  };
  server.StartHTTP2();
  client.Start();
  pump();
  ASSERT_EQ(client.State(), TzorWSHTTP2ClientStream::h2csOpen) << client.Failure();
  EXPECT_EQ(path, "/chat");
  std::string sent;
  for (int i = 0; i < 3 << 20; ++i) sent.push_back(static_cast<char>(i % 251));
  client.Send({reinterpret_cast<const uint8_t*>(sent.data()), sent.size()});
  pump();
  EXPECT_EQ(client.Held(), 0u);
  EXPECT_EQ(client.Failure(), "");
  EXPECT_TRUE(received == sent) << received.size();
}

}  // namespace
}  // namespace zor
