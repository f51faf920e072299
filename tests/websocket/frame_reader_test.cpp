#include "websocket/frame_reader.h"

#include "websocket/extensions.h"
#include "websocket/hixie76_reader.h"
#include "ws_test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace zor {
namespace {

using test::Bytes;
using test::Delivered;
using test::Disconnect;
using test::Feed;
using test::RecordingEvents;

struct ReaderFixture : ::testing::Test {
  RecordingEvents events;
  TzorWSFrameReader reader{events, nullptr};
};

const std::string kMaskedHello = Bytes({0x81, 0x85, 0x37, 0xfa, 0x21, 0x3d, 0x7f, 0x9f, 0x4d, 0x51, 0x58});

TEST_F(ReaderFixture, ExamplesOfTheRFC) {
  const std::string wire = Bytes({0x81, 0x05, 0x48, 0x65, 0x6c, 0x6c, 0x6f}) + kMaskedHello +
                           Bytes({0x01, 0x03, 0x48, 0x65, 0x6c, 0x80, 0x02, 0x6c, 0x6f}) +
                           Bytes({0x89, 0x05, 0x48, 0x65, 0x6c, 0x6c, 0x6f}) +
                           Bytes({0x8a, 0x85, 0x37, 0xfa, 0x21, 0x3d, 0x7f, 0x9f, 0x4d, 0x51, 0x58}) +
                           Bytes({0x82, 0x7E, 0x01, 0x00}) + std::string(256, 'b') +
                           Bytes({0x82, 0x7F, 0, 0, 0, 0, 0, 1, 0, 0}) + std::string(65536, 'c');
  EXPECT_EQ(Feed(reader, wire), wire.size());
  const std::vector<Delivered> expected = {
      {opText, "Hello", false, false}, {opText, "Hello", false, false},    {opText, "Hel", true, false},
      {opText, "Hello", false, true},  {opPing, "Hello", false, false},    {opPong, "Hello", false, false},
      {opBinary, std::string(256, 'b'), false, false}, {opBinary, std::string(65536, 'c'), false, false}};
  EXPECT_EQ(events.delivered, expected);
  EXPECT_TRUE(events.disconnects.empty());
}

// Every failure with its message and close code.
TEST(FrameReader, FailuresAndTheirCloseCodes) {
  struct Case {
    std::string wire;
    bool requireMask;
    Disconnect expected;
  };
  const std::string twoBytes(2, '\0');
  const std::vector<Case> cases = {
      {Bytes({0x80, 0x00}), false, {"Unfragmented message after continuation frame with FIN", 1002}},
      {Bytes({0x01, 0x01, 'a', 0x81, 0x00}), false, {"OpCode error, received opText after Continuation not finished", 1002}},
      {Bytes({0x02, 0x01, 'a', 0x82, 0x00}), false, {"OpCode error, received opBinary after Continuation not finished", 1002}},
      {Bytes({0x01, 0x00, 0x89, 0x00, 0x82, 0x00}), false, {"OpCode error, received opBinary after Continuation not finished", 1002}},
      {Bytes({0x83, 0x00}), false, {"Invalid Control OptCode", 1002}},
      {Bytes({0x8B, 0x00}), false, {"Invalid Control OptCode", 1002}},
      {Bytes({0xA1, 0x00}), false, {"Invalid value of RSV while no Extension Negotiated", 1002}},
      {Bytes({0xC1, 0x00}), false, {"Invalid value of RSV while no Extension Negotiated", 1002}},
      {Bytes({0x09, 0x00}), false, {"Control Message must not be fragmented", 1002}},
      {Bytes({0x81, 0x00}), true, {"Message is not masked", 1002}},
      {Bytes({0x89, 0x7E, 0x00, 0x7E}), false, {"Control frames are only allowed to have payload up to and including 125 octets", 1002}},
      {Bytes({0x88, 0x7F}), false, {"Control frames are only allowed to have payload up to and including 125 octets", 1002}},
      {Bytes({0x88, 0x01, 0x03}), false, {"Invalid Payload length for close code", 1002}},
      {Bytes({0x88, 0x81, 1, 2, 3, 4, 0x03 ^ 1}), true, {"Invalid Payload length for close code", 1002}},
      {Bytes({0x88, 0x05, 0x03, 0xE8, 'a', 0xC0, 0x80}), false, {"Invalid UTF8 message", 1007}},
      {Bytes({0x82, 0x7F, 0, 0, 0, 0, 0x80, 0, 0, 0}), false, {"Message too big: 2147483648 bytes exceed the limit of 67108864 bytes", 1009}},
      {Bytes({0x82, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), false, {"Message too big: 18446744073709551615 bytes exceed the limit of 67108864 bytes", 1009}},
  };
  // Short input takes the byte-by-byte path, a long one the whole-header path.
  for (const std::string& tail : {Bytes({0x81, 0x01, 'Z'}), Bytes({0x81, 0x01, 'Z'}) + std::string(20, '\x7F')}) {
    for (const auto& c : cases) {
      RecordingEvents events;
      TzorWSFrameReader reader(events, nullptr);
      reader.SetRequireMask(c.requireMask);
      reader.SetValidateUTF8(true);
      Feed(reader, c.wire + tail);  // nothing after a failure is read
      ASSERT_EQ(events.disconnects.size(), 1u) << c.expected.message;
      EXPECT_EQ(events.disconnects[0], c.expected);
      EXPECT_TRUE(reader.Stopped());
      for (const auto& d : events.delivered) EXPECT_NE(d.payload, "Z") << "frame read after failure";
    }
  }
}

TEST(FrameReader, CloseCodes) {
  for (int code : {0, 1, 999, 1004, 1005, 1006, 1012, 1015, 2999, 5000, 65535}) {
    RecordingEvents events;
    TzorWSFrameReader reader(events, nullptr);
    Feed(reader, Bytes({0x88, 0x02, code >> 8, code & 0xFF}));
    ASSERT_EQ(events.disconnects.size(), 1u);
    EXPECT_EQ(events.disconnects[0], (Disconnect{"Invalid close code", 1002})) << code;
  }
  for (int code : {1000, 1001, 1003, 1007, 1011, 3000, 4999}) {
    RecordingEvents events;
    TzorWSFrameReader reader(events, nullptr);
    Feed(reader, Bytes({0x88, 0x02, code >> 8, code & 0xFF}));
    ASSERT_EQ(events.disconnects.size(), 1u);
    EXPECT_EQ(events.disconnects[0], (Disconnect{"", 1000})) << code;
    EXPECT_EQ(reader.CloseCode(), code);
  }
}

TEST_F(ReaderFixture, CloseWithReasonAndEmptyCloses) {
  Feed(reader, Bytes({0x88, 0x05, 0x03, 0xE8, 'b', 'y', 'e'}));
  EXPECT_EQ(reader.CloseCode(), 1000);
  EXPECT_EQ(reader.CloseReason(), "bye");
  EXPECT_EQ(events.disconnects, (std::vector<Disconnect>{{"", 1000}}));
  for (const std::string& wire : {Bytes({0x88, 0x80, 1, 2, 3, 4}), Bytes({0x88, 0x00})}) {
    RecordingEvents e;
    TzorWSFrameReader r(e, nullptr);
    Feed(r, wire);
    EXPECT_EQ(e.disconnects, (std::vector<Disconnect>{{"", 1000}}));
    EXPECT_EQ(r.CloseCode(), 0);
  }
}

TEST_F(ReaderFixture, PingBetweenFragmentsKeepsTheMessage) {
  Feed(reader, Bytes({0x01, 0x03, 'H', 'e', 'l', 0x89, 0x03, 'a', 'b', 'c', 0x00, 0x01, 'l', 0x80, 0x01, 'o'}));
  const std::vector<Delivered> expected = {{opText, "Hel", true, false},
                                           {opPing, "abc", false, false},
                                           {opText, "Hell", true, true},
                                           {opText, "Hello", false, true}};
  EXPECT_EQ(events.delivered, expected);
  // The next message starts afresh.
  Feed(reader, Bytes({0x82, 0x01, 'z'}));
  EXPECT_EQ(events.delivered.back(), (Delivered{opBinary, "z", false, false}));
}

TEST_F(ReaderFixture, EmptyFramesWithLongLengthFormsAreDelivered) {
  Feed(reader, Bytes({0x82, 0x7E, 0, 0, 0x81, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0, 0x8A, 0x00, 0x81, 0x80, 1, 2, 3, 4}));
  const std::vector<Delivered> expected = {
      {opBinary, "", false, false}, {opText, "", false, false}, {opPong, "", false, false}, {opText, "", false, false}};
  EXPECT_EQ(events.delivered, expected);
  EXPECT_TRUE(events.disconnects.empty());
}

TEST(FrameReader, FragmentedMessageTotalIsBounded) {
  RecordingEvents events;
  TzorWSFrameReader reader(events, nullptr);
  reader.SetMaxMessageSize(10);
  Feed(reader, Bytes({0x82, 0x0A}) + std::string(10, 'x'));  // exactly the limit
  Feed(reader, Bytes({0x02, 0x06}) + std::string(6, 'x') + Bytes({0x80, 0x05}));
  ASSERT_EQ(events.disconnects.size(), 1u);
  EXPECT_EQ(events.disconnects[0].code, 1009);
  EXPECT_EQ(events.delivered.size(), 2u);
}

TEST(FrameReader, RSV1IsRecordedOnlyWhenAnExtensionIsNegotiated) {
  TzorWSExtensions extensions;
  extensions.PerMessage_Deflate().SetEnabled(true);
  extensions.DecodeExtensions("permessage-deflate");
  RecordingEvents events;
  TzorWSFrameReader reader(events, &extensions);
  Feed(reader, Bytes({0x41, 0x01, 'a'}));
  EXPECT_TRUE(extensions.PerMessage_Deflate().MessageCompressed());
  Feed(reader, Bytes({0x80, 0x01, 'b', 0x81, 0x01, 'c'}));  // the continuation keeps the record
  EXPECT_FALSE(extensions.PerMessage_Deflate().MessageCompressed());
  EXPECT_TRUE(events.disconnects.empty());
  EXPECT_EQ(events.delivered.size(), 3u);
}

TEST(FrameReader, ByteAtATimeAndRandomSplitsEqualOneRead) {
  // Masked and unmasked frames, all three length forms, fragments and a ping between them.
  std::string wire = kMaskedHello + Bytes({0x01, 0x03, 'H', 'e', 'l', 0x89, 0x83, 9, 8, 7, 6, 'a' ^ 9, 'b' ^ 8, 'c' ^ 7});
  wire += Bytes({0x80, 0xFE, 0x01, 0x2C, 0x11, 0x22, 0x33, 0x44});
  for (int i = 0; i < 300; ++i) wire.push_back(static_cast<char>(i ^ "\x11\x22\x33\x44"[i % 4]));
  wire += Bytes({0x82, 0x7F, 0, 0, 0, 0, 0, 1, 0, 3}) + std::string(65539, 'q');
  wire += Bytes({0x88, 0x02, 0x03, 0xE9});

  RecordingEvents whole;
  TzorWSFrameReader wholeReader(whole, nullptr);
  ASSERT_EQ(Feed(wholeReader, wire), wire.size());
  ASSERT_EQ(whole.delivered.size(), 5u);
  ASSERT_EQ(whole.disconnects, (std::vector<Disconnect>{{"", 1000}}));

  RecordingEvents bytewise;
  TzorWSFrameReader byteReader(bytewise, nullptr);
  for (char c : wire) ASSERT_EQ(Feed(byteReader, std::string(1, c)), 1u);
  EXPECT_EQ(bytewise.delivered, whole.delivered);
  EXPECT_EQ(bytewise.disconnects, whole.disconnects);
  EXPECT_EQ(byteReader.CloseCode(), 1001);

  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    RecordingEvents pieces;
    TzorWSFrameReader reader(pieces, nullptr);
    for (size_t at = 0; at < wire.size();) {
      const size_t n = std::min<size_t>(wire.size() - at, 1 + rng() % 40);
      ASSERT_EQ(Feed(reader, wire.substr(at, n)), n);
      at += n;
    }
    EXPECT_EQ(pieces.delivered, whole.delivered);
  }
}

TEST(FrameReader, WriterOutputReadBackInServerMode) {
  test::RecordingSink sink;
  TzorWSFrameWriter writer(sink, nullptr);
  writer.SetMasked(true);
  RecordingEvents events;
  TzorWSFrameReader reader(events, nullptr);
  reader.SetRequireMask(true);
  for (size_t n : {0u, 1u, 3u, 125u, 126u, 1000u, 65535u, 65536u, 70001u}) {
    std::string payload(n, '\0');
    for (size_t i = 0; i < n; ++i) payload[i] = static_cast<char>(i * 31 + n);
    writer.DoWriteStream(payload, 0, stmNone);
    Feed(reader, sink.frames.back());
    ASSERT_EQ(events.delivered.back(), (Delivered{opBinary, payload, false, false})) << n;
  }
  writer.DoWriteText("fragmented across several frames", 7, stmNone);
  for (const auto& f : sink.frames) Feed(reader, f);
  EXPECT_EQ(events.delivered.back(), (Delivered{opText, "fragmented across several frames", false, true}));
}

TEST(UTF8, ValidationTable) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"", true},
      {"plain ascii text longer than eight", true},
      {"\xC2\x80\xDF\xBF", true},
      {"\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80", true},
      {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", true},
      {"abc\xF4", true},  // a lone final F4 is accepted
      {"\xF4" "abc", false},
      {"\xC0\x80", false},
      {"\xC1\xBF", false},
      {"\x80", false},
      {"\xE0\x80\x80", false},        // overlong
      {"\xED\xA0\x80", false},        // surrogate
      {"\xF0\x80\x80\x80", false},    // overlong
      {"\xF4\x90\x80\x80", false},    // above U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\xE2\x82", false},            // cut short
      {"12345678\xE2\x82\xAC" "x", true},
      // Long ASCII runs are checked in blocks: a stray byte at a block's end
      // or just past it is still found.
      {std::string(31, 'a') + "\x80" + std::string(8, 'a'), false},
      {std::string(32, 'a') + "\xBF" + std::string(40, 'a'), false},
      {std::string(33, 'a') + "\xE2\x82\xAC" + std::string(64, 'b'), true},
  };
  for (const auto& [bytes, valid] : cases) EXPECT_EQ(ValidateUTF8Payload(bytes), valid) << bytes;
  EXPECT_TRUE(ValidateUTF8Payload("\xC0\x80", false));
}

