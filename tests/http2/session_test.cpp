// The server session on an in-memory pair: a scripted client writes frames,
// a client reader reads what the session answers.
#include "http2/session.h"
#include "tests/http2/session_test_support.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

using testing::Concat;
using testing::Frame;
using testing::Reset;
using testing::Setting;
using testing::TClient;
using testing::WindowUpdate;
using Lines = std::vector<std::string>;

const std::string kServer = "server=zorWebSockets 2023.6.0";

TBytes Octets(size_t count, uint8_t value = 'x') { return TBytes(count, value); }

// Answers every request with a body of `size` octets.
void AnswerWith(TClient& c, size_t size) {
  c.session.OnHTTP2Request = [&c, size](TzorHTTP2Session& s, const TzorHTTP2_HeaderList&, std::span<const uint8_t>,
                                        int32_t request, int32_t push, TzorStringStream*) {
    c.requests.push_back(std::to_string(request));
    TzorHTTP2ResponseInfo response;
    response.ContentStream = TBytes(size, 'r');
    s.SendHTTP2Response("example.com", response, push, request);
  };
}

TEST(Session, SettingsExchangeAndPing) {
  TClient c(false);
  c.session.StartHTTP2();
  EXPECT_EQ(c.Sent(), (Lines{"SETTINGS 0"}));  // all defaults: empty payload
  c.Send(Concat({TBytes(Th2ConnectionPreface.begin(), Th2ConnectionPreface.end()), Frame(h2ftSETTINGS, 0, 0, {})}));
  EXPECT_EQ(c.Sent(), (Lines{"SETTINGS ack"}));
  c.Send(Frame(h2ftPING, 0, 0, {0, 0, 0, 0, 0, 0, 0, 9}));
  c.Send(Frame(h2ftPING, h2flags::ACK, 0, {0, 0, 0, 0, 0, 0, 0, 8}));
  EXPECT_EQ(c.Sent(), (Lines{"PING ack 9"}));
  c.session.SendHTTP2Ping("abcdefgh");  // the connection's ping text
  EXPECT_EQ(c.Sent(), (Lines{"PING 104"}));
  c.Send(Frame(h2ftSETTINGS, h2flags::ACK, 0, {}));
  EXPECT_TRUE(c.session.SettingsSent());
  EXPECT_FALSE(c.disconnected);
}

TEST(Session, ConnectionStartsWithPrefaceThenSettings) {
  TClient wrongPreface(false);
  wrongPreface.Send(Concat({TBytes{'G', 'E', 'T', ' '}}));
  EXPECT_EQ(wrongPreface.Sent(), (Lines{"GOAWAY 0 1 Invalid connection preface."}));
  EXPECT_TRUE(wrongPreface.disconnected);

  TClient headersFirst(false);
  headersFirst.Send(Concat({TBytes(Th2ConnectionPreface.begin(), Th2ConnectionPreface.end()),
                            headersFirst.Request(1, "GET", "/", true)}));
  EXPECT_EQ(headersFirst.Sent(), (Lines{"GOAWAY 0 1 First frame received must be settings."}));
  EXPECT_TRUE(headersFirst.disconnected);
  EXPECT_TRUE(headersFirst.requests.empty());
  // Nothing more is read once GOAWAY is out.
  headersFirst.Send(Frame(h2ftPING, 0, 0, TBytes(8)));
  EXPECT_TRUE(headersFirst.Sent().empty());
}

