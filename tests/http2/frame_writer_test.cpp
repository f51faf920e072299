#include "http2/frame_reader.h"
#include "tests/http2/frame_test_support.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

using testing::Frame;

// Every byte array a frame object hands out, in order.
struct Capture {
  std::vector<TBytes> writes;
  void Attach(TzorHTTP2_Frame_Base& frame) {
    frame.OnWriteBytes = [this](TzorHTTP2_Frame_Base&, std::span<const uint8_t> bytes) {
      writes.emplace_back(bytes.begin(), bytes.end());
    };
  }
};

struct FrameHeader {
  uint32_t length;
  uint8_t type, flags;
  uint32_t stream;
};

std::vector<FrameHeader> Headers(const TBytes& bytes) {
  std::vector<FrameHeader> headers;
  for (size_t at = 0; at + 9 <= bytes.size();) {
    const uint32_t length = ReadWireInteger(&bytes[at], 3);
    headers.push_back({length, bytes[at + 3], bytes[at + 4], ReadWireInteger(&bytes[at + 5], 4)});
    at += 9 + length;
  }
  return headers;
}

TEST(FrameWriter, SettingsCarryOnlyWhatDiffersFromTheDefaults) {
  TzorHTTP2_Frame_Settings settings(h2frServerWrite);
  Capture out;
  out.Attach(settings);
  settings.WriteBytes();
  TzorHTTP2SettingsValues values;
  values.EnablePush = false;
  values.InitialWindowSize = 1048576;
  settings.SetValues(values);
  settings.WriteBytes();
  settings.SetACK(true);
  settings.WriteBytes();
  ASSERT_EQ(out.writes.size(), 3u);
  EXPECT_EQ(out.writes[0], Frame(h2ftSETTINGS, 0, 0, {}));
  EXPECT_EQ(out.writes[1], Frame(h2ftSETTINGS, 0, 0, {0, 2, 0, 0, 0, 0, 0, 4, 0, 0x10, 0, 0}));
  EXPECT_EQ(out.writes[2], Frame(h2ftSETTINGS, h2flags::ACK, 0, {}));
  // Large values go out unsigned.
  settings.SetACK(false);
  values = {};
  values.MaxHeaderListSize = 0xFFFFFFFF;
  values.EnableConnectProtocol = true;
  settings.SetValues(values);
  settings.WriteBytes();
  EXPECT_EQ(out.writes[3], Frame(h2ftSETTINGS, 0, 0, {0, 6, 0xFF, 0xFF, 0xFF, 0xFF, 0, 8, 0, 0, 0, 1}));
}

TEST(FrameWriter, DataIsCutAtTheFrameSizeAndTheLimit) {
  TzorHTTP2_Frame_Data data(h2frServerWrite);
  Capture out;
  out.Attach(data);
  TBytes content(40000);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7);
  data.SetData(content);
  data.SetStreamIdentifier(3);
  data.SetEndStream(true);
  EXPECT_EQ(data.WriteData(65535), 0);
  ASSERT_EQ(out.writes.size(), 1u);
  const auto frames = Headers(out.writes[0]);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].length, 16384u);
  EXPECT_EQ(frames[1].length, 16384u);
  EXPECT_EQ(frames[2].length, 7232u);
  EXPECT_EQ(frames[0].flags | frames[1].flags, 0);
  EXPECT_EQ(frames[2].flags, h2flags::END_STREAM);
  EXPECT_EQ(frames[2].stream, 3u);

  TzorHTTP2_Frame_Data limited(h2frServerWrite);
  out.Attach(limited);
  out.writes.clear();
  limited.SetData(content);
  limited.SetStreamIdentifier(3);
  limited.SetEndStream(true);
  EXPECT_EQ(limited.WriteData(20000), 20000);
  EXPECT_EQ(limited.Offset(), 20000);
  EXPECT_EQ(limited.WriteData(0), 0);
  ASSERT_EQ(out.writes.size(), 2u);
  const auto first = Headers(out.writes[0]), second = Headers(out.writes[1]);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[1].length, 3616u);
  EXPECT_EQ(first[1].flags, 0);
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].length, 16384u);
  EXPECT_EQ(second[1].length, 3616u);
  EXPECT_EQ(second[1].flags, h2flags::END_STREAM);
  // The octets sent are the content, in order.
  TBytes sent;
  for (const TBytes& write : out.writes)
    for (size_t at = 0; at < write.size();) {
      const uint32_t length = ReadWireInteger(&write[at], 3);
      sent.insert(sent.end(), write.begin() + at + 9, write.begin() + at + 9 + length);
      at += 9 + length;
    }
  EXPECT_EQ(sent, content);
}

