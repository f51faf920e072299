#include "websocket/extensions.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace zor {
namespace {

std::string Offer(TzorWSExtensions& set) {
  std::vector<std::string> lines;
  set.WriteHeader(lines);
  return lines.empty() ? std::string() : lines[0];
}

TEST(ExtensionOffers, ClientLines) {
  TzorWSExtensions set;
  set.SetMode(appClient);
  set.PerMessage_Deflate().SetEnabled(true);
  EXPECT_EQ(Offer(set), "Sec-WebSocket-Extensions: permessage-deflate; client_max_window_bits");
  set.PerMessage_Deflate().SetClientMaxWindowBits(10);
  set.PerMessage_Deflate().SetServerNoContextTakeOver(true);
  EXPECT_EQ(Offer(set),
            "Sec-WebSocket-Extensions: permessage-deflate; "
            "client_max_window_bits;client_max_window_bits=10;server_no_context_takeover");
  set.PerMessage_Deflate().SetClientMaxWindowBits(15);
  set.PerMessage_Deflate().SetServerNoContextTakeOver(false);
  set.PerMessage_Deflate().SetClientNoContextTakeOver(true);
  set.PerMessage_Deflate().SetServerMaxWindowBits(9);
  EXPECT_EQ(Offer(set),
            "Sec-WebSocket-Extensions: permessage-deflate; "
            "client_max_window_bits;client_no_context_takeover;server_max_window_bits=9");
  set.DeflateFrame().SetEnabled(true);
  std::vector<std::string> lines;
  set.WriteHeader(lines);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "Sec-WebSocket-Extensions: x-webkit-deflate-frame");
}

TEST(ExtensionOffers, WindowBitsOutsideEightToFifteenAreRefused) {
  TzorWSExtensions set;
  for (int bits : {7, 16, 0, -1}) {
    EXPECT_THROW(set.DeflateFrame().SetWindowBits(bits), Exception);
    try {
      set.PerMessage_Deflate().SetServerMaxWindowBits(bits);
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Invalid Value for WindowBits " + std::to_string(bits));
    }
  }
  EXPECT_EQ(set.PerMessage_Deflate().ServerMaxWindowBits(), 15);
  set.DeflateFrame().SetWindowBits(8);
  EXPECT_EQ(set.DeflateFrame().WindowBits(), 8);
}

struct Negotiation : ::testing::Test {
  Negotiation() {
    set.SetMode(appClient);
    set.PerMessage_Deflate().SetEnabled(true);
    set.DeflateFrame().SetEnabled(true);
  }
  TzorWSExtensions set;
};

TEST_F(Negotiation, PermessageDeflateAnswerIsAdopted) {
  set.DecodeExtensions("permessage-deflate; client_max_window_bits=12");
  EXPECT_TRUE(set.PerMessage_Deflate().Active());
  EXPECT_FALSE(set.DeflateFrame().Active());
  EXPECT_TRUE(set.ExtensionNegotiated());
  EXPECT_EQ(set.PerMessage_Deflate().ClientMaxWindowBits(), 12);
  EXPECT_EQ(set.List(), std::vector<std::string>{"permessage-deflate"});
}

TEST_F(Negotiation, BothServerWindowSpellingsAreUnderstood) {
  set.DecodeExtensions("permessage-deflate; server_max_window_bits=10; server_no_context_takeover");
  EXPECT_EQ(set.PerMessage_Deflate().ServerMaxWindowBits(), 10);
  EXPECT_TRUE(set.PerMessage_Deflate().ServerNoContextTakeOver());
  TzorWSExtensions older;
  older.PerMessage_Deflate().SetEnabled(true);
  older.DecodeExtensions("permessage-deflate;serv_max_window_bits=11");
  EXPECT_EQ(older.PerMessage_Deflate().ServerMaxWindowBits(), 11);
}