TEST(Session, ResponsesCarryStatusServerLineAndBody) {
  TClient c;
  c.Sent();
  c.session.OnHTTP2Request = [&](TzorHTTP2Session& s, const TzorHTTP2_HeaderList& headers, std::span<const uint8_t>,
                                 int32_t request, int32_t, TzorStringStream*) {
    TzorHTTP2ResponseInfo response;
    const std::string path(headers.Find(":path").value_or(""));
    if (path == "/text") response.ContentText = "twenty octets of txt";
    response.RawHeaders = {"Content-Type: text/plain", "Connection: keep-alive", "Transfer-Encoding: chunked"};
    s.SendHTTP2Response("example.com", response, 0, request);
  };
  c.Get(1, "/text");
  EXPECT_EQ(c.Sent(), (Lines{"HEADERS 1 :status=200 content-type=text/plain " + kServer, "DATA 1 20 end"}));
  c.Get(3, "/empty");
  EXPECT_EQ(c.Sent(), (Lines{"HEADERS 3 :status=200 content-type=text/plain " + kServer + " end"}));
  c.Send(c.Request(5, "HEAD", "/text", true));
  EXPECT_EQ(c.Sent(), (Lines{"HEADERS 5 :status=200 content-type=text/plain " + kServer + " end"}));
  EXPECT_EQ(c.session.StreamCount(), 0u);  // answered streams are released
  EXPECT_EQ(c.session.LastProcessedStream(), 5);
}

TEST(Session, OtherAnswers) {
  TClient c;
  c.Sent();
  c.Get(1);
  c.Get(3);
  c.Get(5);
  c.Get(7);
  EXPECT_TRUE(c.session.SendHTTP2Redirect("/there", {"x-a: 1"}, 1));
  EXPECT_TRUE(c.session.SendHTTP2Status(404, "Not Found", 3));
  EXPECT_TRUE(c.session.SendHTTP2ResponseText("hello", "text/plain", 5, {"x-b: 2"}));
  EXPECT_EQ(c.Sent(), (Lines{"HEADERS 1 :status=302 location=/there x-a=1 " + kServer + " end",
                             "HEADERS 3 :status=404 " + kServer + " end",
                             "HEADERS 5 :status=200 cache-control=no-cache content-type=text/plain x-b=2 " + kServer,
                             "DATA 5 5 end"}));
  EXPECT_FALSE(c.session.SendHTTP2Status(200, "", 5));  // already answered
  // A header field that would split lines is refused and the stream reset.
  EXPECT_THROW(c.session.SendHTTP2Redirect("/a\r\nx-evil: 1", {}, 7), TzorHTTP2Exception);
  EXPECT_EQ(c.Sent(), (Lines{"RST_STREAM 7 2"}));
}

TEST(Session, BodiesCollectedFragmentedOrBoth) {
  for (const Th2FragmentedData mode : {h2fdOnlyBuffer, h2fdOnlyFragmented, h2fdAll}) {
    TClient c;
    c.session.SetFragmentedData(mode);
    Lines fragments;
    c.session.OnReadStreamResponseFragment = [&](TzorHTTP2Session&, TzorHTTP2_StreamResponse& s,
                                                 std::span<const uint8_t> bytes) {
      fragments.push_back(std::to_string(s.StreamIdentifier()) + ":" + std::to_string(bytes.size()));
    };
    c.Sent();
    c.Send(c.Request(1, "POST", "/up", false));
    for (size_t sent = 0; sent < 100000; sent += 16384) {
      const size_t size = std::min<size_t>(16384, 100000 - sent);
      c.Send(Frame(h2ftDATA, sent + size == 100000 ? h2flags::END_STREAM : 0, 1, Octets(size)));
      if (sent == 16384 * 1) {
        // 32768 octets in: half of both windows used, credited as received.
        EXPECT_EQ(c.Sent(), (Lines{"WINDOW_UPDATE 0 32768", "WINDOW_UPDATE 1 32768"})) << mode;
      }
    }
    const bool buffered = mode != h2fdOnlyFragmented, fragmented = mode != h2fdOnlyBuffer;
    EXPECT_EQ(c.requests, buffered ? Lines{"1/0 /up 100000"} : Lines{}) << mode;
    EXPECT_EQ(fragments.size(), fragmented ? 7u : 0u) << mode;
    if (fragmented) {
      EXPECT_EQ(fragments.back(), "1:1696");
    }
  }
}

