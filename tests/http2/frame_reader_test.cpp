#include "http2/frame_reader.h"
#include "tests/http2/frame_test_support.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

using testing::Concat;
using testing::Frame;
using testing::GetRequestBlock;
using testing::ReadFailure;
using testing::RequestBlock;

// A server reader that records what it hands on.
struct Recorder {
  TzorHTTP2_Frame reader{h2frServerRead};
  std::vector<std::string> events;
  Recorder() {
    reader.OnReadFrameData = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Data& f) {
      events.push_back("DATA " + std::to_string(f.StreamIdentifier()) + " " + f.DataString() +
                       (f.EndStream() ? " end" : ""));
    };
    reader.OnReadFrameHeaders = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Headers& f) {
      events.push_back("HEADERS " + std::to_string(f.StreamIdentifier()) + " " + f.Headers().Text());
    };
    reader.OnReadFrameSettings = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Settings& f) {
      events.push_back(f.ACK() ? "SETTINGS ack" : "SETTINGS " + std::to_string(f.InitialWindowSize()));
    };
    reader.OnReadFramePing = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Ping& f) {
      events.push_back("PING " + std::to_string(f.PayLoad()[7]));
    };
    reader.OnReadFrameWindowUpdate = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_WindowUpdate& f) {
      events.push_back("WINDOW_UPDATE " + std::to_string(f.StreamIdentifier()) + " " +
                       std::to_string(f.WindowSizeIncrement()));
    };
    reader.OnReadFrameGoAway = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_GoAway& f) {
      events.push_back("GOAWAY " + std::to_string(f.LastStreamid()) + " " + std::to_string(f.ErrorCode()) + " " +
                       f.AdditionalDebugData());
    };
    reader.OnReadFrameRSTStream = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_RSTStream& f) {
      events.push_back("RST_STREAM " + std::to_string(f.ErrorCode()));
    };
    reader.OnReadFramePriority = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Priority& f) {
      events.push_back("PRIORITY " + std::to_string(f.Weight()));
    };
    reader.OnReadFrameContinuation = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Continuation&) {
      events.push_back("CONTINUATION");
    };
  }
};

TBytes Text(const std::string& text) { return TBytes(text.begin(), text.end()); }

const std::string kGetLines = ":method=GET\n:scheme=https\n:path=/\n:authority=example.com\n";

// Frames a fresh server reader must refuse, each as the error says, before
// handing anything on.
struct Hostile {
  TBytes bytes;
  std::string message;
  Th2ErrorCodes code;
  Th2ErrorResponse response = h2errGO_AWAY;
  int32_t stream = 0;
};

void ExpectRefused(const std::vector<Hostile>& cases) {
  for (const Hostile& c : cases) {
    Recorder r;
    const auto failure = ReadFailure(r.reader, c.bytes);
    ASSERT_TRUE(failure) << c.message;
    EXPECT_EQ(failure->message, c.message);
    EXPECT_EQ(failure->code, c.code) << c.message;
    EXPECT_EQ(failure->response, c.response) << c.message;
    EXPECT_EQ(failure->stream, c.stream) << c.message;
    EXPECT_TRUE(r.events.empty()) << c.message;
  }
}

TEST(FrameReader, SplitAndJoinedInputGiveTheSameFrames) {
  const TBytes stream = Concat({Frame(h2ftSETTINGS, 0, 0, {0, 4, 0, 1, 0, 0}),
                                Frame(h2ftHEADERS, h2flags::END_HEADERS, 1, GetRequestBlock()),
                                Frame(h2ftDATA, 0, 1, Text("abc")),
                                Frame(h2ftDATA, h2flags::END_STREAM, 1, {}),
                                Frame(h2ftPING, 0, 0, {0, 0, 0, 0, 0, 0, 0, 7}),
                                Frame(h2ftSETTINGS, h2flags::ACK, 0, {})});
  Recorder whole;
  whole.reader.ReadBytes(stream);
  const std::vector<std::string> expected = {"SETTINGS 65536", "HEADERS 1 " + kGetLines, "DATA 1 abc", "DATA 1  end",
                                             "PING 7", "SETTINGS ack"};
  EXPECT_EQ(whole.events, expected);
  EXPECT_EQ(whole.reader.ReadState(), h2rsHeaderWait);
  // Every split point, and octet by octet.
  for (size_t split = 1; split < stream.size(); ++split) {
    Recorder parts;
    parts.reader.ReadBytes({stream.data(), split});
    parts.reader.ReadBytes({stream.data() + split, stream.size() - split});
    ASSERT_EQ(parts.events, expected) << split;
  }
  Recorder bytewise;
  for (uint8_t octet : stream) bytewise.reader.ReadBytes({&octet, 1});
  EXPECT_EQ(bytewise.events, expected);
}