TEST_F(Negotiation, BadAnswers) {
  try {
    set.DecodeExtensions("permessage-deflate; client_max_window_bits=7");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid Value for WindowBits 7");
  }
  EXPECT_THROW(set.DecodeExtensions("permessage-deflate; client_max_window_bits=x1"), EConvertError);
  TzorWSExtensions none;
  none.PerMessage_Deflate().SetEnabled(true);
  none.DecodeExtensions("foo, bar; baz=1");
  EXPECT_FALSE(none.ExtensionNegotiated());
  none.DecodeExtensions("x-webkit-deflate-frame");  // not enabled
  EXPECT_FALSE(none.ExtensionNegotiated());
}

TEST_F(Negotiation, DeflateFrameAloneAndPrecedence) {
  set.DecodeExtensions("X-WebKit-Deflate-Frame");
  EXPECT_TRUE(set.DeflateFrame().Active());
  EXPECT_TRUE(set.ExtensionNegotiated());
  TzorWSExtensions both;
  both.PerMessage_Deflate().SetEnabled(true);
  both.DeflateFrame().SetEnabled(true);
  both.DecodeExtensions("x-webkit-deflate-frame, permessage-deflate");
  EXPECT_TRUE(both.PerMessage_Deflate().Active());
  EXPECT_EQ(both.List(), (std::vector<std::string>{"permessage-deflate", "x-webkit-deflate-frame"}));
}

TEST(ExtensionAnswers, ServerEchoesWhatItAdopted) {
  TzorWSExtensions server;
  server.SetMode(appServer);
  server.PerMessage_Deflate().SetEnabled(true);
  server.DecodeExtensions(
      "permessage-deflate; client_max_window_bits; serv_max_window_bits=10; client_no_context_takeover");
  std::vector<std::string> lines;
  server.WriteHeader(lines);
  EXPECT_EQ(lines, std::vector<std::string>{"Sec-WebSocket-Extensions: permessage-deflate;client_max_window_bits=15;"
                                            "server_max_window_bits=10;client_no_context_takeover"});
}

TEST(ExtensionSets, AssignCopiesSettingsButNeverNegotiation) {
  TzorWSExtensions source;
  source.SetMode(appClient);
  source.PerMessage_Deflate().SetEnabled(true);
  source.PerMessage_Deflate().SetClientMaxWindowBits(9);
  source.PerMessage_Deflate().SetMemLevel(4);
  source.DeflateFrame().SetWindowBits(11);
  source.DecodeExtensions("permessage-deflate");
  TzorWSExtensions copy;
  copy.Assign(source);
  EXPECT_EQ(copy.Mode(), appClient);
  EXPECT_EQ(copy.PerMessage_Deflate().Mode(), appClient);
  EXPECT_TRUE(copy.PerMessage_Deflate().Enabled());
  EXPECT_EQ(copy.PerMessage_Deflate().ClientMaxWindowBits(), 9);
  EXPECT_EQ(copy.PerMessage_Deflate().MemLevel(), 4);
  EXPECT_EQ(copy.DeflateFrame().WindowBits(), 11);
  EXPECT_FALSE(copy.PerMessage_Deflate().Active());
  EXPECT_FALSE(copy.ExtensionNegotiated());
  try {
    copy.DeflateFrame().Assign(source);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TzorWSExtensions to a TzorWSExtension_DeflateFrame");
  }
}

// A client and a server set, negotiated as a handshake would.
struct Pair {
  explicit Pair(const std::string& answer) {
    client.SetMode(appClient);
    server.SetMode(appServer);
    client.PerMessage_Deflate().SetEnabled(true);
    client.DeflateFrame().SetEnabled(true);
    server.PerMessage_Deflate().SetEnabled(true);
    server.DeflateFrame().SetEnabled(true);
    server.DecodeExtensions(answer);
    client.DecodeExtensions(answer);
  }
  // Client to server: compress, mark RSV1, inflate.
  std::string Send(std::string message, size_t* wireSize = nullptr) {
    uint8_t first = 0x81;
    if (client.WriteStream(message)) client.EncodeHeader(first);
    if (wireSize) *wireSize = message.size();
    server.DecodeHeader(first);
    server.ReadStream(message);
    return message;
  }
  TzorWSExtensions client, server;
};