TEST(FrameWriter, LargeHeaderBlocksContinueInContinuationFrames) {
  TzorHTTP2_HPACK writerCoder;
  TzorHTTP2_StreamIdentifierCounter counter(h2frServerWrite);
  TzorHTTP2_Frame_Headers headers(&writerCoder, h2frServerWrite, &counter);
  Capture out;
  out.Attach(headers);
  headers.Headers().AddLine(":status: 200");
  for (int i = 0; i < 12; ++i) headers.Headers().AddLine("x-big-" + std::to_string(i) + ": " + std::string(4000, 'a' + i));
  headers.SetEndStream(true);
  headers.WriteBytes();  // stream 0: the counter's first identifier
  ASSERT_EQ(out.writes.size(), 1u);
  const auto frames = Headers(out.writes[0]);
  ASSERT_EQ(frames.size(), 3u);  // about 36,000 octets of block
  EXPECT_EQ(frames[0].type, h2ftHEADERS);
  EXPECT_EQ(frames[0].flags, h2flags::END_STREAM);
  EXPECT_EQ(frames[0].length, 16384u);
  EXPECT_EQ(frames[1].type, h2ftCONTINUATION);
  EXPECT_EQ(frames[1].flags, 0);
  EXPECT_EQ(frames[2].type, h2ftCONTINUATION);
  EXPECT_EQ(frames[2].flags, h2flags::END_HEADERS);
  for (const auto& frame : frames) EXPECT_EQ(frame.stream, 1u);
  EXPECT_EQ(headers.StreamIdentifier(), 1);

  // A client reader joins the frames and decodes the whole list.
  TzorHTTP2_Frame reader(h2frClientRead);
  int events = 0;
  reader.OnReadFrameHeaders = [&](TzorHTTP2_Frame&, TzorHTTP2_Frame_Headers& frame) {
    ++events;
    EXPECT_EQ(frame.Headers(), headers.Headers());
    EXPECT_TRUE(frame.EndStream());
    EXPECT_EQ(frame.Status(), 200);
  };
  reader.ReadBytes(out.writes[0]);
  EXPECT_EQ(events, 1);
}

TEST(FrameWriter, ControlFrames) {
  Capture out;
  TzorHTTP2_Frame_GoAway goAway(h2frServerWrite);
  out.Attach(goAway);
  goAway.SetLastStreamid(7);
  goAway.SetErrorCode(h2erENHANCE_YOUR_CALM);
  goAway.SetAdditionalDebugData("caf\xC3\xA9");
  goAway.WriteBytes();
  EXPECT_EQ(out.writes.back(), Frame(h2ftGOAWAY, 0, 0, {0, 0, 0, 7, 0, 0, 0, 11, 'c', 'a', 'f', 0xC3, 0xA9}));

  TzorHTTP2_Frame_RSTStream reset(h2frServerWrite);
  out.Attach(reset);
  reset.SetStreamIdentifier(5);
  reset.SetErrorCode(h2erCANCEL);
  reset.WriteBytes();
  EXPECT_EQ(out.writes.back(), Frame(h2ftRST_STREAM, 0, 5, {0, 0, 0, 8}));

  TzorHTTP2_Frame_Ping ping(h2frServerWrite);
  out.Attach(ping);
  ping.SetPayLoad({1, 2, 3, 4, 5, 6, 7, 8});
  ping.SetACK(true);
  ping.WriteBytes();
  EXPECT_EQ(out.writes.back(), Frame(h2ftPING, h2flags::ACK, 0, {1, 2, 3, 4, 5, 6, 7, 8}));

  TzorHTTP2_Frame_WindowUpdate update(h2frServerWrite);
  out.Attach(update);
  update.SetStreamIdentifier(3);
  update.SetWindowSizeIncrement(65535);
  update.WriteBytes();
  EXPECT_EQ(out.writes.back(), Frame(h2ftWINDOW_UPDATE, 0, 3, {0, 0, 0xFF, 0xFF}));

  // PUSH_PROMISE asks for its promised stream and names it before the block.
  TzorHTTP2_HPACK coder;
  TzorHTTP2_Frame_PushPromise promise(&coder, h2frServerWrite, nullptr);
  out.Attach(promise);
  promise.OnRequestPromisedStreamId = [](TzorHTTP2_Frame_PushPromise&, int32_t& id) { id = 2; };
  promise.SetStreamIdentifier(1);
  promise.Headers().AddLine(":method: GET");
  promise.WriteBytes();
  EXPECT_EQ(out.writes.back(), Frame(h2ftPUSH_PROMISE, h2flags::END_HEADERS, 1, {0, 0, 0, 2, 0x82}));
  EXPECT_EQ(promise.PromisedStreamid(), 2);
}