TEST(FrameReader, UnknownTypesAreSkippedOutsideHeaderBlocks) {
  Recorder r;
  r.reader.ReadBytes(Concat({Frame(0x20, 0xFF, 5, Text("ignored")), Frame(h2ftPING, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1})}));
  EXPECT_EQ(r.events, std::vector<std::string>{"PING 1"});
  const TBytes open = Frame(h2ftHEADERS, 0, 1, GetRequestBlock());
  auto failure = ReadFailure(r.reader, Concat({open, Frame(10, 0, 1, {})}));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "UNKNOWN frame must be preceded by Frame with no EndHeaders.");
  EXPECT_EQ(failure->code, h2erPROTOCOL_ERROR);
}

TEST(FrameReader, FrameHeaderChecks) {
  ExpectRefused({
      {Frame(h2ftDATA, 0, 1, TBytes(16385)), "Frame size greater than MaxFrameSize: 16384", h2erFRAME_SIZE_ERROR},
      {Frame(h2ftPING, 0, 0, TBytes(7)), "PING FRAME: Frame size must be 8 octets.", h2erFRAME_SIZE_ERROR},
      {Frame(h2ftDATA, 0, 0, {}), "DATA FRAME: Stream Identifier can not be zero.", h2erPROTOCOL_ERROR},
      {Frame(h2ftHEADERS, 4, 0, {0x82}), "HEADER FRAME: Stream Identifier can not be zero.", h2erPROTOCOL_ERROR},
      {Frame(h2ftPRIORITY, 0, 0, TBytes(5)), "PRIORITY FRAME: Stream Identifier can not be zero.", h2erPROTOCOL_ERROR},
      {Frame(h2ftRST_STREAM, 0, 0, TBytes(4)), "RST_STREAM FRAME: Stream Identifier can not be zero.",
       h2erPROTOCOL_ERROR},
      {Frame(h2ftSETTINGS, 0, 1, {}), "SETTINGS FRAME: Stream Identifier can not be greater than zero.",
       h2erPROTOCOL_ERROR},
      {Frame(h2ftPUSH_PROMISE, 4, 0, TBytes(4)), "PUSH PROMISE FRAME: Stream Identifier can not be zero.",
       h2erPROTOCOL_ERROR},
      {Frame(h2ftPUSH_PROMISE, 4, 1, TBytes(4)), "PUSH PROMISE FRAME: a client cannot push.", h2erPROTOCOL_ERROR},
      {Frame(h2ftPING, 0, 1, TBytes(8)), "PING FRAME: Stream Identifier can not be greater than zero.",
       h2erPROTOCOL_ERROR},
      {Frame(h2ftGOAWAY, 0, 1, TBytes(8)), "GO AWAY: Stream Identifier can not be greater than zero.",
       h2erPROTOCOL_ERROR},
      {Frame(h2ftCONTINUATION, 4, 0, {}), "CONTINUATION FRAME: Stream Identifier can not be zero.",
       h2erPROTOCOL_ERROR},
      {Frame(h2ftCONTINUATION, 4, 1, {}), "CONTINUATION frame must be preceded by Frame with no EndHeaders.",
       h2erPROTOCOL_ERROR},
  });
}

TEST(FrameReader, ReservedBitAndLargerAnnouncedFrameSize) {
  Recorder r;
  r.reader.ReadBytes(Frame(h2ftHEADERS, h2flags::END_HEADERS, 0x80000003, GetRequestBlock()));
  EXPECT_EQ(r.reader.StreamIdentifier(), 3);
  r.reader.SetMaxFrameSize(20000);
  r.reader.ReadBytes(Frame(h2ftDATA, 0, 3, TBytes(16385, 'x')));
  EXPECT_EQ(r.events.size(), 2u);
}

