// The connection over an in-memory transport pair: messages, fragment modes,
// pings and pongs, queue levels, the close paths, plain TCP, UTF-8 and the
// bounds.
#include "net/traffic_log.h"
#include "tests/websocket/ws_pair.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace zor::test {
namespace {

// One frame as a peer would send it (masked with a fixed key when asked).
std::string Frame(uint8_t first, const std::string& payload, bool masked = false) {
  static const uint8_t kKey[4] = {0x11, 0x22, 0x33, 0x44};
  uint8_t header[14];
  const size_t n = EncodeFrameHeader(header, first, payload.size(), masked ? kKey : nullptr);
  std::string frame(reinterpret_cast<const char*>(header), n);
  for (size_t i = 0; i < payload.size(); ++i) frame.push_back(static_cast<char>(payload[i] ^ (masked ? kKey[i % 4] : 0)));
  return frame;
}

std::string CloseCodeOf(const WireFrame& f) {
  if (f.payload.size() < 2) return "none";
  return std::to_string(static_cast<uint8_t>(f.payload[0]) << 8 | static_cast<uint8_t>(f.payload[1]));
}

TEST(WSConnectionMessages, TextBinaryEmptyAndLargeBothWays) {
  WSPair p;
  const std::string large(1 << 20, 'x');
  p.client->WriteData("hello");
  p.client->WriteData(std::string());
  p.client->WriteData(TzorStringStream(std::string("\x00\x01\xFF", 3)));
  p.server->WriteData(large);
  p.server->WriteData(TzorStringStream(large));
  p.Pump();
  EXPECT_EQ(p.serverGot.texts, (std::vector<std::string>{"hello", ""}));
  EXPECT_EQ(p.serverGot.binaries, (std::vector<std::string>{std::string("\x00\x01\xFF", 3)}));
  ASSERT_EQ(p.clientGot.texts.size(), 1u);
  EXPECT_EQ(p.clientGot.texts[0], large);
  ASSERT_EQ(p.clientGot.binaries.size(), 1u);
  EXPECT_EQ(p.clientGot.binaries[0], large);
  EXPECT_TRUE(p.serverGot.errors.empty() && p.clientGot.errors.empty());
  EXPECT_EQ(p.server->MsgReceived(), "");
  EXPECT_EQ(p.client->RecBytes(), p.server->SendBytes());
}

TEST(WSConnectionMessages, ServerRefusesUnmaskedFramesAndClosesWith1002) {
  WSPair p;
  p.serverTransport->Inject(Frame(0x81, "hi", false));
  p.Pump();
  EXPECT_EQ(p.serverGot.errors, (std::vector<std::string>{"Message is not masked"}));
  EXPECT_TRUE(p.serverGot.texts.empty());
  EXPECT_EQ(p.client->CloseCode(), 1002);  // the client read the server's close frame
  EXPECT_TRUE(p.serverTransport->Closed());
}

TEST(WSConnectionMessages, SplitMessagesAndStreamedPiecesArriveWhole) {
  WSPair p;
  p.client->WriteData("a\xC3\xA9" "bcd", 3);  // 5 characters, 6 bytes: two frames of 3
  p.client->WriteData("one ", 0, stmFirst);
  p.client->WriteData("two ", 0, stmContinue);
  p.client->WriteData("three", 0, stmLast);
  p.Pump();
  EXPECT_EQ(p.serverGot.texts, (std::vector<std::string>{"a\xC3\xA9" "bcd", "one two three"}));
}

// --- fragment modes -------------------------------------------------------------

std::string ThreeFragmentsWithPing() {
  return Frame(0x01, "ab", true) + Frame(0x89, "png", true) + Frame(0x00, "cd", true) + Frame(0x80, "ef", true);
}

TEST(WSConnectionFragments, OnlyBufferAnswersAPingBetweenFragmentsAndDeliversTheWholeText) {
  WSPair p;
  p.serverTransport->Inject(ThreeFragmentsWithPing());
  p.server->ReadFrames(true);
  EXPECT_EQ(p.serverGot.texts, (std::vector<std::string>{"abcdef"}));
  EXPECT_TRUE(p.serverGot.fragments.empty());
  const auto frames = SplitFrames(TakeInput(*p.clientTransport));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].first, 0x8A);
  EXPECT_EQ(frames[0].payload, "png");
}