TEST(Session, PostStreamTakesTheBody) {
  TClient c;
  TzorStringStream post;
  Lines done;
  c.session.OnReadCreatePostStream = [&](TzorHTTP2Session&, const TzorHTTP2_HeaderList&, TzorStringStream*& stream) {
    stream = &post;
  };
  c.session.OnReadDonePostStream = [&](TzorHTTP2Session&, const TzorHTTP2_HeaderList& headers,
                                       TzorStringStream* stream) {
    done.push_back(std::string(headers.Find(":path").value_or("")) + " " + std::to_string(stream->Size()));
  };
  c.Send(c.Request(1, "POST", "/file", false));
  c.Send(Frame(h2ftDATA, 0, 1, Octets(3000)));
  c.Send(Frame(h2ftDATA, h2flags::END_STREAM, 1, Octets(2000)));
  EXPECT_EQ(post.Size(), 5000u);
  EXPECT_EQ(c.requests, Lines{"1/0 /file 0"});  // nothing collected in memory
  EXPECT_EQ(done, Lines{"/file 5000"});
}

TEST(Session, HeaderBlockInContinuationFrames) {
  TClient c;
  const TBytes block = c.Request(1, "GET", "/joined", true);
  const TBytes payload(block.begin() + 9, block.end());
  const size_t third = payload.size() / 3;
  c.Send(Concat({Frame(h2ftHEADERS, h2flags::END_STREAM, 1, TBytes(payload.begin(), payload.begin() + third)),
                 Frame(h2ftCONTINUATION, 0, 1, TBytes(payload.begin() + third, payload.begin() + 2 * third)),
                 Frame(h2ftCONTINUATION, h2flags::END_HEADERS, 1, TBytes(payload.begin() + 2 * third, payload.end()))}));
  EXPECT_EQ(c.requests, Lines{"1/0 /joined 0"});
}

TEST(Session, TrailersEndTheRequest) {
  TClient c;
  c.Sent();
  c.Send(c.Request(1, "POST", "/t", false));
  c.Send(Frame(h2ftDATA, 0, 1, Octets(4)));
  c.Send(Frame(h2ftHEADERS, h2flags::END_HEADERS | h2flags::END_STREAM, 1, c.Block({{"x-checksum", "1"}})));
  EXPECT_EQ(c.requests, Lines{"1/0 /t 4"});
  // A second block without END_STREAM is malformed: the stream is reset.
  c.Send(c.Request(3, "POST", "/t", false));
  c.Send(Frame(h2ftHEADERS, h2flags::END_HEADERS, 3, c.Block({{"x-more", "1"}})));
  EXPECT_EQ(c.Sent(), (Lines{"RST_STREAM 3 1"}));
  c.Get(5);
  EXPECT_EQ(c.requests.back(), "5/0 / 0");
}

TEST(Session, ContentLengthMustMatchTheBody) {
  TClient c;
  c.Sent();
  c.Send(c.Request(1, "POST", "/", false, {{"content-length", "10"}}));
  c.Send(Frame(h2ftDATA, h2flags::END_STREAM, 1, Octets(9)));
  c.Send(c.Request(3, "POST", "/", false, {{"content-length", "2"}}));
  c.Send(Frame(h2ftDATA, 0, 3, Octets(3)));  // refused as soon as it is over
  EXPECT_EQ(c.Sent(), (Lines{"RST_STREAM 1 1", "RST_STREAM 3 1"}));
  c.Send(c.Request(5, "POST", "/", false, {{"content-length", "3"}}));
  c.Send(Frame(h2ftDATA, h2flags::END_STREAM, 5, Octets(3)));
  EXPECT_EQ(c.requests, Lines{"5/0 / 3"});
  EXPECT_FALSE(c.disconnected);
}