TEST(FrameReader, HeaderBlockSequencing) {
  const TBytes block = GetRequestBlock();
  const TBytes first(block.begin(), block.begin() + 3), rest(block.begin() + 3, block.end());
  {
    Recorder r;  // HEADERS, CONTINUATION, CONTINUATION: one HEADERS event with the whole list
    r.reader.ReadBytes(Concat({Frame(h2ftHEADERS, h2flags::END_STREAM, 1, first),
                               Frame(h2ftCONTINUATION, 0, 1, {}),
                               Frame(h2ftCONTINUATION, h2flags::END_HEADERS, 1, rest)}));
    EXPECT_EQ(r.events, (std::vector<std::string>{"CONTINUATION", "CONTINUATION", "HEADERS 1 " + kGetLines}));
    EXPECT_TRUE(r.reader.Frame_Headers().EndStream());
  }
  const struct {
    TBytes next;
    std::string message;
  } cases[] = {
      {Frame(h2ftDATA, 0, 1, {}), "CONTINUATION frame must be preceded by HEADERS, PUSH_PROMISE or CONTINUATION."},
      {Frame(h2ftHEADERS, 4, 3, block), "CONTINUATION frame must be preceded by HEADERS, PUSH_PROMISE or CONTINUATION."},
      {Frame(h2ftPING, 0, 0, TBytes(8)), "CONTINUATION frame must be preceded by HEADERS, PUSH_PROMISE or CONTINUATION."},
      {Frame(h2ftCONTINUATION, 4, 3, rest), "CONTINUATION FRAME: Stream Identifier must be the one of its header block."},
  };
  for (const auto& c : cases) {
    Recorder r;
    const auto failure = ReadFailure(r.reader, Concat({Frame(h2ftHEADERS, 0, 1, first), c.next}));
    ASSERT_TRUE(failure) << c.message;
    EXPECT_EQ(failure->message, c.message);
    EXPECT_EQ(failure->code, h2erPROTOCOL_ERROR);
    EXPECT_TRUE(r.events.empty());
  }
}

TEST(FrameReader, HeaderBlockOfEndlessContinuationsIsBounded) {
  Recorder r;
  r.reader.HPACK().SetMaxHeaderListSize(1024);
  r.reader.ReadBytes(Frame(h2ftHEADERS, 0, 1, {}));
  std::optional<testing::TFailure> failure;
  for (int i = 0; i < 100 && !failure; ++i) failure = ReadFailure(r.reader, Frame(h2ftCONTINUATION, 0, 1, TBytes(16384, 0x82)));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->code, h2erENHANCE_YOUR_CALM);
  EXPECT_EQ(failure->response, h2errGO_AWAY);
}