TEST(WSConnectionFragments, OnlyFragmentedRaisesOneEventPerFrameAndNoMessage) {
  WSPair p;
  p.server->SetFragmentedMessages(frgOnlyFragmented);
  p.serverTransport->Inject(ThreeFragmentsWithPing());
  p.server->ReadFrames(true);
  using F = Received::Fragment;
  EXPECT_EQ(p.serverGot.fragments, (std::vector<F>{{"ab", opText, true}, {"cd", opText, true}, {"ef", opText, false}}));
  EXPECT_TRUE(p.serverGot.texts.empty());
}

TEST(WSConnectionFragments, AllRaisesGrowingFragmentsThenTheMessage) {
  WSPair p;
  p.server->SetFragmentedMessages(frgAll);
  p.serverTransport->Inject(Frame(0x02, "ab", true) + Frame(0x00, "cd", true) + Frame(0x80, "ef", true));
  p.server->ReadFrames(true);
  using F = Received::Fragment;
  EXPECT_EQ(p.serverGot.fragments,
            (std::vector<F>{{"ab", opBinary, true}, {"abcd", opBinary, true}, {"abcdef", opBinary, false}}));
  EXPECT_EQ(p.serverGot.binaries, (std::vector<std::string>{"abcdef"}));
}

// --- pings and pongs --------------------------------------------------------------

TEST(WSConnectionPings, APongWithTheTextOfAPingSentAnswersIt) {
  WSPair p;
  p.client->Ping("x");
  EXPECT_EQ(p.client->PingsOutstanding(), 1u);
  EXPECT_NE(p.client->FirstPing(), TzorDateTime{});
  p.Pump();
  EXPECT_EQ(p.client->PingsOutstanding(), 0u);
  EXPECT_NE(p.client->LastPong(), TzorDateTime{});
  EXPECT_FALSE(p.client->Disconnected());
}

TEST(WSConnectionPings, APongWithOtherTextClosesAndOneWithoutPingIsIgnored) {
  WSPair p;
  p.clientTransport->Inject(Frame(0x8A, "stray"));
  p.client->ReadFrames(false);
  EXPECT_NE(p.client->LastPong(), TzorDateTime{});
  EXPECT_FALSE(p.client->Disconnected());

  p.client->Ping("x");
  TakeInput(*p.serverTransport);
  p.clientTransport->Inject(Frame(0x8A, "y"));
  EXPECT_THROW(
      {
        try {
          p.client->ReadFrames(false);
        } catch (const TzorWSException& e) {
          EXPECT_STREQ(e.what(), "Received Pong is different from Sent Ping");
          throw;
        }
      },
      TzorWSException);
  const auto frames = SplitFrames(TakeInput(*p.serverTransport));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(CloseCodeOf(frames[0]), "1000");
}

TEST(WSConnectionPings, PingWithoutTimeOutReturnsFalseAtOnce) {
  WSPair p;
  EXPECT_FALSE(p.client->Ping("x", 0));
  EXPECT_EQ(p.client->WriteAndWaitData("ask", 0), "");
  p.Pump();
  EXPECT_EQ(p.serverGot.texts, (std::vector<std::string>{"ask"}));
}

// --- queue levels -------------------------------------------------------------------

TEST(WSConnectionQueues, LevelsWaitForTheOwnerAndGoOutLevelZeroFirst) {
  WSPair p;
  p.client->QueueOptions().Text().SetLevel(qmLevel1);
  p.client->QueueOptions().Binary().SetLevel(qmLevel2);
  p.client->QueueOptions().Ping().SetLevel(qmLevel0);
  p.client->WriteData(TzorStringStream(std::string("bin")));
  p.client->WriteData("text");
  p.client->Ping("ping");
  EXPECT_EQ(p.serverTransport->InputBufferSize(), 0u);
  p.client->ProcessQueues();
  const auto frames = SplitFrames(TakeInput(*p.serverTransport));
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].first, 0x89);
  EXPECT_EQ(frames[1].first, 0x81);
  EXPECT_EQ(frames[2].first, 0x82);
}

