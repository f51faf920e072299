#include "base/bytes.h"
#include "http2/hpack.h"
#include "http2/hpack_huffman.h"
#include "http2/http2_exception.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace zor {
namespace {

TBytes Hex(std::string text) {
  std::erase(text, ' ');
  return HexTextToBytes(text);
}

TBytes Bytes(const TzorByteBuffer& buffer) { return TBytes(buffer.Data(), buffer.Data() + buffer.Size()); }

TzorHTTP2_HeaderList List(std::initializer_list<std::pair<std::string, std::string>> fields) {
  TzorHTTP2_HeaderList list;
  for (const auto& [name, value] : fields) list.Add(name, value);
  return list;
}

// The dynamic table as "name: value" lines, newest first.
std::vector<std::string> TableLines(TzorHTTP2_HPACK& coder) {
  std::vector<std::string> lines;
  const TzorHTTP2_DynamicTable& table = coder.HeaderTable().DynamicTable();
  for (size_t i = 0; i < table.Length(); ++i)
    lines.push_back(std::string(table.GetItem(i).Name) + ": " + std::string(table.GetItem(i).Value));
  return lines;
}

void ExpectFailure(TzorHTTP2_HPACK& coder, const TBytes& block, const std::string& message,
                   Th2ErrorCodes code = h2erCOMPRESSION_ERROR) {
  TzorHTTP2_HeaderList list;
  try {
    coder.Decode(block, list);
    ADD_FAILURE() << "no failure, expected " << message;
  } catch (const TzorHTTP2Exception& e) {
    EXPECT_EQ(e.Message(), message);
    EXPECT_EQ(e.ErrorCode(), code);
    EXPECT_EQ(e.ErrorResponse(), h2errGO_AWAY);
  }
}

uint32_t DecodeInteger(const TBytes& octets, int prefixBits) {
  const uint8_t* p = octets.data();
  const uint32_t value = TzorHTTP2_HPACK::DecodeInteger(p, octets.data() + octets.size(), prefixBits);
  EXPECT_EQ(p, octets.data() + octets.size()) << "octets left over";
  return value;
}

TEST(HPackInteger, ExamplesAndLimits) {
  const struct {
    uint32_t value;
    int prefix;
    TBytes octets;
  } cases[] = {
      {10, 5, {0x0A}},
      {1337, 5, {0x1F, 0x9A, 0x0A}},
      {42, 7, {0x2A}},
      {31, 5, {0x1F, 0x00}},
      {2147483647, 4, {0x0F, 0xF0, 0xFF, 0xFF, 0xFF, 0x07}},
  };
  for (const auto& c : cases) {
    TzorByteBuffer out;
    TzorHTTP2_HPACK::EncodeInteger(c.value, c.prefix, 0, out);
    EXPECT_EQ(Bytes(out), c.octets) << c.value;
    EXPECT_EQ(DecodeInteger(c.octets, c.prefix), c.value);
  }
  TzorByteBuffer withPattern;
  TzorHTTP2_HPACK::EncodeInteger(10, 5, 0x20, withPattern);
  EXPECT_EQ(Bytes(withPattern), TBytes{0x2A});
}

TEST(HPackInteger, OverflowAndTruncationAreCompressionErrors) {
  TzorHTTP2_HPACK coder;
  // 2^31 with a 7-bit prefix (indexed field).
  ExpectFailure(coder, Hex("FF 81 FF FF FF 07"), "Invalid Integer.");
  // Six continuation octets, even though the value stays small.
  ExpectFailure(coder, Hex("FF 80 80 80 80 80 00"), "Invalid Integer.");
  // Shifting these groups past 32 bits must not wrap to a small index.
  ExpectFailure(coder, Hex("FF 80 80 80 80 80 80 80 80 80 01"), "Invalid Integer.");
  ExpectFailure(coder, Hex("FF 9A"), "HPACK: header block is incomplete.");
}

TEST(HPackHuffman, RoundTripsEveryOctetAndKnownCodes) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (const std::string& text : {all, std::string("www.example.com"), std::string("no-cache"), std::string()}) {
    std::vector<uint8_t> coded(HuffmanEncodedLength(text));
    HuffmanEncode(text, coded.data());
    std::string decoded(HuffmanDecodedBound(coded.size()), '\0');
    decoded.resize(HuffmanDecode(coded.data(), coded.size(), reinterpret_cast<uint8_t*>(decoded.data())));
    EXPECT_EQ(decoded, text);
  }
  std::vector<uint8_t> coded(HuffmanEncodedLength("www.example.com"));
  HuffmanEncode("www.example.com", coded.data());
  EXPECT_EQ(coded, Hex("f1e3 c2e5 f23a 6ba0 ab90 f4ff"));
  // Each symbol alone, at every length from 5 to 30 bits.
  for (int symbol = 0; symbol < 256; ++symbol) {
    const std::string text(3, static_cast<char>(symbol));
    std::vector<uint8_t> one(HuffmanEncodedLength(text));
    HuffmanEncode(text, one.data());
    uint8_t out[8];
    ASSERT_EQ(HuffmanDecode(one.data(), one.size(), out), 3u) << symbol;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), text);
  }
}