TEST(FrameReader, PayloadOffsetsAreCheckedBeforeUse) {
  const TBytes block = GetRequestBlock();
  ExpectRefused({
      {Frame(h2ftDATA, h2flags::PADDED, 1, {}), "Frame Size Error.", h2erFRAME_SIZE_ERROR},
      {Frame(h2ftDATA, h2flags::PADDED, 1, {3, 'a', 0}), "Padding Length is invalid.", h2erPROTOCOL_ERROR},
      {Frame(h2ftHEADERS, h2flags::PADDED | h2flags::END_HEADERS, 1, {}), "Frame Size Error.", h2erFRAME_SIZE_ERROR},
      {Frame(h2ftHEADERS, h2flags::PADDED | h2flags::END_HEADERS, 1, {200, 0x82}), "Padding Length is invalid.",
       h2erPROTOCOL_ERROR},
      {Frame(h2ftHEADERS, h2flags::PRIORITY | h2flags::END_HEADERS, 1, {0, 0, 0, 0}), "Frame Size Error.",
       h2erFRAME_SIZE_ERROR},
      {Frame(h2ftHEADERS, h2flags::PRIORITY | h2flags::PADDED | h2flags::END_HEADERS, 1, {1, 0, 0, 0, 0, 16}),
       "Padding Length is invalid.", h2erPROTOCOL_ERROR},
      {Frame(h2ftHEADERS, h2flags::PRIORITY | h2flags::END_HEADERS, 1, Concat({{0, 0, 0, 1, 16}, block})),
       "Stream cannot depends on itself.", h2erPROTOCOL_ERROR},
      {Frame(h2ftGOAWAY, 0, 0, TBytes(7)), "Frame Size Error.", h2erFRAME_SIZE_ERROR},
      {Frame(h2ftWINDOW_UPDATE, 0, 0, TBytes(8, 1)), "WINDOW UPDATE FRAME: Payload must be 4 octets.",
       h2erFRAME_SIZE_ERROR},
      {Frame(h2ftWINDOW_UPDATE, 0, 0, {0, 0, 0}), "WINDOW UPDATE FRAME: Payload must be 4 octets.",
       h2erFRAME_SIZE_ERROR},
      {Frame(h2ftWINDOW_UPDATE, 0, 0, {0x80, 0, 0, 0}),
       "WINDOW UPDATE FRAME: WindowSizeIncrement value must be between 1 and 2^31-1", h2erPROTOCOL_ERROR},
      {Frame(h2ftWINDOW_UPDATE, 0, 3, {0, 0, 0, 0}),
       "WINDOW UPDATE FRAME: WindowSizeIncrement value must be between 1 and 2^31-1", h2erPROTOCOL_ERROR,
       h2errRST_STREAM, 3},
      {Frame(h2ftRST_STREAM, 0, 1, TBytes(5)), "Frame Size Error.", h2erFRAME_SIZE_ERROR},
      {Frame(h2ftPRIORITY, 0, 5, TBytes(4)), "Frame Size Error.", h2erFRAME_SIZE_ERROR, h2errRST_STREAM, 5},
      {Frame(h2ftSETTINGS, h2flags::ACK, 0, TBytes(6)), "When Settings FRAME has ACK enabled, payload must be empty.",
       h2erFRAME_SIZE_ERROR},
      {Frame(h2ftSETTINGS, 0, 0, TBytes(7)), "SETTINGS FRAME: Payload must be multiple of 6 octets.",
       h2erFRAME_SIZE_ERROR},
      {Frame(h2ftSETTINGS, 0, 0, {0, 2, 0, 0, 1, 0}), "Invalid value Enable Push", h2erPROTOCOL_ERROR},
      {Frame(h2ftSETTINGS, 0, 0, {0, 8, 0, 0, 0, 2}), "Invalid value Enable Connect Protocol", h2erPROTOCOL_ERROR},
      {Frame(h2ftSETTINGS, 0, 0, {0, 4, 0x80, 0, 0, 0}), "Invalid Initial Window Size", h2erFLOW_CONTROL_ERROR},
      {Frame(h2ftSETTINGS, 0, 0, {0, 5, 0, 0, 0x3F, 0xFF}), "Invalid Max Frame Size", h2erPROTOCOL_ERROR},
      {Frame(h2ftSETTINGS, 0, 0, {0, 5, 1, 0, 0, 0}), "Invalid Max Frame Size", h2erPROTOCOL_ERROR},
  });
}

TEST(FrameReader, PaddingPriorityAndSettingsAreRead) {
  Recorder r;
  r.reader.ReadBytes(Concat({
      Frame(h2ftHEADERS, h2flags::PADDED | h2flags::PRIORITY | h2flags::END_HEADERS, 1,
            Concat({{2, 0x80, 0, 0, 0, 200}, GetRequestBlock(), {0, 0}})),
      Frame(h2ftDATA, h2flags::PADDED, 1, {2, 'o', 'k', 0, 0}),
      Frame(h2ftDATA, h2flags::PADDED | h2flags::END_STREAM, 1, {0}),
      // Unsigned values; identifiers 9 and 0x100 are ignored.
      Frame(h2ftSETTINGS, 0, 0, {0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 9, 0, 0, 0, 5, 1, 0, 0, 0, 0, 1, 0, 6, 0x80, 0, 0, 0}),
      Frame(h2ftGOAWAY, 0, 0, {0x80, 0, 0, 3, 0, 0, 0, 2, 0xFF, 'x'}),
      Frame(h2ftWINDOW_UPDATE, 0, 1, {0x80, 0, 0, 9}),
      Frame(h2ftPRIORITY, 0, 3, {0, 0, 0, 1, 42}),
      Frame(h2ftRST_STREAM, 0, 1, {0, 0, 0, 8}),
  }));
  const TzorHTTP2_Frame_Headers& headers = r.reader.Frame_Headers();
  EXPECT_EQ(headers.PadLength(), 2u);
  EXPECT_EQ(headers.StreamDependency(), 0u);  // exclusive bit set, stream 0
  EXPECT_EQ(headers.Weight(), 200u);
  const TzorHTTP2_Frame_Settings& settings = r.reader.Frame_Settings();
  EXPECT_EQ(settings.HeaderTableSize(), 0xFFFFFFFFu);
  EXPECT_EQ(settings.MaxHeaderListSize(), 0x80000000u);
  EXPECT_EQ(r.events, (std::vector<std::string>{"HEADERS 1 " + kGetLines, "DATA 1 ok", "DATA 1  end", "SETTINGS 65535",
                                                "GOAWAY 3 2 \xFFx", "WINDOW_UPDATE 1 9", "PRIORITY 42",
                                                "RST_STREAM 8"}));
}