TEST(WSConnectionQueues, AFullQueueIsAnErrorToTheWriterAndDisconnectDropsIt) {
  WSPair p;
  p.client->QueueOptions().Text().SetLevel(qmLevel0);
  p.client->SetMaxQueuedBytes(10);
  p.client->WriteData(std::string(20, 'a'));  // an empty queue takes any message
  EXPECT_THROW(p.client->WriteData("b"), TzorWSException);
  p.client->Disconnect();
  p.client->ProcessQueues();
  const auto frames = SplitFrames(TakeInput(*p.serverTransport));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].first, 0x88);
}

TEST(WSConnectionQueues, WritersBehindASlowWriteFillTheOutputBound) {
  WSPair p;
  p.client->SetMaxQueuedBytes(1000);
  // While the first write is on the transport, other writers only add to the
  // output buffer, up to its bound.
  int refused = 0;
  p.clientTransport->DuringWrite = [&] {
    p.clientTransport->DuringWrite = nullptr;
    for (int i = 0; i < 5; ++i) {
      try {
        p.client->WriteData(std::string(300, 'b'));
      } catch (const TzorWSException& e) {
        EXPECT_EQ(std::string(e.what()).find("Error writing message Outgoing queue full"), 0u) << e.what();
        ++refused;
      }
    }
  };
  p.client->WriteData("first");
  EXPECT_EQ(refused, 2);  // three of 302 bytes fit in 1000
  p.Pump();
  ASSERT_EQ(p.serverGot.texts.size(), 4u);
  EXPECT_EQ(p.serverGot.texts[0], "first");
}