TEST(Session, StreamsBeyondTheLimitAreRefusedBeforeDispatch) {
  TClient c(false);
  c.session.Settings().MaxConcurrentStreams = 1;
  c.Start();
  c.Sent();
  c.Send(c.Request(1, "POST", "/first", false));
  c.Get(3, "/second");
  EXPECT_EQ(c.Sent(), (Lines{"RST_STREAM 3 7"}));
  EXPECT_TRUE(c.requests.empty());
  c.Send(Frame(h2ftDATA, h2flags::END_STREAM, 1, {}));
  EXPECT_EQ(c.requests, Lines{"1/0 /first 0"});
  EXPECT_EQ(c.session.ConcurrentStreams(), 1u);  // half closed, not answered yet
  c.session.SendHTTP2Status(204, "", 1);
  c.Get(5, "/third");
  EXPECT_EQ(c.requests.back(), "5/0 /third 0");
  // DATA the peer sent before it saw the refusal is dropped quietly.
  c.Send(Frame(h2ftDATA, h2flags::END_STREAM, 3, Octets(5)));
  EXPECT_FALSE(c.disconnected);
}

TEST(Session, BodiesAreBounded) {
  TClient c;
  c.session.MaxBodySize = 10;
  c.Sent();
  c.Send(c.Request(1, "POST", "/", false));
  c.Send(Frame(h2ftDATA, 0, 1, Octets(8)));
  c.Send(Frame(h2ftDATA, 0, 1, Octets(8)));
  EXPECT_EQ(c.Sent(), (Lines{"HEADERS 1 :status=413 " + kServer + " end", "RST_STREAM 1 0"}));
  c.Send(Frame(h2ftDATA, h2flags::END_STREAM, 1, Octets(8)));  // in flight: ignored
  EXPECT_TRUE(c.requests.empty());
  EXPECT_EQ(c.session.StreamCount(), 0u);
  EXPECT_FALSE(c.disconnected);
}

TEST(Session, QueuedDataWaitsForBothWindows) {
  TClient c;
  AnswerWith(c, 200000);
  c.Sent();
  c.Get(1);
  EXPECT_EQ(c.Sent(), (Lines{"HEADERS 1 :status=200 " + kServer, "DATA 1 16384", "DATA 1 16384", "DATA 1 16384",
                             "DATA 1 16383"}));
  c.Send(WindowUpdate(1, 65535));
  EXPECT_TRUE(c.Sent().empty());  // the connection window is still shut
  c.Send(WindowUpdate(0, 65535));
  EXPECT_EQ(c.Sent(), (Lines{"DATA 1 16384", "DATA 1 16384", "DATA 1 16384", "DATA 1 16383"}));
}

TEST(Session, ABlockedStreamDoesNotHoldBackOthers) {
  TClient c(false);
  c.Start(Setting(h2siINITIAL_WINDOW_SIZE, 1000));
  size_t size = 3000;
  AnswerWith(c, 0);
  c.session.OnHTTP2Request = [&](TzorHTTP2Session& s, const TzorHTTP2_HeaderList&, std::span<const uint8_t>,
                                 int32_t request, int32_t, TzorStringStream*) {
    TzorHTTP2ResponseInfo response;
    response.ContentStream = TBytes(size, 'r');
    s.SendHTTP2Response("", response, 0, request);
  };
  c.Sent();
  c.Get(1);
  size = 500;
  c.Get(3);
  EXPECT_EQ(c.Sent(), (Lines{"HEADERS 1 :status=200 " + kServer, "DATA 1 1000", "HEADERS 3 :status=200 " + kServer,
                             "DATA 3 500 end"}));
  // INITIAL_WINDOW_SIZE moves open windows by the difference: 1000 more.
  c.Send(Frame(h2ftSETTINGS, 0, 0, Setting(h2siINITIAL_WINDOW_SIZE, 2000)));
  EXPECT_EQ(c.Sent(), (Lines{"SETTINGS ack", "DATA 1 1000"}));
  EXPECT_EQ(c.session.SendWindowSize(1), 0);
  // A reset stream's queued DATA is dropped.
  c.Send(Reset(1, h2erCANCEL));
  c.Send(WindowUpdate(1, 5000));
  EXPECT_TRUE(c.Sent().empty());
  EXPECT_EQ(c.session.StreamCount(), 0u);
}

