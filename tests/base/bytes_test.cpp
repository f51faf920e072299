#include "base/bytes.h"
#include "base/digest.h"
#include "base/exceptions.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

TEST(Base64, Rfc4648Section10) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},         {"f", "Zg=="},        {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"foob" "a", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : cases) {
    EXPECT_EQ(EncodeBase64(plain), encoded);
    EXPECT_EQ(DecodeBase64(encoded), plain);
    EXPECT_EQ(EncodeBase64Text(plain, true), encoded);
    EXPECT_EQ(DecodeBase64Text(encoded), plain);
  }
}

TEST(Base64, AllByteValuesRoundTrip) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(DecodeBase64(EncodeBase64(all)), all);
  EXPECT_EQ(EncodeBase64("\xFB\xFF"), "+/8=");
}

TEST(Base64, TextFormsByEncoding) {
  // UTF-8 bytes of "é" are C3 A9; its single-byte form is E9.
  EXPECT_EQ(EncodeBase64Text("\xC3\xA9", true), "w6k=");
  EXPECT_EQ(EncodeBase64Text("\xC3\xA9", false), "6Q==");
  // Decoded bytes become characters of the same code.
  EXPECT_EQ(DecodeBase64Text("6Q=="), "\xC3\xA9");
}

TEST(Hex, PairsFromTheStartOddDigitIgnored) {
  EXPECT_EQ(HexTextToBytes("0a1"), TBytes{10});
  EXPECT_EQ(HexTextToBytes("FFfe00"), (TBytes{0xFF, 0xFE, 0x00}));
  EXPECT_TRUE(HexTextToBytes("").empty());
  EXPECT_EQ(HexTextToChars("41e9"), "A\xC3\xA9");
  EXPECT_THROW(HexTextToBytes("0g"), EConvertError);
  try {
    HexTextToBytes("12zz");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'$zz' is not a valid integer value");
  }
}

TEST(Hex, HexDigestToBase64) {
  const TBytes abc{'a', 'b', 'c'};
  const TBytes sha1 = HashSHA1(abc.data(), abc.size());
  const std::string b64 = HexToBase64(BytesToHexText(sha1.data(), sha1.size()));
  EXPECT_EQ(b64.size(), 28u);
  EXPECT_EQ(b64, "qZk+NkcGgWq6PiVxeFDCbJzQ2J0=");
}

TEST(Bytes, Conversions) {
  EXPECT_EQ(BytesToUTF8Text(TBytes{'a', 0xC3, 0xA9, 0xFF, 'b'}), "a\xC3\xA9\xEF\xBF\xBD" "b");
  EXPECT_EQ(BytesToText(TBytes{'a', 0xC3, 'b'}), "a?b");
  EXPECT_EQ(UTF8TextToBytes("\xC3\xA9"), (TBytes{0xC3, 0xA9}));

  TBytes dest{1, 2};
  AppendBytes({}, dest);
  EXPECT_EQ(dest, (TBytes{1, 2}));
  AppendBytes({3}, dest);
  EXPECT_EQ(dest, (TBytes{1, 2, 3}));

  uint8_t buf[3] = {9, 9, 9};
  MoveBytes(dest.data(), buf, 0);
  MoveBytes(dest.data(), buf, -5);
  EXPECT_EQ(buf[0], 9);
  MoveBytes(dest.data(), buf, 2);
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(buf[1], 2);
  EXPECT_EQ(buf[2], 9);
}

}  // namespace
}  // namespace zor