TEST(WSConnectionQueues, AnswersToABurstLeaveInSlicesWhileThePassGoesOn) {
  WSPair p;
  p.server->OnMessage = [](TzorWSConnection* self, const std::string& text) { self->WriteData(text); };
  int writes = 0;
  p.serverTransport->DuringWrite = [&] { ++writes; };
  for (int i = 0; i < 16; ++i) p.client->WriteData(std::string(512, static_cast<char>('a' + i)));
  p.Pump();
  ASSERT_EQ(p.clientGot.texts.size(), 16u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(p.clientGot.texts[i], std::string(512, static_cast<char>('a' + i)));
  // Neither one write per answer nor one for the whole pass.
  EXPECT_GT(writes, 1);
  EXPECT_LT(writes, 16);
}

// --- closing ----------------------------------------------------------------------------

TEST(WSConnectionClose, CloseSendsACloseFrameAndKeepsTheSocket) {
  WSPair p;
  p.client->Close();
  EXPECT_TRUE(p.client->Disconnected());
  EXPECT_EQ(p.clientTransport->Disconnects(), 0);
  p.client->WriteData("late");  // not refused, but nothing is read any more
  const auto frames = SplitFrames(TakeInput(*p.serverTransport));
  ASSERT_GE(frames.size(), 1u);
  EXPECT_EQ(frames[0].first, 0x88);
  EXPECT_EQ(CloseCodeOf(frames[0]), "1000");
}

TEST(WSConnectionClose, ThePeerAnswersACloseAndDropsItsSocketAndTheAnswerIsRead) {
  WSPair p;
  int waits = 0;
  p.client->OnAwaitCloseAnswer = [&](TzorWSConnection*) { ++waits; };
  p.client->Close(4001);
  EXPECT_TRUE(p.client->AwaitingCloseAnswer());
  p.Pump();
  EXPECT_EQ(p.server->CloseCode(), 4001);
  EXPECT_TRUE(p.server->Disconnected());
  EXPECT_EQ(p.serverTransport->Disconnects(), 1);
  EXPECT_TRUE(p.serverGot.errors.empty());
  // The closing side read the answer, then closed its end.
  EXPECT_EQ(p.client->CloseCode(), 1000);
  EXPECT_FALSE(p.client->AwaitingCloseAnswer());
  EXPECT_EQ(p.clientTransport->Disconnects(), 1);
  EXPECT_TRUE(p.clientGot.errors.empty());
  EXPECT_EQ(waits, 1);
}

TEST(WSConnectionClose, WhileAwaitingTheAnswerOnlyTheCloseCounts) {
  WSPair p;
  p.server->Close(4003);
  ASSERT_EQ(SplitFrames(TakeInput(*p.clientTransport)).size(), 1u);  // our close, taken off the wire
  // The peer had sent these before it saw our close: no events, no pong.
  p.serverTransport->Inject(Frame(0x81, "late", true) + Frame(0x89, "png", true) + Frame(0x02, "frag", true) +
                            Frame(0x88, std::string("\x03\xE8", 2), true));
  p.Pump();
  EXPECT_TRUE(p.serverGot.texts.empty() && p.serverGot.fragments.empty());
  EXPECT_EQ(p.serverGot.errors, std::vector<std::string>{});
  EXPECT_EQ(p.clientTransport->InputBufferSize(), 0u);  // nothing written: no pong, no second close
  EXPECT_EQ(p.server->CloseCode(), 1000);
  EXPECT_EQ(p.serverTransport->Disconnects(), 1);
}

TEST(WSConnectionClose, CrossingClosesAreEachReadAndNoneIsAnsweredTwice) {
  WSPair p;
  p.client->Close(4001);
  p.server->Close(4002);
  p.Pump();
  EXPECT_EQ(p.client->CloseCode(), 4002);
  EXPECT_EQ(p.server->CloseCode(), 4001);
  EXPECT_EQ(p.clientTransport->Disconnects(), 1);
  EXPECT_EQ(p.serverTransport->Disconnects(), 1);
  // One close frame each: 2 header bytes, a key from the client, 2 code bytes.
  EXPECT_EQ(p.client->SendBytes(), 8u);
  EXPECT_EQ(p.server->SendBytes(), 4u);
}

TEST(WSConnectionClose, AnUnansweredCloseEndsOnlyWhenItsTimeIsUp) {
  WSPair p;
  p.client->SetCloseTimeOut(60000);
  p.client->Close();
  p.client->CheckCloseAnswer();
  EXPECT_EQ(p.clientTransport->Disconnects(), 0);
  EXPECT_GT(p.client->CloseAnswerTimeLeft(), 0);

  WSPair q;
  int ended = 0;
  q.client->OnTransportDisconnected = [&](TzorWSConnection*) { ++ended; };
  q.client->SetCloseTimeOut(0);
  q.client->Close();
  q.client->CheckCloseAnswer();
  EXPECT_EQ(q.clientTransport->Disconnects(), 1);
  EXPECT_FALSE(q.client->AwaitingCloseAnswer());
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(q.client->CloseAnswerTimeLeft(), 0);
}

TEST(WSConnectionClose, DisconnectSendsACloseFrameAndDropsTheSocketOnce) {
  WSPair p;
  int heard = 0;
  p.client->OnTransportDisconnected = [&](TzorWSConnection*) { ++heard; };
  p.client->Disconnect(1001);
  p.client->Disconnect(1001);
  p.client->DropConnection();
  EXPECT_EQ(p.clientTransport->Disconnects(), 1);
  EXPECT_EQ(heard, 1);
  const auto frames = SplitFrames(TakeInput(*p.serverTransport));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(CloseCodeOf(frames[0]), "1001");
}

TEST(WSConnectionClose, DropConnectionSendsNothingAndWithoutCleanDisconnectNeitherDoesDisconnect) {
  WSPair p;
  p.client->DropConnection();
  EXPECT_EQ(p.clientTransport->Disconnects(), 1);
  EXPECT_EQ(p.serverTransport->InputBufferSize(), 0u);

  WSPair q;
  q.client->SetCleanDisconnect(false);
  q.client->Disconnect();
  EXPECT_EQ(q.clientTransport->Disconnects(), 1);
  EXPECT_EQ(q.serverTransport->InputBufferSize(), 0u);
}

TEST(WSConnectionClose, DropConnectionAfterCloseStillClosesTheSocket) {
  WSPair p;
  p.client->Close();
  p.client->DropConnection();
  EXPECT_EQ(p.clientTransport->Disconnects(), 1);
}

TEST(WSConnectionClose, WithoutRaiseDisconnectExceptionsAFailureClosesQuietly) {
  WSPair p;
  p.server->SetRaiseDisconnectExceptions(false);
  p.serverTransport->Inject(Frame(0x83, "", true) + Frame(0x81, "after", true));
  p.Pump();
  EXPECT_TRUE(p.serverGot.errors.empty());
  EXPECT_TRUE(p.server->Disconnected());
  EXPECT_TRUE(p.serverGot.texts.empty());  // nothing is read after the failure
}

// --- plain TCP ---------------------------------------------------------------------------

TEST(WSConnectionTCP, ScanAllBytesDeliversEveryDelimitedMessageAndKeepsTheRest) {
  WSPair p;
  p.server->SetTransport(trpTCP);
  p.server->SetTCPEndOfFrameScanBuffer(eofScanAllBytes);
  p.server->AddTCPEndOfFrame('\r');
  p.server->AddTCPEndOfFrame('\n');
  p.serverTransport->Inject("one\r\ntwo\r\nha");
  p.server->ReadFrames(false);
  EXPECT_EQ(p.serverGot.binaries, (std::vector<std::string>{"one\r\n", "two\r\n"}));
  p.serverTransport->Inject("lf\r");
  p.server->ReadFrames(false);
  p.serverTransport->Inject("\n");
  p.server->ReadFrames(false);
  EXPECT_EQ(p.serverGot.binaries.back(), "half\r\n");
}

TEST(WSConnectionTCP, LatestBytesWaitsForAReadEndingInTheDelimiterAndNoneDeliversEachRead) {
  WSPair p;
  p.server->SetTransport(trpTCP);
  p.server->SetTCPEndOfFrameScanBuffer(eofScanLatestBytes);
  p.server->AddTCPEndOfFrame('\n');
  p.serverTransport->Inject("a\nb");
  p.server->ReadFrames(false);
  EXPECT_TRUE(p.serverGot.binaries.empty());
  p.serverTransport->Inject("c\n");
  p.server->ReadFrames(false);
  EXPECT_EQ(p.serverGot.binaries, (std::vector<std::string>{"a\nbc\n"}));

  p.client->SetTransport(trpTCP);
  p.clientTransport->Inject("raw");
  p.client->ReadFrames(false);
  EXPECT_EQ(p.clientGot.binaries, (std::vector<std::string>{"raw"}));
  p.client->WriteData("out");
  p.client->Ping("p");
  EXPECT_EQ(TakeInput(*p.serverTransport), "outp");
}

// --- UTF-8 ----------------------------------------------------------------------------------

TEST(WSConnectionUTF8, InvalidTextFailsWith1007EvenWithoutValidation) {
  WSPair p;
  ASSERT_FALSE(p.server->ValidateUTF8());
  p.serverTransport->Inject(Frame(0x81, "ok\xC0\x80", true));
  p.Pump();
  EXPECT_EQ(p.serverGot.errors, (std::vector<std::string>{"Invalid UTF8 message"}));
  EXPECT_TRUE(p.serverGot.texts.empty());
}

TEST(WSConnectionUTF8, ALoneFinalF4AndATextCutInsideASequenceFail) {
  for (const char* text : {"ok\xF4", "ok\xE2\x82"}) {
    WSPair p;
    p.serverTransport->Inject(Frame(0x81, text, true));
    p.Pump();
    EXPECT_EQ(p.serverGot.errors, (std::vector<std::string>{"Invalid UTF8 message"})) << text;
  }
}

TEST(WSConnectionUTF8, ValidationFailsEarlyOnTheFirstBadFragment) {
  WSPair p;
  p.server->SetValidateUTF8(true);
  p.serverTransport->Inject(Frame(0x01, "ok\xFF", true));
  p.Pump();
  EXPECT_EQ(p.serverGot.errors, (std::vector<std::string>{"Invalid UTF8 message"}));

  // A character split between fragments is fine.
  WSPair q;
  q.server->SetValidateUTF8(true);
  q.serverTransport->Inject(Frame(0x01, "\xE2\x82", true) + Frame(0x80, "\xAC", true));
  q.Pump();
  EXPECT_EQ(q.serverGot.texts, (std::vector<std::string>{"\xE2\x82\xAC"}));
}

TEST(WSConnectionUTF8, OnlyFragmentedChecksEachFragmentAndTheEnd) {
  WSPair p;
  p.server->SetFragmentedMessages(frgOnlyFragmented);
  p.serverTransport->Inject(Frame(0x01, "\xE2\x82", true) + Frame(0x80, "x", true));
  p.Pump();
  EXPECT_EQ(p.serverGot.errors, (std::vector<std::string>{"Invalid UTF8 message"}));
  EXPECT_EQ(p.serverGot.fragments.size(), 1u);
}

TEST(WSConnectionUTF8, AnInvalidCloseReasonFailsWith1007) {
  WSPair p;
  p.serverTransport->Inject(Frame(0x88, std::string("\x03\xE8\xC0\x80", 4), true));
  p.Pump();
  EXPECT_EQ(p.serverGot.errors, (std::vector<std::string>{"Invalid UTF8 message"}));
  EXPECT_EQ(p.client->CloseCode(), 1007);
}

// --- bounds and compression -------------------------------------------------------------------

TEST(WSConnectionBounds, AFragmentedMessageBeyondMaxMessageSizeClosesWith1009) {
  WSPair p;
  p.server->SetMaxMessageSize(5);
  p.serverTransport->Inject(Frame(0x02, "abc", true) + Frame(0x80, "def", true));
  p.Pump();
  ASSERT_EQ(p.serverGot.errors.size(), 1u);
  EXPECT_NE(p.serverGot.errors[0].find("Message too big"), std::string::npos);
  EXPECT_EQ(p.client->CloseCode(), 1009);
}

TEST(WSConnectionCompression, MessagesBothWaysWholeSplitAndStreamed) {
  WSPair p;
  p.EnableCompression();
  const std::string repeated(5000, 'z');
  const TzorStringStream original(repeated);
  p.client->WriteData("compressed text");
  p.client->WriteData(original, 100);  // compressed as a whole, then split
  p.client->WriteData("piece one ", 0, stmFirst);
  p.client->WriteData("piece two", 0, stmLast);
  p.server->WriteData(repeated);
  p.server->WriteData(original, 7);
  EXPECT_EQ(original.DataString(), repeated);  // the caller's data is not compressed in place
  const std::string wire = TakeInput(*p.serverTransport);
  EXPECT_LT(wire.size(), 200u);
  ASSERT_FALSE(SplitFrames(wire).empty());
  EXPECT_EQ(SplitFrames(wire)[0].first, 0xC1);  // RSV1
  p.serverTransport->Inject(wire);
  p.Pump();
  EXPECT_EQ(p.serverGot.texts, (std::vector<std::string>{"compressed text", "piece one piece two"}));
  EXPECT_EQ(p.serverGot.binaries, (std::vector<std::string>{repeated}));
  EXPECT_EQ(p.clientGot.texts, (std::vector<std::string>{repeated}));
  EXPECT_EQ(p.clientGot.binaries, (std::vector<std::string>{repeated}));
}

// Text that compresses to about half its size, so that every frame of it
// carries some plaintext.
std::string Words(int count, uint32_t seed) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    text += "w" + std::to_string(seed >> 16 & 4095) + " ";
  }
  return text;
}