TEST(Session, WindowsCountPaddingAndOverrunsAreErrors) {
  TClient c;
  c.Sent();
  c.Send(c.Request(1, "POST", "/", false));
  TBytes padded = {255};  // pad length
  padded.resize(1 + 16128 + 255);
  c.Send(Frame(h2ftDATA, h2flags::PADDED, 1, padded));
  c.Send(Frame(h2ftDATA, h2flags::PADDED | h2flags::END_STREAM, 1, padded));
  // 2 x 16384 octets count, though only 32256 are content.
  EXPECT_EQ(c.Sent(), (Lines{"WINDOW_UPDATE 0 32768"}));
  EXPECT_EQ(c.requests, Lines{"1/0 / 32256"});
}

TEST(Session, WindowUpdateOverflow) {
  TClient c;
  AnswerWith(c, 100000);
  c.Get(1);
  c.Sent();
  c.Send(WindowUpdate(1, 1000));
  c.Send(WindowUpdate(1, 0x7FFFFFFF));
  EXPECT_EQ(c.Sent(), (Lines{"RST_STREAM 1 3"}));
  c.Send(WindowUpdate(0, 0x7FFFFFFF - 65535));  // up to 2^31-1 exactly
  EXPECT_FALSE(c.disconnected);
  c.Send(WindowUpdate(0, 65536));
  EXPECT_EQ(c.Sent(), (Lines{"GOAWAY 1 3 WINDOW UPDATE FRAME: Window Size Increment has exceed 2^30."}));
  EXPECT_TRUE(c.disconnected);
}

TEST(Session, FramesOnIdleAndClosedStreams) {
  struct Case {
    std::function<TBytes(TClient&)> frames;
    std::string answer;
  };
  const std::vector<Case> cases = {
      {[](TClient& c) { return c.Request(2, "GET", "/", true); }, "GOAWAY 0 1 Received Stream Identifier is Even."},
      {[](TClient&) { return Frame(h2ftDATA, 0, 5, Octets(1)); },
       "GOAWAY 0 1 Idle Stream only accepts HEADERS or PUSHPROMISE frames."},
      {[](TClient&) { return WindowUpdate(7, 1); }, "GOAWAY 0 1 Idle Stream only accepts HEADERS or PUSHPROMISE frames."},
      {[](TClient&) { return Reset(9, 0); }, "GOAWAY 0 1 Idle Stream only accepts HEADERS or PUSHPROMISE frames."},
      {[](TClient& c) { return Concat({c.Request(1, "GET", "/", true), c.Request(1, "GET", "/", true)}); },
       "GOAWAY 1 5 HEADER FRAME: Stream Identifier already closed."},
      {[](TClient& c) { return Concat({c.Request(1, "GET", "/", true), Frame(h2ftDATA, 0, 1, Octets(1))}); },
       "GOAWAY 1 5 DATA FRAME: Stream Identifier already closed."},
      {[](TClient& c) { return Concat({c.Request(3, "GET", "/", true), c.Request(1, "GET", "/", true)}); },
       "GOAWAY 3 1 StreamIdentifier is lower than LAST Stream Received."},
  };
  for (const Case& test : cases) {
    TClient c;
    c.session.OnHTTP2Request = [](TzorHTTP2Session& s, const TzorHTTP2_HeaderList&, std::span<const uint8_t>,
                                  int32_t request, int32_t, TzorStringStream*) { s.SendHTTP2Status(200, "", request); };
    c.Sent();
    c.Send(test.frames(c));
    const Lines sent = c.Sent();
    ASSERT_FALSE(sent.empty()) << test.answer;
    EXPECT_EQ(sent.back(), test.answer);
    EXPECT_TRUE(c.disconnected) << test.answer;
  }
  // On a stream the peer has ended, DATA is a stream error.
  TClient c;
  c.Sent();
  c.Get(1);
  c.Send(Frame(h2ftDATA, 0, 1, Octets(1)));
  EXPECT_EQ(c.Sent(),
            (Lines{"RST_STREAM 1 5"}));
  EXPECT_FALSE(c.disconnected);
}