TEST(HPackHuffman, PaddingAndEOSAreRefused) {
  uint8_t out[16];
  auto message = [&](const TBytes& coded) -> std::string {
    try {
      HuffmanDecode(coded.data(), coded.size(), out);
      return "accepted";
    } catch (const TzorHTTP2Exception& e) {
      EXPECT_EQ(e.ErrorCode(), h2erCOMPRESSION_ERROR);
      return e.Message();
    }
  };
  // "a" is 00011: padding 000 instead of 111.
  EXPECT_EQ(message({0x18}), "Invalid padding");
  EXPECT_EQ(message({0x1F}), "accepted");
  // A whole octet of 1-bits after the symbol.
  EXPECT_EQ(message({0x1F, 0xFF}), "Padding exceeds 7 bits");
  // EOS (30 1-bits) followed by padding.
  EXPECT_EQ(message({0xFF, 0xFF, 0xFF, 0xFF}), "Encountered EOS in huffman code");
  EXPECT_EQ(message({0x1F, 0xFF, 0xFF, 0xFF, 0xFF}), "Encountered EOS in huffman code");
}

TEST(HPackDecode, SingleRepresentations) {
  // RFC 7541 C.2.1 to C.2.4, one fresh context each.
  const struct {
    const char* block;
    const char* name;
    const char* value;
    size_t tableEntries;
  } cases[] = {
      {"400a 6375 7374 6f6d 2d6b 6579 0d63 7573 746f 6d2d 6865 6164 6572", "custom-key", "custom-header", 1},
      {"040c 2f73 616d 706c 652f 7061 7468", ":path", "/sample/path", 0},
      {"1008 7061 7373 776f 7264 0673 6563 7265 74", "password", "secret", 0},
      {"82", ":method", "GET", 0},
  };
  for (const auto& c : cases) {
    TzorHTTP2_HPACK coder;
    TzorHTTP2_HeaderList list;
    coder.Decode(Hex(c.block), list);
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.Line(0), std::string(c.name) + "=" + c.value);
    EXPECT_EQ(coder.DynamicTableLength(), c.tableEntries);
  }
  TzorHTTP2_HPACK coder;
  TzorHTTP2_HeaderList list;
  coder.Decode(Hex("1008 7061 7373 776f 7264 0673 6563 7265 74"), list);
  EXPECT_TRUE(list.Sensitive(0));
  // C.2.1 and C.2.3 encoded: indexed new name, and a sensitive field.
  TzorHTTP2_HPACK encoder;
  encoder.SetHuffmanStrategy(h2huNever);
  TzorByteBuffer out;
  encoder.Encode(List({{"custom-key", "custom-header"}}), out);
  encoder.Encode(list, out);
  EXPECT_EQ(Bytes(out), Hex("400a 6375 7374 6f6d 2d6b 6579 0d63 7573 746f 6d2d 6865 6164 6572"
                            "1008 7061 7373 776f 7264 0673 6563 7265 74"));
  EXPECT_EQ(coder.DynamicTableUsedSize(), 0u);
  coder.Decode(Hex("400a 6375 7374 6f6d 2d6b 6579 0d63 7573 746f 6d2d 6865 6164 6572"), list);
  EXPECT_EQ(coder.DynamicTableUsedSize(), 55u);
}