TEST(WSConnectionCompression, FragmentEventsCarryTheInflatedBytesOfTheirFrame) {
  using F = Received::Fragment;
  struct Case {
    TwsFragmentedMessages mode;
    const char* answer;
  } cases[] = {
      {frgOnlyFragmented, "permessage-deflate"},
      {frgAll, "permessage-deflate"},
      {frgOnlyFragmented, "permessage-deflate; client_no_context_takeover"},
      {frgAll, "permessage-deflate; client_no_context_takeover"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.answer) + (c.mode == frgAll ? " frgAll" : " frgOnlyFragmented"));
    WSPair p;
    p.EnableCompression();
    for (auto* side : {&p.client, &p.server}) (*side)->Extensions().DecodeExtensions(c.answer);
    p.server->SetFragmentedMessages(c.mode);
    const std::vector<std::string> messages = {Words(1000, 1), Words(1000, 2), Words(600, 3)};
    for (const auto& m : messages) p.client->WriteData(TzorStringStream(m), 100);  // compressed whole, 100-byte frames
    const std::string wire = TakeInput(*p.serverTransport);
    ASSERT_EQ(SplitFrames(wire)[0].first, 0x42);  // RSV1, binary, not final
    p.serverTransport->Inject(wire);
    p.Pump();
    ASSERT_TRUE(p.serverGot.errors.empty()) << p.serverGot.errors[0];
    // Split the events into messages at each final fragment.
    std::vector<std::vector<F>> got(1);
    for (const F& f : p.serverGot.fragments) {
      EXPECT_EQ(f.op, opBinary);
      got.back().push_back(f);
      if (!f.continuation) got.emplace_back();
    }
    got.pop_back();
    ASSERT_EQ(got.size(), messages.size());
    for (size_t i = 0; i < messages.size(); ++i) {
      ASSERT_GE(got[i].size(), 3u) << "message " << i;
      std::string joined;
      for (size_t k = 0; k < got[i].size(); ++k) {
        const std::string& data = got[i][k].data;
        if (k + 1 < got[i].size()) {
          EXPECT_LT(data.size(), messages[i].size()) << "message " << i << " frame " << k;
        }
        if (c.mode == frgAll) {
          EXPECT_EQ(data.compare(0, joined.size(), joined), 0) << "each event holds the message so far";
          joined = data;
        } else {
          joined += data;
        }
      }
      EXPECT_EQ(joined, messages[i]) << "message " << i;
    }
    EXPECT_EQ(p.serverGot.binaries, c.mode == frgAll ? messages : std::vector<std::string>{});
  }
}