std::string JsonMessage(int i) {
  return "{\"id\":" + std::to_string(i) + ",\"op\":\"upsert\",\"namespace\":\"books\",\"values\":[0." +
         std::to_string(i * 7919 % 1000) + ",0.25,0.5]}";
}

TEST(Compression, RoundTripsWithAndWithoutContextTakeover) {
  for (const char* answer : {"permessage-deflate", "permessage-deflate; client_no_context_takeover",
                             "permessage-deflate; client_max_window_bits=8", "x-webkit-deflate-frame",
                             "permessage-deflate; client_max_window_bits=9; client_no_context_takeover"}) {
    Pair pair(answer);
    ASSERT_TRUE(pair.client.Compression()) << answer;
    std::mt19937 rng(1);
    size_t firstSize = 0, repeatSize = 0;
    for (int i = 0; i < 300; ++i) {
      std::string message = JsonMessage(i);
      if (i % 50 == 0) {  // now and then a large, partly random message
        for (int k = 0; k < 4000; ++k) message.push_back(static_cast<char>(rng() % 4 ? 'a' + rng() % 3 : rng()));
      }
      size_t wire = 0;
      ASSERT_EQ(pair.Send(message, &wire), message) << answer << " message " << i;
    }
    Pair(answer).Send(JsonMessage(1), &firstSize);
    pair.Send(JsonMessage(1), &repeatSize);
    const bool takeover = std::string(answer).find("no_context") == std::string::npos;
    // With the context kept, a repeated message costs a few bytes; without, as much as on a new connection.
    if (takeover)
      EXPECT_LT(repeatSize * 3, firstSize) << answer;
    else
      EXPECT_EQ(repeatSize, firstSize) << answer;
  }
}

TEST(Compression, EmptyAndUncompressedMessagesPassUnchanged) {
  Pair pair("permessage-deflate");
  std::string empty;
  EXPECT_FALSE(pair.client.WriteStream(empty));
  std::string plain = "not compressed";
  pair.server.DecodeHeader(0x81);  // no RSV1
  EXPECT_FALSE(pair.server.ReadStream(plain));
  EXPECT_EQ(plain, "not compressed");
  std::string hello = "Hello";
  ASSERT_TRUE(pair.client.WriteStream(hello));
  EXPECT_NE(hello, "Hello");
  pair.server.DecodeHeader(0xC1);
  EXPECT_TRUE(pair.server.ReadStream(hello));
  EXPECT_EQ(hello, "Hello");
}

TEST(Compression, InflatedSizeIsBoundedAndCorruptInputFails) {
  Pair pair("permessage-deflate");
  std::string bomb(1 << 20, 'z');
  ASSERT_TRUE(pair.client.WriteStream(bomb));
  EXPECT_LT(bomb.size(), 5000u);
  pair.server.DecodeHeader(0xC1);
  EXPECT_THROW(pair.server.ReadStream(bomb, 1000), EzorWSMessageTooBig);

  Pair other("permessage-deflate");
  std::string corrupt = "\xFF\xFF\xFF\xFF garbage";
  other.server.DecodeHeader(0xC1);
  EXPECT_THROW(other.server.ReadStream(corrupt), Exception);
}

// The compressed message cut into parts at `cuts`, each inflated as it comes.
std::vector<std::string> InflateInParts(TzorWSExtensions& server, const std::string& compressed,
                                        const std::vector<size_t>& cuts, uint64_t maxSize = 1 << 20) {
  std::vector<std::string> plain;
  size_t from = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    const size_t to = i < cuts.size() ? cuts[i] : compressed.size();
    std::string part = compressed.substr(from, to - from);
    EXPECT_TRUE(server.ReadStream(part, TzorMessagePart{0, i == 0, i == cuts.size()}, maxSize));
    plain.push_back(part);
    from = to;
  }
  return plain;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string all;
  for (const auto& p : parts) all += p;
  return all;
}

