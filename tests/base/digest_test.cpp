#include "base/digest.h"
#include "base/random.h"
#include "base/sha2_builtin.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

std::string Hex(const TBytes& b) { return BytesToHexText(b.data(), b.size()); }
template <size_t N>
std::string Hex(const std::array<uint8_t, N>& b) { return BytesToHexText(b.data(), N); }
TBytes Bytes(std::string_view s) { return TBytes(s.begin(), s.end()); }

struct Vector {
  std::string message;
  std::string sha256, sha384, sha512;
};

// FIPS 180-4 example messages ("abc", the empty message, the two-block ones)
// and one million "a".
const Vector kVectors[] = {
    {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD",
     "CB00753F45A35E8BB5A03D699AC65007272C32AB0EDED1631A8B605A43FF5BED8086072BA1E7CC2358BAECA134C825A7",
     "DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A2192992A274FC1A836BA3C23A3FEEBBD"
     "454D4423643CE80E2A9AC94FA54CA49F"},
    {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855",
     "38B060A751AC96384CD9327EB1B1E36A21FDB71114BE07434C0CC7BF63F6E1DA274EDEBFE76F65FBD51AD2F14898B95B",
     "CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE47D0D13C5D85F2B0FF8318D2877EEC2F"
     "63B931BD47417A81A538327AF927DA3E"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1",
     "3391FDDDFC8DC7393707A65B1B4709397CF8B1D162AF05ABFE8F450DE5F36BC6B0455A8520BC4E6F5FE95B1FE3C8452B",
     "204A8FC6DDA82F0A0CED7BEB8E08A41657C16EF468B228A8279BE331A703C33596FD15C13B1B07F9AA1D3BEA57789CA0"
     "31AD85C7A71DD70354EC631238CA3445"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "CF5B16A778AF8380036CE59E7B0492370B249B11E8F07A51AFAC45037AFEE9D1",
     "09330C33F71147E83D192FC782CD1B4753111B173B3B05D22FA08086E3B0F712FCC7C71A557E2DB966C3E9FA91746039",
     "8E959B75DAE313DA8CF4F72814FC143F8F7779C6EB9F7FA17299AEADB6889018501D289E4900F7E4331B99DEC4B5433A"
     "C7D329EEB6DD26545E96E55B874BE909"},
    {std::string(1000000, 'a'), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0",
     "9D0E1809716474CB086E834E310A4A1CED149E9C00F248527972CEC5704C2A5B07B8B3DC38ECC4EBAE97DDD87F3D8985",
     "E718483D0CE769644E2E42C7BC15B4638E1F98B13B2044285632A803AFA973EBDE0FF244877EA60A4CB0432CE577C31B"
     "EB009C5C2C49AA2E4EADB217AD8CC09B"},
};

TEST(SHA2, FipsExamplesFromBothProviders) {
  for (const auto& v : kVectors) {
    const TBytes m = Bytes(v.message);
    SCOPED_TRACE(v.message.substr(0, 20));
    EXPECT_EQ(Hex(HashSHA256(m)), v.sha256);
    EXPECT_EQ(Hex(HashSHA384(m)), v.sha384);
    EXPECT_EQ(Hex(HashSHA512(m)), v.sha512);
    EXPECT_EQ(Hex(BuiltinSHA256(m.data(), m.size())), v.sha256);
    EXPECT_EQ(Hex(BuiltinSHA384(m.data(), m.size())), v.sha384);
    EXPECT_EQ(Hex(BuiltinSHA512(m.data(), m.size())), v.sha512);
  }
}

// Every length around the block and padding boundaries, random bytes including
// values above 127.
TEST(SHA2, BuiltinEqualsOpenSSLOverManyLengths) {
  TBytes data(1100);
  RandomBytes(data.data(), data.size());
  for (size_t len = 0; len <= data.size(); len += (len < 300 ? 1 : 37)) {
    const TBytes m(data.begin(), data.begin() + static_cast<long>(len));
    ASSERT_EQ(Hex(HashSHA256(m)), Hex(BuiltinSHA256(m.data(), len))) << len;
    ASSERT_EQ(Hex(HashSHA384(m)), Hex(BuiltinSHA384(m.data(), len))) << len;
    ASSERT_EQ(Hex(HashSHA512(m)), Hex(BuiltinSHA512(m.data(), len))) << len;
  }
}

TEST(Digest, SHA1AndMD5) {
  const TBytes abc = Bytes("abc");
  EXPECT_EQ(Hex(HashSHA1(abc.data(), abc.size())), "A9993E364706816ABA3E25717850C26C9CD0D89D");
  EXPECT_EQ(MD5HexOfHexText("616263"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(MD5HexOfHexText(""), "D41D8CD98F00B204E9800998ECF8427E");
}

TEST(Random, GuidTextIsThirtyTwoUpperHexDigitsAndUnique) {
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string g = NewGuidText();
    ASSERT_EQ(g.size(), 32u);
    ASSERT_EQ(g.find_first_not_of("0123456789ABCDEF"), std::string::npos) << g;
    EXPECT_EQ(g[12], '4');  // version 4
    seen.insert(g);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

}  // namespace
}  // namespace zor