TEST(WSConnectionCompression, InflatedFragmentsAreBoundedAndTheirTextChecked) {
  struct Case {
    TwsFragmentedMessages mode;
    uint64_t maxSize;
    std::string text;
    int frameSize;
    int closeCode;
  } cases[] = {
      // frgAll holds the whole message: the bound is on its total.
      {frgAll, 3000, std::string(1 << 20, 'z'), 64, 1009},
      // frgOnlyFragmented holds one frame's plaintext at a time.
      {frgOnlyFragmented, 3000, std::string(2000, 'z') + std::string(2000, 'y'), 2, 0},
      {frgOnlyFragmented, 1000, std::string(1 << 20, 'z'), 64, 1009},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 8) + " " + std::to_string(c.maxSize));
    WSPair p;
    p.EnableCompression();
    p.server->SetFragmentedMessages(c.mode);
    p.server->SetMaxMessageSize(c.maxSize);
    p.client->WriteData(TzorStringStream(c.text), c.frameSize);
    p.Pump();
    EXPECT_EQ(p.client->CloseCode(), c.closeCode);
    EXPECT_EQ(p.serverGot.errors.size(), c.closeCode ? 1u : 0u);
    if (!c.closeCode) {
      std::string joined;
      for (const auto& f : p.serverGot.fragments) joined += f.data;
      EXPECT_EQ(joined, c.text);
    }
  }

  // A compressed text's fragments are checked once inflated: the bad
  // sequence fails in the first fragment, before the message ends.
  WSPair p;
  p.EnableCompression();
  p.server->SetFragmentedMessages(frgOnlyFragmented);
  std::string compressed = "ok \xC3\x28 bad";
  ASSERT_TRUE(p.client->Extensions().WriteStream(compressed));
  p.serverTransport->Inject(Frame(0x41, compressed, true));
  p.Pump();
  EXPECT_EQ(p.client->CloseCode(), 1007);
  EXPECT_TRUE(p.serverGot.fragments.empty());
}