struct RfcBlock {
  const char* octets;
  TzorHTTP2_HeaderList headers;
  std::vector<std::string> table;
  uint32_t tableSize;
};

std::vector<RfcBlock> Requests(bool huffman) {
  std::vector<RfcBlock> blocks;
  blocks.push_back({huffman ? "8286 8441 8cf1 e3c2 e5f2 3a6b a0ab 90f4 ff"
                            : "8286 8441 0f77 7777 2e65 7861 6d70 6c65 2e63 6f6d",
                    List({{":method", "GET"}, {":scheme", "http"}, {":path", "/"}, {":authority", "www.example.com"}}),
                    {":authority: www.example.com"},
                    57});
  blocks.push_back({huffman ? "8286 84be 5886 a8eb 1064 9cbf" : "8286 84be 5808 6e6f 2d63 6163 6865",
                    List({{":method", "GET"},
                          {":scheme", "http"},
                          {":path", "/"},
                          {":authority", "www.example.com"},
                          {"cache-control", "no-cache"}}),
                    {"cache-control: no-cache", ":authority: www.example.com"},
                    110});
  blocks.push_back({huffman ? "8287 85bf 4088 25a8 49e9 5ba9 7d7f 8925 a849 e95b b8e8 b4bf"
                            : "8287 85bf 400a 6375 7374 6f6d 2d6b 6579 0c63 7573 746f 6d2d 7661 6c75 65",
                    List({{":method", "GET"},
                          {":scheme", "https"},
                          {":path", "/index.html"},
                          {":authority", "www.example.com"},
                          {"custom-key", "custom-value"}}),
                    {"custom-key: custom-value", "cache-control: no-cache", ":authority: www.example.com"},
                    164});
  return blocks;
}

std::vector<RfcBlock> Responses(bool huffman) {
  const std::vector<std::string> firstTable = {"location: https://www.example.com",
                                               "date: Mon, 21 Oct 2013 20:13:21 GMT", "cache-control: private",
                                               ":status: 302"};
  std::vector<RfcBlock> blocks;
  blocks.push_back({huffman ? "4882 6402 5885 aec3 771a 4b61 96d0 7abe 9410 54d4 44a8 2005 9504 0b81 66e0 82a6"
                              "2d1b ff6e 919d 29ad 1718 63c7 8f0b 97c8 e9ae 82ae 43d3"
                            : "4803 3330 3258 0770 7269 7661 7465 611d 4d6f 6e2c 2032 3120 4f63 7420 3230 3133"
                              "2032 303a 3133 3a32 3120 474d 546e 1768 7474 7073 3a2f 2f77 7777 2e65 7861 6d70"
                              "6c65 2e63 6f6d",
                    List({{":status", "302"},
                          {"cache-control", "private"},
                          {"date", "Mon, 21 Oct 2013 20:13:21 GMT"},
                          {"location", "https://www.example.com"}}),
                    firstTable,
                    222});
  blocks.push_back({huffman ? "4883 640e ffc1 c0bf" : "4803 3330 37c1 c0bf",
                    List({{":status", "307"},
                          {"cache-control", "private"},
                          {"date", "Mon, 21 Oct 2013 20:13:21 GMT"},
                          {"location", "https://www.example.com"}}),
                    {":status: 307", "location: https://www.example.com", "date: Mon, 21 Oct 2013 20:13:21 GMT",
                     "cache-control: private"},
                    222});
  blocks.push_back({huffman ? "88c1 6196 d07a be94 1054 d444 a820 0595 040b 8166 e084 a62d 1bff c05a 839b d9ab"
                              "77ad 94e7 821d d7f2 e6c7 b335 dfdf cd5b 3960 d5af 2708 7f36 72c1 ab27 0fb5 291f"
                              "9587 3160 65c0 03ed 4ee5 b106 3d50 07"
                            : "88c1 611d 4d6f 6e2c 2032 3120 4f63 7420 3230 3133 2032 303a 3133 3a32 3220 474d"
                              "54c0 5a04 677a 6970 7738 666f 6f3d 4153 444a 4b48 514b 425a 584f 5157 454f 5049"
                              "5541 5851 5745 4f49 553b 206d 6178 2d61 6765 3d33 3630 303b 2076 6572 7369 6f6e"
                              "3d31",
                    List({{":status", "200"},
                          {"cache-control", "private"},
                          {"date", "Mon, 21 Oct 2013 20:13:22 GMT"},
                          {"location", "https://www.example.com"},
                          {"content-encoding", "gzip"},
                          {"set-cookie", "foo=ASDJKHQKBZXOQWEOPIUAXQWEOIU; max-age=3600; version=1"}}),
                    {"set-cookie: foo=ASDJKHQKBZXOQWEOPIUAXQWEOIU; max-age=3600; version=1",
                     "content-encoding: gzip", "date: Mon, 21 Oct 2013 20:13:22 GMT"},
                    215});
  return blocks;
}