TEST(Session, GoAwayNamesTheLastStreamProcessed) {
  TClient c(false);
  c.session.Settings().MaxConcurrentStreams = 2;
  c.Start();
  c.Get(1);
  c.Get(3);
  c.Get(5);  // refused: not processed
  c.Sent();
  c.Send(Frame(h2ftPING, 0, 1, TBytes(8)));
  EXPECT_EQ(c.Sent(), (Lines{"GOAWAY 3 1 PING FRAME: Stream Identifier can not be greater than zero."}));
}

TEST(Session, SettingsApplyOnlyTheEntriesPresent) {
  TClient c(false);
  c.Start(Setting(h2siENABLE_PUSH, 0));
  c.Send(Frame(h2ftSETTINGS, 0, 0, Setting(h2siINITIAL_WINDOW_SIZE, 70000)));
  EXPECT_FALSE(c.session.PeerSettings().EnablePush);
  EXPECT_EQ(c.session.PeerSettings().InitialWindowSize, 70000u);
  EXPECT_EQ(c.session.PeerSettings().HeaderTableSize, 4096u);
}

TEST(Session, AnnouncedSettingsAreEnforced) {
  TClient c(false);
  c.session.Settings().MaxHeaderListSize = 200;
  c.session.Settings().InitialWindowSize = 1000;
  c.Start();
  c.Send(Frame(h2ftSETTINGS, h2flags::ACK, 0, {}));
  c.Sent();
  c.Send(c.Request(1, "POST", "/", false));
  c.Send(Frame(h2ftDATA, 0, 1, Octets(1001)));
  EXPECT_EQ(c.Sent(), (Lines{"RST_STREAM 1 3"}));
  c.Send(c.Request(3, "GET", "/", true, {{"x-long", std::string(300, 'a')}}));
  const Lines sent = c.Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].substr(0, 11), "GOAWAY 1 11");
}

TEST(Session, PushOnlyWhenTheClientAllowsIt) {
  const std::vector<std::string> links = {"/style.css"};
  for (const bool allowed : {true, false}) {
    TClient c(false);
    c.Start(allowed ? TBytes{} : Setting(h2siENABLE_PUSH, 0));
    c.session.OnHTTP2Request = [&](TzorHTTP2Session& s, const TzorHTTP2_HeaderList& headers,
                                   std::span<const uint8_t>, int32_t request, int32_t push, TzorStringStream*) {
      c.requests.push_back(std::to_string(request) + "/" + std::to_string(push) + " " +
                           std::string(headers.Find(":path").value_or("")));
      TzorHTTP2ResponseInfo response;
      response.ContentText = "body";
      s.SendHTTP2Response("example.com", response, push, request, push ? nullptr : &links);
    };
    c.Sent();
    c.Get(1, "/index.html");
    if (allowed) {
      EXPECT_EQ(c.Sent(), (Lines{"HEADERS 1 :status=200 " + kServer, "PUSH_PROMISE 1 2 /style.css", "DATA 1 4 end",
                                 "HEADERS 2 :status=200 " + kServer, "DATA 2 4 end"}));
      EXPECT_EQ(c.requests, (Lines{"1/0 /index.html", "0/2 /style.css"}));
    } else {
      EXPECT_EQ(c.Sent(), (Lines{"HEADERS 1 :status=200 " + kServer, "DATA 1 4 end"}));
    }
    EXPECT_EQ(c.session.StreamCount(), 0u);
  }
}