TEST(WSConnectionCompression, AMessageThatInflatesBeyondTheBoundClosesWith1009) {
  WSPair p;
  p.EnableCompression();
  p.server->SetMaxMessageSize(1000);
  p.client->WriteData(std::string(5000, 'z'));
  p.Pump();
  ASSERT_EQ(p.serverGot.errors.size(), 1u);
  EXPECT_EQ(p.client->CloseCode(), 1009);
}

TEST(WSConnectionCompression, CorruptCompressedDataClosesWithErrorDeflatingFrame) {
  WSPair p;
  p.EnableCompression();
  p.serverTransport->Inject(Frame(0xC1, "\xFF\xFF\xFF\xFF", true));
  p.Pump();
  ASSERT_EQ(p.serverGot.errors.size(), 1u);
  EXPECT_EQ(p.serverGot.errors[0].rfind("Error Deflating Frame: ", 0), 0u);
}

TEST(WSConnectionWriteErrors, CompressionAndTransportFailuresHaveTheirMessages) {
  WSPair p;
  p.EnableCompression();
  p.client->Extensions().PerMessage_Deflate().SetMemLevel(0);  // zlib refuses it
  for (int size : {0, 10}) {
    try {
      p.client->WriteData(TzorStringStream(std::string(50, 'a')), size);
      ADD_FAILURE() << "no failure with size " << size;
    } catch (const TzorWSException& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Error Inflating Frame: ", 0), 0u) << e.what();
    }
  }
  WSPair q;
  q.clientTransport->FailWrites("broken pipe");
  try {
    q.client->WriteData("x");
    ADD_FAILURE() << "no failure";
  } catch (const TzorWSException& e) {
    EXPECT_STREQ(e.what(), "Error writing message broken pipe.");
  }
}