// RFC 7541 C.3 to C.6: each sequence decoded by one context and encoded by
// another, octet for octet, with the same tables after every block.
TEST(HPackRfcExamples, DecodeAndEncodeByteForByte) {
  for (int example = 0; example < 4; ++example) {
    const bool huffman = example % 2 == 1;
    const bool responses = example >= 2;
    SCOPED_TRACE(example);
    TzorHTTP2_HPACK decoder, encoder;
    encoder.SetHuffmanStrategy(huffman ? h2huAlways : h2huNever);
    if (responses) {
      // Both sides already know SETTINGS_HEADER_TABLE_SIZE 256: no size update.
      decoder.HeaderTable().SetMaxDynamicTableSize(256);
      encoder.HeaderTable().SetMaxDynamicTableSize(256);
    }
    for (const RfcBlock& block : responses ? Responses(huffman) : Requests(huffman)) {
      TzorHTTP2_HeaderList decoded;
      decoder.Decode(Hex(block.octets), decoded);
      EXPECT_EQ(decoded.Text(), block.headers.Text());
      EXPECT_EQ(TableLines(decoder), block.table);
      EXPECT_EQ(decoder.DynamicTableUsedSize(), block.tableSize);
      TzorByteBuffer encoded;
      encoder.Encode(block.headers, encoded);
      EXPECT_EQ(BytesToHexText(encoded.Data(), encoded.Size()), BytesToHexText(Hex(block.octets).data(), Hex(block.octets).size()));
      EXPECT_EQ(TableLines(encoder), block.table);
    }
  }
}

TEST(HPackDecode, IndexAndTableUpdateRules) {
  TzorHTTP2_HPACK coder;
  TzorHTTP2_HeaderList list;
  coder.Decode(Hex("82"), list);
  EXPECT_EQ(list.Text(), ":method=GET\n");
  ExpectFailure(coder, Hex("80"), "Table Header item not found.");
  ExpectFailure(coder, Hex("BE"), "Table Header item not found.");
  // Literal whose name index names no entry.
  ExpectFailure(coder, Hex("7F 00 01 61"), "Table Header item not found.");
  // Size updates only before the first field, and only up to the limit.
  coder.Decode(Hex("3F E1 1F 82"), list);  // update to 4096, then a field
  EXPECT_EQ(list.Count(), 1u);
  coder.Decode(Hex("20 3F E1 1F 82"), list);  // two updates in front are fine
  EXPECT_EQ(coder.DynamicTableSize(), 4096u);
  ExpectFailure(coder, Hex("82 20"), "Table update is not allowed.");
  ExpectFailure(coder, Hex("3F E2 1F"), "Table size limit exceeded");
  ExpectFailure(coder, Hex("00 00 01 61"), "HPACK: field name cannot be empty.");
  ExpectFailure(coder, Hex("00 03 61"), "HPACK: header block is incomplete.");
  coder.SetMaxStringLength(4);
  ExpectFailure(coder, Hex("00 05 61 61 61 61 61 00"), "Maximum string length exceeded");
}