TEST(FrameReader, StreamIdentifierRules) {
  Recorder r;
  r.reader.ReadBytes(Frame(h2ftHEADERS, h2flags::END_HEADERS, 3, GetRequestBlock()));
  // DATA on an earlier stream is fine (request bodies go in parallel).
  r.reader.ReadBytes(Frame(h2ftDATA, 0, 1, Text("x")));
  auto failure = ReadFailure(r.reader, Frame(h2ftHEADERS, h2flags::END_HEADERS, 1, GetRequestBlock()));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "StreamIdentifier is lower than LAST Stream Received.");
  EXPECT_EQ(r.reader.LastStreamIdentifierRecv(), 3);

  Recorder closed;
  closed.reader.AddClosedStream(5);
  failure = ReadFailure(closed.reader, Frame(h2ftDATA, 0, 5, {}));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "DATA FRAME: Stream Identifier already closed.");
  EXPECT_EQ(failure->code, h2erSTREAM_CLOSED);
  Recorder closedHeaders;
  closedHeaders.reader.AddClosedStream(5);
  failure = ReadFailure(closedHeaders.reader, Frame(h2ftHEADERS, h2flags::END_HEADERS, 5, GetRequestBlock()));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "HEADER FRAME: Stream Identifier already closed.");
  EXPECT_EQ(failure->code, h2erSTREAM_CLOSED);

  // The order of new streams is checked before the per-type rules.
  failure = ReadFailure(r.reader, Frame(h2ftHEADERS, h2flags::END_HEADERS, 0, GetRequestBlock()));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "StreamIdentifier is lower than LAST Stream Received.");

  TzorHTTP2_Frame client(h2frClientRead);
  failure = ReadFailure(client, Frame(h2ftDATA, 0, 101, {}));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "StreamIdentifier is Unexpected.");
}

TEST(FrameReader, AfterAStreamErrorReadingGoesOn) {
  Recorder r;
  const TBytes bytes = Concat({Frame(h2ftWINDOW_UPDATE, 0, 1, {0, 0, 0, 0}), Frame(h2ftPING, 0, 0, TBytes(8, 4))});
  const auto failure = ReadFailure(r.reader, bytes);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->response, h2errRST_STREAM);
  EXPECT_TRUE(r.events.empty());
  r.reader.ReadBytes({});
  EXPECT_EQ(r.events, std::vector<std::string>{"PING 4"});
}