// --- draft framing and the frame log -------------------------------------------------------------

TEST(WSConnectionHixie76, TextInDraftFramingNothingElseAndTheCloseAnswered) {
  WSPair p;
  p.server->SetSpecification(spHixie76);
  p.serverTransport->Inject(std::string("\x00hi\xFF", 4));
  p.server->ReadFrames(false);
  EXPECT_EQ(p.serverGot.texts, (std::vector<std::string>{"hi"}));
  p.server->WriteData("yo");
  p.server->WriteData(TzorStringStream(std::string("binary")));
  p.server->Ping("ping");
  EXPECT_EQ(TakeInput(*p.clientTransport), std::string("\x00yo\xFF", 4));
  p.serverTransport->Inject(std::string("\xFF\x00", 2));
  p.server->ReadFrames(false);
  EXPECT_EQ(TakeInput(*p.clientTransport), std::string("\xFF\x00", 2));
}

TEST(WSConnectionFrameLog, FramesAreLoggedDecodedInBothDirections) {
  WSPair p;
  const std::string file = ::testing::TempDir() + "/ws_frame_log_" + std::to_string(::getpid()) + ".log";
  auto log = std::make_shared<TzorIdLogFileClient>();
  log->SetFileName(file);
  log->SetActive(true);
  p.client->SetFrameLog(log, false);
  p.server->SetFrameLog(log, true);
  p.client->WriteData("hello");
  p.client->Ping("are you there");
  p.Pump();
  EXPECT_TRUE(log->RawLog());  // switched back on after each write
  log->SetActive(false);
  std::ifstream in(file);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("[text] hello"), std::string::npos) << text;
  EXPECT_NE(text.find("[ping] are you there"), std::string::npos) << text;
  EXPECT_NE(text.find("[pong] are you there"), std::string::npos) << text;
  EXPECT_NE(text.find("Recv"), std::string::npos) << text;  // the server logs what it received
  std::remove(file.c_str());
}

// --- channels and identity ----------------------------------------------------------------------

TEST(WSConnectionChannels, SubscribeOnceUnsubscribeAndAsk) {
  WSPair p;
  std::vector<std::string> events;
  p.server->OnSubscription = [&](TzorWSConnection*, const std::string& c) { events.push_back("+" + c); };
  p.server->OnUnSubscription = [&](TzorWSConnection*, const std::string& c) { events.push_back("-" + c); };
  p.server->DoSubscribe("news,sport,news");
  p.server->DoUnSubscribe("sport,weather");
  EXPECT_EQ(events, (std::vector<std::string>{"+news", "+sport", "-sport"}));
  EXPECT_TRUE(p.server->Subscribed("weather,news"));
  EXPECT_FALSE(p.server->Subscribed("sport"));
  EXPECT_TRUE(p.server->Subscribed(""));
  EXPECT_EQ(p.server->LastUnSubscription(), "sport");
}

TEST(WSConnectionIdentity, GuidIsStableHexAndAddressesComeFromTheTransport) {
  WSPair p;
  const std::string guid = p.server->Guid();
  EXPECT_EQ(guid.size(), 32u);
  EXPECT_EQ(guid.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(p.server->Guid(), guid);
  EXPECT_NE(p.client->Guid(), guid);
  EXPECT_EQ(p.server->IP(), "127.0.0.2");
  EXPECT_EQ(p.server->IPVersion(), ipV4);
  EXPECT_EQ(p.server->LocalPort(), 8080);
}

}  // namespace
}  // namespace zor::test