TEST(HPackDecode, OversizeEntryEmptiesTheTableWithoutFailing) {
  TzorHTTP2_HPACK coder;
  TzorHTTP2_HeaderList list;
  coder.Decode(Hex("400a 6375 7374 6f6d 2d6b 6579 0d63 7573 746f 6d2d 6865 6164 6572"), list);
  ASSERT_EQ(coder.DynamicTableLength(), 1u);
  TBytes big = Hex("40 01 78 7F 81 1F");  // value of 4096 + 128 - 1 - 127 octets
  const size_t valueLength = 127 + 0x81 - 0x80 + (0x1F << 7);
  big.insert(big.end(), valueLength, 'v');
  coder.Decode(big, list);
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.Value(0).size(), valueLength);
  EXPECT_EQ(coder.DynamicTableLength(), 0u);
  EXPECT_EQ(coder.DynamicTableUsedSize(), 0u);
}

TEST(HPackDecode, InsertWhoseNameIsTheEvictedEntry) {
  // Table of 60 octets holding one entry "custom-key: v" (43 octets); the next
  // literal takes its name from that entry (62) and evicts it on insertion.
  TzorHTTP2_HPACK coder;
  TzorHTTP2_HeaderList list;
  coder.Decode(Hex("3F 1D 40 0a 6375 7374 6f6d 2d6b 6579 01 76"), list);
  ASSERT_EQ(TableLines(coder), std::vector<std::string>{"custom-key: v"});
  coder.Decode(Hex("7E 03 77 77 77"), list);
  EXPECT_EQ(list.Text(), "custom-key=www\n");
  EXPECT_EQ(TableLines(coder), std::vector<std::string>{"custom-key: www"});
  // Many such inserts through buffer compaction keep the octets intact.
  for (int i = 0; i < 1000; ++i) {
    coder.Decode(Hex("7E 03 61 62 63"), list);
    ASSERT_EQ(TableLines(coder), std::vector<std::string>{"custom-key: abc"});
  }
}

TEST(HPackDecode, HeaderListBoundIsEnhanceYourCalm) {
  TzorHTTP2_HPACK coder;
  coder.SetMaxHeaderListSize(100);
  TzorHTTP2_HeaderList list;
  coder.Decode(Hex("82 82"), list);  // 2 x 42 octets
  ExpectFailure(coder, Hex("82 82 82"), "HPACK: header list larger than MaxHeaderListSize.", h2erENHANCE_YOUR_CALM);
  // The default bound is 64 KiB: 1,560 fields of 42 octets fit in one block, 1,561 do not.
  TzorHTTP2_HPACK defaults;
  EXPECT_EQ(defaults.MaxHeaderListSize(), 65536u);
  TBytes fits(65536 / 42, 0x82);
  defaults.Decode(fits, list);
  EXPECT_EQ(list.Count(), fits.size());
  fits.push_back(0x82);
  ExpectFailure(defaults, fits, "HPACK: header list larger than MaxHeaderListSize.", h2erENHANCE_YOUR_CALM);
}

TEST(HPackDecode, OctetsAreKeptAsTheyCame) {
  TzorHTTP2_HPACK coder;
  TzorHTTP2_HeaderList list;
  // Value octets that are not UTF-8, and an octet 0x00.
  coder.Decode(Hex("40 01 78 04 FF C3 00 E9"), list);
  EXPECT_EQ(list.Value(0), std::string_view("\xFF\xC3\x00\xE9", 4));
  EXPECT_EQ(coder.DynamicTableUsedSize(), 1u + 4u + 32u);
}