TEST(FrameReader, RequestHeaderValidation) {
  const std::pair<std::string, std::string> method{":method", "GET"}, scheme{":scheme", "https"}, path{":path", "/"},
      authority{":authority", "a"};
  const struct {
    TBytes block;
    std::string message;
  } cases[] = {
      {RequestBlock({method, scheme, path}), "PSEUDO-HEADER :authority not found."},
      {RequestBlock({method, scheme, path, authority, {"accept", "*/*"}, {":x", "1"}}),
       "PSEUDO-HEADERS cannot appear in a Header Block AFTER a REGULAR field."},
      {RequestBlock({method, scheme, path, authority, {"connection", "close"}}),
       "CONNECTION HEADER fields are not allowed."},
      {RequestBlock({method, scheme, path, authority, {"Accept", "*/*"}}), "HEADER name cannot contain UPPERCASE letters."},
      {RequestBlock({method, scheme, path, authority, {"te", "gzip"}}),
       "TE HEADER must not contain any value other than \"trailers\"."},
      {RequestBlock({{":method", "get"}, scheme, path, authority}), "PSEUDO-HEADER :method value \"get\" is invalid."},
      {RequestBlock({method, {":scheme", ""}, path, authority}), "PSEUDO-HEADER :scheme value \"\" is invalid."},
      {RequestBlock({method, method, scheme, path, authority}), "PSEUDO-HEADER field cannot be duplicated."},
      {RequestBlock({method, scheme, path, authority, {":status", "200"}}), "PSEUDO-HEADER field is Unknown."},
      {RequestBlock({method, scheme, path, authority, {"x-a", "1\r\nx-b: 2"}}), "HEADER field cannot contain CR, LF or NUL."},
      {RequestBlock({method, scheme, path, authority, {"x-a", std::string("1\0", 2)}}),
       "HEADER field cannot contain CR, LF or NUL."},
      {RequestBlock({method, scheme, path, authority, {"x\na", "1"}}), "HEADER field cannot contain CR, LF or NUL."},
      // Names are trimmed before the checks, and an upper-case pseudo-header
      // is an upper-case name.
      {RequestBlock({method, scheme, path, authority, {"te ", "gzip"}}),
       "TE HEADER must not contain any value other than \"trailers\"."},
      {RequestBlock({method, scheme, path, authority, {"connection ", "close"}}),
       "CONNECTION HEADER fields are not allowed."},
      {RequestBlock({{":METHOD", "GET"}, scheme, path, authority}), "HEADER name cannot contain UPPERCASE letters."},
      // Beyond those: blanks in a name that passed them.
      {RequestBlock({method, scheme, path, authority, {"x-a ", "1"}}), "HEADER name contains an invalid character."},
      // A plain CONNECT names only an authority; a protocol needs the announcement.
      {RequestBlock({{":method", "CONNECT"}, authority, path}), "PSEUDO-HEADER field is Unknown."},
      {RequestBlock({{":method", "CONNECT"}, scheme, path, authority, {":protocol", "websocket"}}),
       "PSEUDO-HEADER field is Unknown."},
  };
  for (const auto& c : cases) {
    Recorder r;
    const auto failure = ReadFailure(r.reader, Frame(h2ftHEADERS, h2flags::END_HEADERS, 1, c.block));
    ASSERT_TRUE(failure) << c.message;
    EXPECT_EQ(failure->message, c.message);
    EXPECT_EQ(failure->code, h2erPROTOCOL_ERROR);
    EXPECT_TRUE(r.events.empty()) << c.message;
  }
  Recorder fine;
  fine.reader.ReadBytes(Frame(h2ftHEADERS, h2flags::END_HEADERS, 1,
                              RequestBlock({method, scheme, path, authority, {"te", "trailers"}})));
  EXPECT_EQ(fine.events.size(), 1u);
  // A client reader wants :status and nothing else.
  TzorHTTP2_Frame client(h2frClientRead);
  client.ReadBytes(Frame(h2ftHEADERS, h2flags::END_HEADERS, 1, RequestBlock({{":status", "404"}, {"content-length", "12"}})));
  EXPECT_EQ(client.Frame_Headers().Status(), 404);
  EXPECT_EQ(client.Frame_Headers().ContentLength(), 12);
  const auto failure = ReadFailure(client, Frame(h2ftHEADERS, h2flags::END_HEADERS, 3, GetRequestBlock()));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "PSEUDO-HEADER :status not found.");
}

TEST(FrameReader, HeaderAccessorsAndPushPromise) {
  TzorHTTP2_Frame client(h2frClientRead);
  client.ReadBytes(Frame(h2ftHEADERS, h2flags::END_HEADERS, 1,
                         RequestBlock({{":status", "302"},
                                       {"location", "/next"},
                                       {"content-type", "text/html; Charset=\"utf-8\""},
                                       {"content-length", "x"}})));
  const TzorHTTP2_Frame_Headers& headers = client.Frame_Headers();
  EXPECT_EQ(headers.Status(), 302);
  EXPECT_EQ(headers.Location(), "/next");
  EXPECT_EQ(headers.Charset(), "utf-8");
  EXPECT_EQ(headers.ContentLength(), 0);
  EXPECT_EQ(headers.Method(), "");
  // A promise whose block continues, then the promised request's accessors.
  const TBytes block = RequestBlock({{":method", "PUT"}, {":path", "/p"}});
  int promises = 0;
  client.OnReadFramePushPromise = [&](TzorHTTP2_Frame&, TzorHTTP2_Frame_PushPromise& promise) {
    ++promises;
    EXPECT_EQ(promise.PromisedStreamid(), 2);
    EXPECT_EQ(promise.URL(), "/p");
    EXPECT_EQ(promise.Method(), h2mePut);
  };
  client.ReadBytes(Concat({Frame(h2ftPUSH_PROMISE, h2flags::PADDED, 1, Concat({{1, 0x80, 0, 0, 2}, {block[0]}, {0}})),
                           Frame(h2ftCONTINUATION, h2flags::END_HEADERS, 1, TBytes(block.begin() + 1, block.end()))}));
  EXPECT_EQ(promises, 1);
}

}  // namespace
}  // namespace zor