TEST(Compression, AMessageInflatedPartByPartIsTheMessageAtEveryCut) {
  std::mt19937 rng(7);
  std::string text;
  for (int k = 0; k < 3000; ++k) text.push_back(static_cast<char>('a' + rng() % 20));
  for (const char* answer : {"permessage-deflate", "permessage-deflate; client_no_context_takeover",
                             "x-webkit-deflate-frame"}) {
    Pair pair(answer);
    pair.server.DecodeHeader(0xC1);
    for (int message = 0; message < 3; ++message) {  // later messages use the earlier ones' context
      std::string compressed = text + std::to_string(message);
      ASSERT_TRUE(pair.client.WriteStream(compressed));
      const size_t cut = compressed.size() * (message + 1) / 4;
      const auto parts = InflateInParts(pair.server, compressed, {cut / 2, cut, cut + 1});
      EXPECT_EQ(Joined(parts), text + std::to_string(message)) << answer << " message " << message;
      // The plaintext comes as its parts come (the first may hold only the
      // block's code tables).
      const size_t early = parts[0].size() + parts[1].size();
      EXPECT_GT(early, 0u);
      EXPECT_LT(early, text.size());
    }
  }
  // Every single cut of a short message.
  Pair pair("permessage-deflate");
  pair.server.DecodeHeader(0xC1);
  std::string compressed = JsonMessage(5);
  ASSERT_TRUE(pair.client.WriteStream(compressed));
  for (size_t cut = 0; cut <= compressed.size(); ++cut) {
    Pair fresh("permessage-deflate");
    fresh.server.DecodeHeader(0xC1);
    EXPECT_EQ(Joined(InflateInParts(fresh.server, compressed, {cut})), JsonMessage(5)) << "cut at " << cut;
  }
}