TEST(HPackEncode, IndexingChoices) {
  TzorHTTP2_HPACK coder;
  TzorByteBuffer out;
  coder.Encode(List({{":method", "GET"}}), out);
  EXPECT_EQ(Bytes(out), TBytes{0x82});
  out.Clear();
  coder.Encode(List({{"user-agent", "x"}}), out);
  EXPECT_EQ(Bytes(out), Hex("7A 01 78"));  // plain: Huffman "x" is not shorter
  EXPECT_EQ(coder.DynamicTableLength(), 1u);
  out.Clear();
  coder.Encode(List({{"user-agent", "x"}}), out);
  EXPECT_EQ(Bytes(out), TBytes{0xBE});
  // Sensitive fields are never indexed, not even by name from the table.
  TzorHTTP2_HeaderList secret;
  secret.Add("authorization", "Bearer abc", true);
  out.Clear();
  coder.Encode(secret, out);
  EXPECT_EQ(out.Data()[0], 0x1F);  // never indexed, name index 23 = 15 + 8
  EXPECT_EQ(coder.DynamicTableLength(), 1u);
  // An entry larger than the table is sent without indexing.
  coder.SetDynamicTableSize(40);
  out.Clear();
  coder.Encode(List({{"x-long", "0123456789"}}), out);
  EXPECT_EQ(Bytes(out).at(0), 0x3F);  // the size update 40 comes first
  EXPECT_EQ(Bytes(out).at(1), 0x09);
  EXPECT_EQ(Bytes(out).at(2), 0x00);  // literal without indexing, new name
  EXPECT_EQ(coder.DynamicTableLength(), 0u);
}

TEST(HPackEncode, PendingSizeUpdates) {
  TzorHTTP2_HPACK coder;
  coder.SetDynamicTableSize(2048);
  coder.SetDynamicTableSize(3000);
  TzorByteBuffer out;
  coder.Encode(List({}), out);
  EXPECT_EQ(Bytes(out), Hex("3F E1 0F 3F 99 17"));  // 2048, then 3000
  out.Clear();
  coder.Encode(List({}), out);
  EXPECT_TRUE(out.Empty());
  TzorHTTP2_HPACK decoder;
  TzorHTTP2_HeaderList list;
  decoder.Decode(Hex("3F E1 0F 3F 99 17"), list);
  EXPECT_EQ(decoder.DynamicTableSize(), 3000u);
}

TEST(HPackEncode, TableFollowsThePeerDownButNotAbove4096) {
  TzorHTTP2_HPACK encoder, decoder;
  TzorHTTP2_HeaderList list, decoded;
  for (int i = 0; i < 20; ++i) list.Add("x-field-" + std::to_string(i), std::string(40, 'a' + i));
  TzorByteBuffer out;
  encoder.EncodeHeaders(list, out);
  encoder.SetDynamicTableSizeLimit(256);
  EXPECT_EQ(encoder.DynamicTableSize(), 256u);
  EXPECT_LE(encoder.DynamicTableUsedSize(), 256u);
  decoder.SetDynamicTableSizeLimit(256);  // what this side announced
  for (int round = 0; round < 3; ++round) {
    out.Clear();
    encoder.EncodeHeaders(list, out);
    decoder.Decode(out.Span(), decoded);
    EXPECT_EQ(decoded, list);
    EXPECT_LE(encoder.DynamicTableSize(), 256u);
  }
  // A peer allowing more lets a nearly full table grow back, to 4096 at most.
  encoder.SetDynamicTableSizeLimit(65536);
  decoder.SetDynamicTableSizeLimit(65536);
  list.Clear();
  for (int i = 0; i < 60; ++i) list.Add("x-field-" + std::to_string(i), std::string(79, 'a' + i % 26));
  for (int round = 0; round < 40; ++round) {
    out.Clear();
    encoder.EncodeHeaders(list, out);
    decoder.Decode(out.Span(), decoded);
    ASSERT_EQ(decoded, list);
    EXPECT_LE(encoder.DynamicTableSize(), 4096u);
  }
  EXPECT_GT(encoder.DynamicTableSize(), 256u);
}