TEST_F(ReaderFixture, DecodeTextPayloadRefusesIllFormedTextWhateverValidateUTF8Says) {
  std::string text;
  EXPECT_TRUE(reader.DecodeTextPayload("h\xC3\xA9", text));
  EXPECT_EQ(text, "h\xC3\xA9");
  EXPECT_TRUE(events.disconnects.empty());
  for (bool validate : {false, true}) {
    reader.SetValidateUTF8(validate);
    EXPECT_FALSE(reader.DecodeTextPayload("a\xC0\x80", text));
    EXPECT_FALSE(reader.DecodeTextPayload("ok\xF4", text));  // a whole text may not end inside a sequence
  }
  EXPECT_EQ(events.disconnects, (std::vector<Disconnect>(4, {"Invalid UTF8 message", 1007})));
}

TEST(UTF8Stream, PiecesAreCheckedOnceAndSequencesMayBeSplit) {
  const std::string euro = "\xE2\x82\xAC";
  for (size_t cut = 0; cut <= euro.size(); ++cut) {
    TzorUTF8Stream s;
    EXPECT_TRUE(s.Add("a" + euro.substr(0, cut), false)) << cut;
    EXPECT_TRUE(s.Add(euro.substr(cut) + "b", true)) << cut;
  }
  TzorUTF8Stream cutOff;
  EXPECT_TRUE(cutOff.Add("\xF0\x9F", false));
  EXPECT_FALSE(cutOff.Add("\x98", true));  // ends inside the sequence
  TzorUTF8Stream bad;
  EXPECT_TRUE(bad.Add("\xED", false));
  EXPECT_FALSE(bad.Add("\xA0\x80", false));  // a surrogate
  TzorUTF8Stream never;
  EXPECT_FALSE(never.Add("ok\xC0", false));  // C0 starts nothing
  bool badByte = false;
  EXPECT_EQ(WellFormedUTF8Prefix("ab\xE2\x82", badByte), 2u);
  EXPECT_FALSE(badByte);
  EXPECT_EQ(WellFormedUTF8Prefix("ab\xE2\x41", badByte), 2u);
  EXPECT_TRUE(badByte);
}

TEST(Hixie76Reader, MessagesCloseAndSplits) {
  RecordingEvents events;
  test::RecordingSink sink;
  TzorWSHixie76Reader reader(events, sink);
  const std::string wire = Bytes({'x', 0x00, 'h', 'i', 0xFF, 0x00, 0xFF, 0xFF, 0x01, 0xFF, 0x00});
  for (char c : wire) reader.Read(reinterpret_cast<const uint8_t*>(&c), 1);
  const std::vector<Delivered> expected = {{opText, "hi", false, false}, {opText, "", false, false}};
  EXPECT_EQ(events.delivered, expected);
  EXPECT_EQ(sink.frames, (std::vector<std::string>{Bytes({0xFF, 0x00})}));  // only 0xFF 0x00 is a close

  reader.SetMaxMessageSize(3);
  const std::string big = Bytes({0x00, 'a', 'b', 'c', 'd', 0xFF});
  reader.Read(reinterpret_cast<const uint8_t*>(big.data()), big.size());
  EXPECT_EQ(events.disconnects.size(), 1u);
  EXPECT_EQ(events.disconnects[0].code, 1009);
}

}  // namespace
}  // namespace zor