TEST(Compression, APartIsBoundedAndAStreamEndedEarlyIgnoresTheRest) {
  Pair pair("permessage-deflate");
  pair.server.DecodeHeader(0xC1);
  std::string bomb(1 << 20, 'z');
  ASSERT_TRUE(pair.client.WriteStream(bomb));
  std::string first = bomb.substr(0, bomb.size() / 2);
  EXPECT_THROW(pair.server.ReadStream(first, TzorMessagePart{0, true, false}, 1000), EzorWSMessageTooBig);

  // A peer that ends its deflate stream in the first part: later parts of
  // the message add nothing, and the next message inflates afresh.
  Pair ended("permessage-deflate");
  ended.server.DecodeHeader(0xC1);
  std::string finished = "Hello";
  z_stream zs{};
  ASSERT_EQ(deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(finished.data());
  zs.avail_in = static_cast<uInt>(finished.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(out.size() - zs.avail_out);
  deflateEnd(&zs);
  EXPECT_EQ(InflateInParts(ended.server, out + "\xFF\xFF\xFF garbage", {out.size()}),
            (std::vector<std::string>{"Hello", ""}));
  std::string next = JsonMessage(2);
  ASSERT_TRUE(ended.client.WriteStream(next));
  EXPECT_EQ(Joined(InflateInParts(ended.server, next, {3})), JsonMessage(2));
}

// --- other inflaters and deflaters --------------------------------------------

// Runs python3's zlib (an independent process) over a file and returns its output.
std::string RunPython(const std::string& script, const std::string& input) {
  const auto dir = std::filesystem::temp_directory_path() / ("zor_ws_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto in = dir / "in", out = dir / "out";
  std::ofstream(in, std::ios::binary) << input;
  const std::string command =
      "/usr/bin/python3 -c '" + script + "' " + in.string() + " " + out.string() + " 2>&1";
  const int rc = std::system(command.c_str());
  std::ifstream file(out, std::ios::binary);
  std::string result((std::istreambuf_iterator<char>(file)), {});
  std::filesystem::remove_all(dir);
  return rc == 0 ? result : "python failed";
}

// Messages are stored length-prefixed (4 bytes big-endian) in one file.
std::string Frame(const std::vector<std::string>& messages) {
  std::string out;
  for (const auto& m : messages) {
    for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<char>(m.size() >> shift));
    out += m;
  }
  return out;
}

const char* kPythonFraming =
    "import sys,zlib\n"
    "def read(d):\n"
    "  i=0;r=[]\n"
    "  while i<len(d):\n"
    "    n=int.from_bytes(d[i:i+4],\"big\");r.append(d[i+4:i+4+n]);i+=4+n\n"
    "  return r\n"
    "def write(ms):\n"
    "  return b\"\".join(len(m).to_bytes(4,\"big\")+m for m in ms)\n";

TEST(CompressionInterop, OurDeflateInflatedByPythonZlib) {
  for (int bits : {15, 8}) {
    Pair pair("permessage-deflate; client_max_window_bits=" + std::to_string(bits));
    std::vector<std::string> plain, wire;
    for (int i = 0; i < 200; ++i) {
      plain.push_back(JsonMessage(i) + std::string(i % 7 * 40, 'k'));
      std::string m = plain.back();
      pair.client.WriteStream(m);
      wire.push_back(m);
    }
    const std::string script = std::string(kPythonFraming) +
                               "d=zlib.decompressobj(-" + std::to_string(bits) + ")\n"
                               "ms=[d.decompress(m+b\"\\x00\\x00\\xff\\xff\") for m in read(open(sys.argv[1],\"rb\").read())]\n"
                               "open(sys.argv[2],\"wb\").write(write(ms))\n";
    EXPECT_EQ(RunPython(script, Frame(wire)), Frame(plain)) << bits;
  }
}

TEST(CompressionInterop, PythonZlibDeflateInflatedByOurs) {
  std::vector<std::string> plain;
  for (int i = 0; i < 200; ++i) plain.push_back(JsonMessage(i) + std::string(i % 5 * 30, 'q'));
  const std::string script = std::string(kPythonFraming) +
                             "c=zlib.compressobj(6,zlib.DEFLATED,-15)\n"
                             "ms=[(c.compress(m)+c.flush(zlib.Z_SYNC_FLUSH))[:-4] for m in read(open(sys.argv[1],\"rb\").read())]\n"
                             "open(sys.argv[2],\"wb\").write(write(ms))\n";
  const std::string compressed = RunPython(script, Frame(plain));
  ASSERT_NE(compressed, "python failed");
  Pair pair("permessage-deflate");
  std::vector<std::string> inflated;
  for (size_t i = 0; i < compressed.size();) {
    const size_t n = static_cast<uint8_t>(compressed[i]) << 24 | static_cast<uint8_t>(compressed[i + 1]) << 16 |
                     static_cast<uint8_t>(compressed[i + 2]) << 8 | static_cast<uint8_t>(compressed[i + 3]);
    std::string m = compressed.substr(i + 4, n);
    i += 4 + n;
    pair.server.DecodeHeader(0xC1);
    pair.server.ReadStream(m);
    inflated.push_back(m);
  }
  EXPECT_EQ(inflated, plain);
}

// Peers that compress each message afresh with the earlier plaintext as a
// preset dictionary and end it with a final block (tail 00 00 FF FF 03 00 cut off).
TEST(CompressionInterop, PresetDictionaryPeersAreInflated) {
  std::string history;
  Pair pair("permessage-deflate");
  for (int i = 0; i < 100; ++i) {
    const std::string message = JsonMessage(i);
    z_stream zs{};
    ASSERT_EQ(deflateInit2(&zs, 1, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
    if (!history.empty())
      deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(history.data()), static_cast<uInt>(history.size()));
    std::string out(1024, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(message.data()));
    zs.avail_in = static_cast<uInt>(message.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_SYNC_FLUSH);
    deflate(&zs, Z_FINISH);
    out.resize(out.size() - zs.avail_out);
    deflateEnd(&zs);
    ASSERT_EQ(out.substr(out.size() - 6), std::string("\x00\x00\xFF\xFF\x03\x00", 6));
    out.resize(out.size() - 6);
    history += message;
    pair.server.DecodeHeader(0xC1);
    pair.server.ReadStream(out);
    ASSERT_EQ(out, message) << i;
  }
}

}  // namespace
}  // namespace zor