TEST(HPackEncode, AdaptiveTableHalvesAndGrowsBack) {
  TzorHTTP2_HPACK encoder;
  TzorByteBuffer out;
  std::vector<uint32_t> sizes;
  for (int i = 0; i < 200; ++i) {
    out.Clear();
    encoder.EncodeHeaders(List({{"x-n", std::to_string(i) + std::string(60, 'z')}}), out);
    if (sizes.empty() || sizes.back() != encoder.DynamicTableSize()) sizes.push_back(encoder.DynamicTableSize());
  }
  ASSERT_GE(sizes.size(), 3u);
  EXPECT_EQ(sizes[0], 4096u);
  EXPECT_EQ(sizes[1], 2048u);
  EXPECT_EQ(sizes[2], 4096u);
}

// An answer's fields repeat from block to block; whatever the table went
// through in between, the peer must decode each block to the list sent.
TEST(HPackEncode, RepeatedListsStayInStepWithTheTable) {
  TzorHTTP2_HPACK encoder, decoder;
  const TzorHTTP2_HeaderList answer = List({{":status", "200"}, {"content-type", "text/plain"}, {"server", "zor"}});
  TzorHTTP2_HeaderList secret = answer;
  secret.Add("authorization", "Bearer abc", true);
  TzorHTTP2_HeaderList decoded;
  TzorByteBuffer out;
  const auto roundTrip = [&](const TzorHTTP2_HeaderList& list) {
    out.Clear();
    encoder.EncodeHeaders(list, out);
    decoder.Decode(out.Span(), decoded);
    EXPECT_EQ(decoded, list);
    for (size_t i = 0; i < list.Count(); ++i) EXPECT_EQ(decoded.Sensitive(i), list.Sensitive(i)) << i;
    return Bytes(out);
  };
  roundTrip(answer);
  const TBytes indexed = roundTrip(answer);
  EXPECT_EQ(indexed, Hex("88 BF BE"));
  EXPECT_EQ(roundTrip(answer), indexed);
  roundTrip(List({{"x-other", "1"}}));  // moves the answer's entries down
  EXPECT_EQ(roundTrip(answer), Hex("88 C0 BF"));
  EXPECT_EQ(roundTrip(answer), Hex("88 C0 BF"));
  // The same names and values, but one may be indexed this time.
  EXPECT_EQ(roundTrip(secret), roundTrip(secret));
  const size_t entries = encoder.DynamicTableLength();
  TzorHTTP2_HeaderList plain = secret;
  plain.RemoveLast();
  plain.Add("authorization", "Bearer abc");
  roundTrip(plain);
  EXPECT_EQ(encoder.DynamicTableLength(), entries + 1);
  // A smaller table evicts entries; the block says so and refers to what is left.
  encoder.SetDynamicTableSize(64);
  EXPECT_EQ(roundTrip(answer).front(), 0x3F);
  roundTrip(answer);
  encoder.SetHuffmanStrategy(h2huAlways);
  encoder.SetDynamicTableSize(0);
  roundTrip(answer);
  EXPECT_EQ(roundTrip(answer), roundTrip(answer));
}

TEST(HPackHeaderList, LinesAndLookups) {
  TzorHTTP2_HeaderList list;
  list.AddLine(":status: 200");
  list.AddLine("Cache-Control:  no-cache ");
  list.AddLine("content-type:text/html; charset=utf-8");
  EXPECT_EQ(list.Text(), ":status=200\ncache-control=no-cache\ncontent-type=text/html; charset=utf-8\n");
  EXPECT_EQ(list.Find("cache-control").value_or("-"), "no-cache");
  EXPECT_FALSE(list.Find("Cache-Control"));
  EXPECT_EQ(list.HeaderListSize(), (7 + 3 + 32) + (13 + 8 + 32) + (12 + 24 + 32u));
}

}  // namespace
}  // namespace zor
