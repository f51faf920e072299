#include "pinecone/pinecone_options.h"
#include "pinecone/pinecone_requests.h"

#include <gtest/gtest.h>

#include "base/exceptions.h"

namespace zor {
namespace {

TEST(PineconeRequests, EndpointsAreFilledInUnchanged) {
  EXPECT_EQ(PineconeControllerURL("us-west4-gcp-free"), "https://controller.us-west4-gcp-free.pinecone.io");
  EXPECT_EQ(PineconeControllerURL(""), "https://controller..pinecone.io");
  EXPECT_EQ(PineconeIndexURL("zorindex", "abc123", "gcp-starter"), "https://zorindex-abc123.svc.gcp-starter.pinecone.io");
  EXPECT_EQ(PineconeIndexURL("a b", "", ""), "https://a b-.svc..pinecone.io");
}

TEST(PineconeRequests, HeaderLinesPerVerb) {
  using V = TzorPineconeVerb;
  EXPECT_EQ(PineconeHeaderLines(V::Get, "k1"), (std::vector<std::string>{"Api-Key: k1", "accept: application/json"}));
  EXPECT_EQ(PineconeHeaderLines(V::Post, "k1"),
            (std::vector<std::string>{"Api-Key: k1", "accept: application/json", "content-type: application/json"}));
  EXPECT_EQ(PineconeHeaderLines(V::Delete, ""), (std::vector<std::string>{"Api-Key: ", "accept: text/plain"}));
  EXPECT_EQ(PineconeHeaderLines(V::Patch, "k"),
            (std::vector<std::string>{"Api-Key: k", "accept: text/plain", "content-type: application/json"}));
}

TEST(PineconeRequests, EncodeParamValue) {
  EXPECT_EQ(EncodeParamValue("a b"), "a%20b");
  EXPECT_EQ(EncodeParamValue("x/y:z"), "x%2Fy%3Az");
  EXPECT_EQ(EncodeParamValue("a%20b"), "a%20b");
  EXPECT_EQ(EncodeParamValue("100%"), "100%25");
  EXPECT_EQ(EncodeParamValue("%4"), "%254");
  EXPECT_EQ(EncodeParamValue("%zz"), "%25zz");
  EXPECT_EQ(EncodeParamValue("é"), "%C3%A9");
  EXPECT_EQ(EncodeParamValue("😀"), "%F0%9F%98%80");
  EXPECT_EQ(EncodeParamValue("*<>#\"{}|\\^[]`+"), "%2A%3C%3E%23%22%7B%7D%7C%5C%5E%5B%5D%60%2B");
  EXPECT_EQ(EncodeParamValue("A-z_0.9~!$&'(),;=?@"), "A-z_0.9~!$&'(),;=?@");
  EXPECT_EQ(EncodeParamValue(std::string("\t\x7f\n", 3)), std::string("%09\x7f%0A", 7));
  EXPECT_EQ(EncodeParamValue(""), "");
}

TEST(PineconeRequests, FetchQuery) {
  EXPECT_EQ(PineconeFetchQuery({"a b", "x/y:z"}, ""), "?ids=a%20b&ids=x%2Fy%3Az");
  EXPECT_EQ(PineconeFetchQuery({}, "ns"), "?namespace=ns");
  EXPECT_EQ(PineconeFetchQuery({}, ""), "");
  EXPECT_EQ(PineconeFetchQuery({"1"}, "n s"), "?ids=1&namespace=n%20s");
}

TEST(PineconeOptions, DefaultsAndAssign) {
  TzorHTTPPinecone_Options options;
  EXPECT_EQ(options.ApiKey(), "");
  EXPECT_EQ(options.Environment(), "us-west4-gcp-free");
  EXPECT_FALSE(options.LogOptions().Enabled());
  EXPECT_EQ(options.LogOptions().FileName(), "");

  TzorHTTPPinecone_Options other;
  other.SetApiKey("key");
  other.SetEnvironment("gcp-starter");
  other.LogOptions().SetEnabled(true);
  other.LogOptions().SetFileName("/tmp/a.log");
  TzorHTTPPineconeLog_Options& log = options.LogOptions();
  options.Assign(other);
  EXPECT_EQ(&log, &options.LogOptions()) << "the owned log options object is kept";
  EXPECT_EQ(options.ApiKey(), "key");
  EXPECT_EQ(options.Environment(), "gcp-starter");
  EXPECT_TRUE(options.LogOptions().Enabled());
  EXPECT_EQ(options.LogOptions().FileName(), "/tmp/a.log");
  other.SetApiKey("changed");
  other.LogOptions().SetFileName("/tmp/b.log");
  EXPECT_EQ(options.ApiKey(), "key");
  EXPECT_EQ(options.LogOptions().FileName(), "/tmp/a.log");

  TzorHTTPPineconeLog_Options plain_log;
  options.SetLogOptions(plain_log);
  EXPECT_FALSE(options.LogOptions().Enabled());
}

TEST(PineconeOptions, UnrelatedSourcesFail) {
  TzorHTTPPinecone_Options options;
  TzorHTTPPineconeLog_Options log;
  try {
    options.Assign(log);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TzorHTTPPineconeLog_Options to a TzorHTTPPinecone_Options");
  }
  try {
    log.Assign(options);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TzorHTTPPinecone_Options to a TzorHTTPPineconeLog_Options");
  }
}

}  // namespace
}  // namespace zor
