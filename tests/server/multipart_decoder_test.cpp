// The multipart decoder: the same parts whatever the pieces the body comes
// in, boundary look-alikes inside parts, and bodies it refuses.
#include "server/multipart_decoder.h"

#include <gtest/gtest.h>

#include "websocket/ws_types.h"

namespace zor {
namespace {

const std::string kBody =
    "preamble to ignore\r\n"
    "--XyZ\r\n"
    "Content-Disposition: form-data; name=\"field\"\r\n\r\n"
    "value with \r\n--XyNot a boundary\r\n"
    "--XyZ  \r\n"  // padding after a boundary is allowed
    "Content-Disposition: form-data; name=\"file\"; filename=\"../dir\\\\a;b.txt\"\r\n"
    "Content-Type: text/plain\r\n\r\n"
    "line1\r\nline2\r\n"
    "--XyZ\r\n"
    "Content-Disposition: form-data; name=\"empty\"; filename=\"\"\r\n\r\n"
    "\r\n--XyZ\r\n"
    "\r\nno head\r\n"
    "--XyZ--\r\nepilogue";

// What the events said, one line per event.
std::vector<std::string> Decode(const std::vector<std::string_view>& pieces) {
  std::vector<std::string> events;
  TzorHTTPMultipartFormDataDecoder decoder(MultipartBoundary("multipart/form-data; boundary=\"XyZ\""));
  decoder.OnPartBegin = [&](const TzorMultipartPart& p) {
    events.push_back("begin " + p.Name + (p.IsFile ? " file=" + p.FileName : "") + " " + p.ContentType);
    events.emplace_back();
  };
  decoder.OnPartData = [&](const TzorMultipartPart&, std::string_view bytes) { events.back() += bytes; };
  decoder.OnPartEnd = [&](const TzorMultipartPart& p) { events.push_back("end " + p.Name); };
  for (std::string_view piece : pieces) decoder.Put(piece);
  decoder.Finish();
  return events;
}

TEST(MultipartDecoder, PartsAreTheSameForEverySplit) {
  const std::vector<std::string> expected = {
      "begin field ",  "value with \r\n--XyNot a boundary",
      "end field",     "begin file file=../dir\\\\a;b.txt text/plain",
      "line1\r\nline2", "end file",
      "begin empty file= ", "",
      "end empty",     "begin  ",
      "no head",       "end ",
  };
  EXPECT_EQ(Decode({kBody}), expected);
  const std::string_view body = kBody;
  for (size_t cut = 0; cut <= body.size(); ++cut)
    ASSERT_EQ(Decode({body.substr(0, cut), body.substr(cut)}), expected) << cut;
  for (size_t a = 0; a <= body.size(); a += 7)
    for (size_t b = a; b <= body.size(); b += 5)
      ASSERT_EQ(Decode({body.substr(0, a), body.substr(a, b - a), body.substr(b)}), expected) << a << " " << b;
  std::vector<std::string_view> bytes;
  for (size_t i = 0; i < body.size(); ++i) bytes.push_back(body.substr(i, 1));
  EXPECT_EQ(Decode(bytes), expected);
}

TEST(MultipartDecoder, MalformedBodiesAreRefused) {
  auto decode = [](const std::string& body, size_t maxHead = 100) {
    TzorHTTPMultipartFormDataDecoder decoder("b", maxHead);
    decoder.Put(body);
    decoder.Finish();
  };
  EXPECT_THROW(decode("--b\r\nContent-Disposition: form-data\r\n\r\nno end"), TzorWSException);
  EXPECT_THROW(decode("no boundary at all"), TzorWSException);
  EXPECT_THROW(decode("--bX\r\n\r\n--b--"), TzorWSException);  // garbage after a boundary
  EXPECT_THROW(decode("--b\r\nNo colon\r\n\r\nx\r\n--b--"), TzorWSException);
  EXPECT_THROW(decode("--b\r\nX: " + std::string(200, 'a')), TzorWSException);  // head beyond its bound
  EXPECT_THROW(decode("--b" + std::string(300, ' ')), TzorWSException);
  EXPECT_THROW(TzorHTTPMultipartFormDataDecoder(""), TzorWSException);
  EXPECT_NO_THROW(decode("--b--"));
  EXPECT_EQ(MultipartBoundary("multipart/form-data"), "");
  EXPECT_EQ(MultipartBoundary("multipart/form-data; charset=x; BOUNDARY=abc"), "abc");
}

}  // namespace
}  // namespace zor