TEST(Session, ExtendedConnectTunnelsDataBothWays) {
  TClient c(false);
  c.session.Settings().EnableConnectProtocol = true;
  Lines tunnel;
  c.session.OnHTTP2TunnelData = [&](TzorHTTP2Session&, int32_t stream, std::span<const uint8_t> bytes, bool end) {
    tunnel.push_back(std::to_string(stream) + " " + std::string(bytes.begin(), bytes.end()) + (end ? " end" : ""));
  };
  c.session.OnHTTP2Request = [&](TzorHTTP2Session& s, const TzorHTTP2_HeaderList& headers, std::span<const uint8_t>,
                                 int32_t request, int32_t, TzorStringStream*) {
    c.requests.push_back(std::string(headers.Find(":protocol").value_or("")));
    s.SendHTTP2TunnelResponse(request, 200);
  };
  c.session.StartHTTP2();
  EXPECT_EQ(c.Sent(), (Lines{"SETTINGS 6"}));  // ENABLE_CONNECT_PROTOCOL
  c.Start();
  c.Sent();
  c.Send(c.Request(1, "CONNECT", "/chat", false, {{":protocol", "websocket"}}));
  EXPECT_EQ(c.requests, Lines{"websocket"});
  EXPECT_EQ(c.Sent(), (Lines{"HEADERS 1 :status=200 " + kServer}));
  c.Send(Frame(h2ftDATA, 0, 1, {'h', 'i'}));
  EXPECT_TRUE(c.session.SendHTTP2TunnelData(1, TBytes{'y', 'o'}, false));
  EXPECT_EQ(c.Sent(), (Lines{"DATA 1 2"}));
  c.Send(Frame(h2ftDATA, h2flags::END_STREAM, 1, {'!'}));
  EXPECT_TRUE(c.session.SendHTTP2TunnelData(1, {}, true));
  EXPECT_EQ(tunnel, (Lines{"1 hi", "1 ! end"}));
  EXPECT_EQ(c.Sent(), (Lines{"DATA 1 0 end"}));
  EXPECT_EQ(c.session.StreamCount(), 0u);
}

TEST(Session, ProtocolPseudoHeaderNeedsTheAnnouncement) {
  TClient c;
  c.Sent();
  c.Send(c.Request(1, "CONNECT", "/chat", false, {{":protocol", "websocket"}}));
  EXPECT_EQ(c.Sent(), (Lines{"GOAWAY 0 1 PSEUDO-HEADER field is Unknown."}));
}

TEST(Session, RapidResetsEndTheConnection) {
  TClient c;
  c.Sent();
  for (uint32_t i = 0; i < 1000; ++i) c.Send(Concat({c.Request(2 * i + 1, "GET", "/", false), Reset(2 * i + 1, 8)}));
  EXPECT_FALSE(c.disconnected);
  c.Send(Concat({c.Request(2001, "GET", "/", false), Reset(2001, 8)}));
  EXPECT_TRUE(c.disconnected);
  EXPECT_EQ(c.Sent().back(), "GOAWAY 2001 11 Too many streams reset by the peer.");
}

TEST(Session, ManyRequestsInOneReadAnsweredInOneWrite) {
  TClient c;
  AnswerWith(c, 10);
  size_t writes = 0;
  c.session.OnHTTP2WriteBytes = [&](TzorHTTP2Session&, std::span<const uint8_t> bytes) {
    ++writes;
    c.reader.ReadBytes(bytes);
  };
  c.Sent();
  TBytes all;
  for (int32_t stream = 1; stream < 200; stream += 2) all = Concat({all, c.Request(stream, "GET", "/", true)});
  c.Send(all);
  EXPECT_EQ(writes, 1u);
  EXPECT_EQ(c.Sent().size(), 200u);
  EXPECT_EQ(c.session.StreamCount(), 0u);
}

}  // namespace
}  // namespace zor
