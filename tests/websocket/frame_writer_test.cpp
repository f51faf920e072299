#include "websocket/frame_writer.h"

#include "websocket/extensions.h"
#include "websocket/frame_reader.h"
#include "websocket/masking.h"
#include "ws_test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace zor {
namespace {

using test::Bytes;
using test::RecordingSink;
using test::UnmaskedPayload;

struct WriterFixture : ::testing::Test {
  RecordingSink sink;
  TzorWSFrameWriter writer{sink, nullptr};
};

// The unmasked frames of RFC 6455 section 5.7, byte for byte.
TEST_F(WriterFixture, UnmaskedExamplesOfTheRFC) {
  writer.DoWriteText("Hello", 0, stmNone);
  writer.DoWriteText("Hel", 0, stmFirst);
  writer.DoWriteText("lo", 0, stmLast);
  writer.WriteTextFrame("Hello", opPing, false);
  writer.DoWriteStream(std::string(256, 'x'), 0, stmNone);
  writer.DoWriteStream(std::string(65536, 'y'), 0, stmNone);
  ASSERT_EQ(sink.frames.size(), 6u);
  EXPECT_EQ(sink.frames[0], Bytes({0x81, 0x05, 0x48, 0x65, 0x6c, 0x6c, 0x6f}));
  EXPECT_EQ(sink.frames[1], Bytes({0x01, 0x03, 0x48, 0x65, 0x6c}));
  EXPECT_EQ(sink.frames[2], Bytes({0x80, 0x02, 0x6c, 0x6f}));
  EXPECT_EQ(sink.frames[3], Bytes({0x89, 0x05, 0x48, 0x65, 0x6c, 0x6c, 0x6f}));
  EXPECT_EQ(sink.frames[4], Bytes({0x82, 0x7E, 0x01, 0x00}) + std::string(256, 'x'));
  EXPECT_EQ(sink.frames[5], Bytes({0x82, 0x7F, 0, 0, 0, 0, 0, 0x01, 0x00, 0x00}) + std::string(65536, 'y'));
}

TEST_F(WriterFixture, LengthFormsAtTheirBoundaries) {
  for (size_t n : {0u, 125u, 126u, 65535u, 65536u}) writer.DoWriteStream(std::string(n, 'a'), 0, stmNone);
  ASSERT_EQ(sink.frames.size(), 5u);
  EXPECT_EQ(sink.frames[0], Bytes({0x82, 0x00}));
  EXPECT_EQ(sink.frames[1].substr(0, 2), Bytes({0x82, 125}));
  EXPECT_EQ(sink.frames[2].substr(0, 4), Bytes({0x82, 126, 0x00, 126}));
  EXPECT_EQ(sink.frames[3].substr(0, 4), Bytes({0x82, 126, 0xFF, 0xFF}));
  EXPECT_EQ(sink.frames[4].substr(0, 10), Bytes({0x82, 127, 0, 0, 0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(sink.frames[4].size(), 65536u + 10);
}

TEST_F(WriterFixture, MaskedFramesCarryAKeyWithoutFFAndTheXoredPayload) {
  writer.SetMasked(true);
  std::string keys;
  for (int i = 0; i < 2000; ++i) {
    const std::string payload = "message " + std::to_string(i);
    writer.DoWriteText(payload, 0, stmNone);
    std::string key;
    ASSERT_EQ(UnmaskedPayload(sink.frames.back(), &key), payload);
    EXPECT_EQ(static_cast<uint8_t>(sink.frames.back()[1]), 0x80 | payload.size());
    keys += key;
  }
  // 8000 draws: with 0xFF possible it would be missing with odds of 1e-14.
  EXPECT_EQ(keys.find('\xFF'), std::string::npos);
  // ...and the keys are not constant.
  EXPECT_NE(keys.substr(0, 4), keys.substr(4, 4));
}

TEST_F(WriterFixture, TextRules) {
  writer.DoWriteText(std::string(1, '\0'), 0, stmNone);
  writer.DoWriteText("", 0, stmNone);
  EXPECT_EQ(sink.frames[0], Bytes({0x81, 0x01, 0x00}));
  EXPECT_EQ(sink.frames[1], Bytes({0x81, 0x00}));
  sink.frames.clear();
  // Five characters, one of two UTF-8 bytes, with size 3: two frames of 3 bytes.
  writer.DoWriteText("ab\xC3\xA9" "cd", 3, stmNone);
  ASSERT_EQ(sink.frames.size(), 2u);
  EXPECT_EQ(sink.frames[0], Bytes({0x01, 0x03, 'a', 'b', 0xC3}));
  EXPECT_EQ(sink.frames[1], Bytes({0x80, 0x03, 0xA9, 'c', 'd'}));
  // Five characters with size 5 fit in one frame although they are 6 bytes.
  writer.DoWriteText("ab\xC3\xA9" "cd", 5, stmNone);
  EXPECT_EQ(sink.frames[2].substr(0, 2), Bytes({0x81, 0x06}));
}

TEST_F(WriterFixture, StreamingModesPickOpcodesAndFin) {
  writer.DoWriteStream("abc", 0, stmFirst);
  writer.DoWriteStream("abc", 0, stmContinue);
  writer.DoWriteStream("abc", 0, stmLast);
  writer.DoWriteStream("abc", 0, stmContinueAndLast);
  writer.DoWriteStream("abcdefg", 3, stmContinueAndLast);  // three continuation frames
  writer.DoWriteText("abcdefg", 3, stmNone);               // text, continuation, continuation
  std::string firsts;
  for (const auto& f : sink.frames) firsts.push_back(f[0]);
  EXPECT_EQ(firsts, Bytes({0x02, 0x00, 0x80, 0x80, 0x00, 0x00, 0x80, 0x01, 0x00, 0x80}));
  EXPECT_EQ(sink.frames[9], Bytes({0x80, 0x01, 'g'}));
}

TEST_F(WriterFixture, CloseFrames) {
  writer.WriteCloseFrame(1000);
  writer.WriteCloseFrame(-1);
  EXPECT_EQ(sink.frames[0], Bytes({0x88, 0x02, 0x03, 0xE8}));
  EXPECT_EQ(sink.frames[1], Bytes({0x88, 0x00}));
}

TEST_F(WriterFixture, Hixie76SendsTextOnly) {
  writer.SetSpecification(spHixie76);
  writer.DoWriteText("hi", 5, stmFirst);
  writer.DoWriteStream("bin", 0, stmNone);
  writer.WriteCloseFrame(1000);
  ASSERT_EQ(sink.frames.size(), 1u);
  EXPECT_EQ(sink.frames[0], Bytes({0x00, 'h', 'i', 0xFF}));
}

TEST(FrameWriter, TransportFailuresAreReportedAsWriteErrors) {
  struct FailingSink : TzorWSFrameSink {
    int locks = 0;
    void Lock() override { ++locks; }
    void Unlock() override { --locks; }
    void WriteFrame(const uint8_t*, size_t) override { throw std::runtime_error("Connection reset by peer"); }
  } sink;
  TzorWSFrameWriter writer(sink, nullptr);
  try {
    writer.DoWriteText("x", 0, stmNone);
    FAIL() << "no exception";
  } catch (const TzorWSException& e) {
    EXPECT_STREQ(e.what(), "Error writing message Connection reset by peer.");
  }
  EXPECT_EQ(sink.locks, 0);  // released on failure
}

TEST(FrameWriter, CompressesWholeMessagesOnlyAndMarksTheirFirstFrame) {
  TzorWSExtensions clientSet, serverSet;
  clientSet.SetMode(appClient);
  serverSet.SetMode(appServer);
  for (auto* set : {&clientSet, &serverSet}) {
    set->PerMessage_Deflate().SetEnabled(true);
    set->DecodeExtensions("permessage-deflate");
  }
  RecordingSink sink;
  TzorWSFrameWriter writer(sink, &clientSet);
  writer.SetMasked(true);
  const std::string text(200, 'a');
  writer.DoWriteText(text, 0, stmNone);    // compressed, RSV1
  writer.DoWriteText(text, 50, stmNone);   // split by size: plain frames
  writer.DoWriteText("", 0, stmNone);      // empty: plain
  writer.WriteTextFrame("ping", opPing, false);
  std::string binary;
  for (int i = 0; i < 100; ++i) binary += std::to_string(i * i);
  std::string precompressed = binary;
  clientSet.WriteStream(precompressed);
  ASSERT_GT(precompressed.size(), 8u);
  writer.DoWriteStream(precompressed, 4, stmNone, true);  // RSV1 on the first frame only
  std::string firsts;
  for (const auto& f : sink.frames) firsts.push_back(static_cast<char>(f[0] & 0xF0));
  ASSERT_EQ(sink.frames.size(), 7u + (precompressed.size() + 3) / 4);
  EXPECT_EQ(firsts.substr(0, 9), Bytes({0xC0, 0x00, 0x00, 0x00, 0x80, 0x80, 0x80, 0x40, 0x00}));
  EXPECT_LT(sink.frames[0].size(), 30u);

  // Every final data frame, inflated as the connection does when its message is complete.
  struct InflatingEvents : test::RecordingEvents {
    TzorWSExtensions* set;
    std::vector<std::string> messages;
    void DoMessageComplete(TzorWSMsg& msg) override {
      if (msg.Fragmented || IsControlOpCode(msg.OpCode)) return;
      set->ReadStream(msg.Stream);
      messages.push_back(msg.Stream);
    }
  } events;
  events.set = &serverSet;
  TzorWSFrameReader reader(events, &serverSet);
  reader.SetRequireMask(true);
  for (const auto& f : sink.frames) test::Feed(reader, f);
  ASSERT_TRUE(events.disconnects.empty());
  const auto& messages = events.messages;
  EXPECT_EQ(messages, (std::vector<std::string>{text, text, "", binary}));
}

TEST(Masking, MaskCopyMatchesTheByteWiseDefinitionAtEveryOffset) {
  const uint8_t key[4] = {0x37, 0xFA, 0x21, 0x3D};
  std::string src(300, '\0');
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<char>(i * 7);
  for (size_t keyIndex = 0; keyIndex < 4; ++keyIndex) {
    for (size_t size : {0u, 1u, 15u, 16u, 17u, 63u, 64u, 65u, 300u}) {
      std::string out(size, '\0');
      MaskCopy(reinterpret_cast<uint8_t*>(out.data()), reinterpret_cast<const uint8_t*>(src.data()), size, key,
               keyIndex);
      for (size_t i = 0; i < size; ++i)
        ASSERT_EQ(static_cast<uint8_t>(out[i]), static_cast<uint8_t>(src[i]) ^ key[(keyIndex + i) % 4])
            << "size " << size << " index " << i;
    }
  }
}

}  // namespace
}  // namespace zor