TEST(FrameWriter, ReaderRoutesItsObjectsToOneEvent) {
  TzorHTTP2_Frame writer(h2frServerWrite);
  std::vector<TBytes> writes;
  writer.OnWriteBytes = [&](TzorHTTP2_Frame&, std::span<const uint8_t> bytes) { writes.emplace_back(bytes.begin(), bytes.end()); };
  writer.Frame_Ping().SetPayLoad({9, 9, 9, 9, 9, 9, 9, 9});
  writer.SetFrameType(h2ftPING);
  writer.WriteBytes();
  writer.Frame_Headers().Headers().AddLine(":status: 204");
  writer.SetFrameType(h2ftHEADERS);
  writer.WriteBytes();
  writer.Frame_Data().SetStreamIdentifier(1);
  TzorStringStream body("hello");
  writer.Frame_Data().SetStream(body);
  writer.Frame_Data().WriteBytes();  // no queue attached: sent at once
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0], Frame(h2ftPING, 0, 0, {9, 9, 9, 9, 9, 9, 9, 9}));
  EXPECT_EQ(writes[1], Frame(h2ftHEADERS, h2flags::END_HEADERS, 1, {0x89}));
  EXPECT_EQ(writes[2], Frame(h2ftDATA, h2flags::END_STREAM, 1, {'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(writer.Frame_Data().DataString(), "hello");
}

TEST(StreamIdentifierCounter, ParityByRole) {
  TzorHTTP2_StreamIdentifierCounter reading(h2frServerRead), writing(h2frServerWrite);
  EXPECT_EQ(reading.GetNewIdentifier(), 2);
  EXPECT_EQ(reading.GetNewIdentifier(), 4);
  EXPECT_EQ(reading.GetNewIdentifier(), 6);
  EXPECT_EQ(writing.GetNewIdentifier(), 1);
  EXPECT_EQ(writing.GetNewIdentifier(), 3);
  EXPECT_EQ(writing.GetNewIdentifier(), 5);
  EXPECT_EQ(writing.LastStreamIdentifier(), 5);
}

TEST(FrameAssign, CopiesWhatEachClassSays) {
  TzorHTTP2_Frame_Settings received(h2frServerRead), mine(h2frServerWrite);
  TzorHTTP2SettingsValues values;
  values.HeaderTableSize = 100;
  values.MaxFrameSize = 20000;
  values.EnablePush = false;
  received.SetValues(values);
  mine.Assign(received);
  EXPECT_EQ(mine.HeaderTableSize(), 100u);
  EXPECT_EQ(mine.MaxFrameSize(), 20000u);
  EXPECT_FALSE(mine.EnablePush());
  EXPECT_EQ(mine.FrameRole(), h2frServerWrite);

  TzorHTTP2_Frame_Data data(h2frServerWrite);
  data.SetData({1, 2, 3});
  data.SetStreamIdentifier(9);
  data.SetEndStream(true);
  TzorHTTP2_Frame_Data copy(h2frServerWrite);
  copy.Assign(data);
  EXPECT_EQ(copy.Data(), data.Data());
  EXPECT_EQ(copy.StreamIdentifier(), 9);
  EXPECT_TRUE(copy.EndStream());
  // Another frame class gives only the base fields; a non-frame fails.
  TzorHTTP2_Frame_Ping ping(h2frClientRead);
  ping.Assign(data);
  EXPECT_EQ(ping.StreamIdentifier(), 9);
  TPersistent unrelated;
  try {
    ping.Assign(unrelated);
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TPersistent to a TzorHTTP2_Frame_Ping");
  }
}

}  // namespace
}  // namespace zor
