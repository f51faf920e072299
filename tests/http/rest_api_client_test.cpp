// The REST API client base: one fresh client per call, its request bytes and
// the error path.
#include <gtest/gtest.h>

#include "http/http_exceptions.h"
#include "http/rest_api_client.h"
#include "tests/http/scripted_transport.h"

namespace zor {
namespace {

using testing::ScriptedHTTP;
using testing::ScriptedServer;

class ScriptedAPI : public TzorHTTPAPI_client {
 public:
  ScriptedServer server;

 protected:
  std::unique_ptr<TzorIdHTTP> CreateClient() override { return std::make_unique<ScriptedHTTP>(server); }
};

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

const std::string kUnauthorized =
    "HTTP/1.1 401 Unauthorized\r\nContent-Length: 22\r\n\r\n{\"message\":\"bad key\"}\n";

TEST(RESTClient, EveryCallIsAFreshClientWithTheCallersLines) {
  ScriptedAPI api;
  const TzorHeaderLines headers{"Api-Key: k", "accept: application/json", "content-type: application/json"};
  api.server.responses = {Ok("[]"), Ok("{\"r\":\"\xC3\xA9\"}"), Ok("{}"), Ok("{}"), Ok("{}"), Ok("{}"), Ok("{}")};
  EXPECT_EQ(api.Get("https://svc.example/databases", &headers), "[]");
  EXPECT_EQ(api.server.connections[0]->received,
            "GET /databases HTTP/1.1\r\nHost: svc.example\r\n"
            "User-Agent: Mozilla/5.0 (zorWebSockets 2023.6.0)\r\n"
            "Api-Key: k\r\naccept: application/json\r\ncontent-type: application/json\r\n\r\n");
  EXPECT_TRUE(api.server.connections[0]->endpoint.tls);

  EXPECT_EQ(api.Post("https://svc.example/q", "{\"t\":\"\xE2\x82\xAC\"}", &headers), "{\"r\":\"\xC3\xA9\"}");
  const std::string& post = api.server.connections[1]->received;
  EXPECT_EQ(post.substr(0, 25), "POST /q HTTP/1.0\r\nHost: s");
  EXPECT_NE(post.find("Content-Length: 11\r\n"), std::string::npos);
  EXPECT_EQ(post.substr(post.size() - 11), "{\"t\":\"\xE2\x82\xAC\"}");

  api.Post("https://svc.example/q", "{}", &headers, nullptr, true);
  EXPECT_EQ(api.server.connections[2]->received.substr(0, 18), "POST /q HTTP/1.1\r\n");

  api.Delete("https://svc.example/d", nullptr);
  EXPECT_EQ(api.server.connections[3]->received.find("Content-Length"), std::string::npos);
  api.Delete("https://svc.example/d", nullptr, "{\"ids\":[]}");
  EXPECT_EQ(api.server.connections[4]->received.substr(api.server.connections[4]->received.size() - 14),
            "\r\n\r\n{\"ids\":[]}");
  api.Patch("https://svc.example/p", "{\"a\":1}", nullptr);
  EXPECT_EQ(api.server.connections[5]->received.substr(0, 19), "PATCH /p HTTP/1.1\r\n");
  api.Put("https://svc.example/p", "{}", nullptr);
  EXPECT_EQ(api.server.connections[6]->received.substr(0, 17), "PUT /p HTTP/1.1\r\n");
  EXPECT_EQ(api.server.connections.size(), 7u);
}

TEST(RESTClient, ErrorStatusMessageCarriesTheBody) {
  ScriptedAPI api;
  api.server.responses = {kUnauthorized};
  try {
    api.Get("https://svc.example/x", nullptr);
    FAIL() << "no error";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.Message(), "HTTP/1.1 401 Unauthorized. {\"message\":\"bad key\"}\n");
    EXPECT_EQ(e.ErrorCode(), 401);
  }
}

TEST(RESTClient, TheEventTakesErrorsOver) {
  ScriptedAPI api;
  std::vector<std::string> seen;
  api.OnHTTPAPIException = [&](TzorComponent_Base* sender, const std::exception& e) {
    EXPECT_EQ(sender, &api);
    EXPECT_NE(dynamic_cast<const EIdHTTPProtocolException*>(&e), nullptr);
    seen.push_back(e.what());
  };
  api.server.responses = {kUnauthorized};
  EXPECT_EQ(api.Post("https://svc.example/x", "{}", nullptr), "");
  api.OnHTTPAPIException = [&](TzorComponent_Base*, const std::exception& e) { seen.push_back(e.what()); };
  api.server.refuse = true;
  EXPECT_EQ(api.Get("https://svc.example/x", nullptr), "");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], "HTTP/1.1 401 Unauthorized. {\"message\":\"bad key\"}\n");
  EXPECT_EQ(seen[1], "Connection refused");
  // Still usable after failures.
  api.server.refuse = false;
  api.server.responses = {Ok("1")};
  EXPECT_EQ(api.Get("https://svc.example/x", nullptr), "1");
}

TEST(RESTClient, MultipartPostAndConnectTo) {
  ScriptedAPI api;
  api.ConnectTo().push_back({"svc.example", 0, "127.0.0.1", 8443});
  api.server.responses = {Ok("up")};
  TzorMultipartFormData form;
  form.AddFormField("a", "b");
  EXPECT_EQ(api.Post("https://svc.example/f", "ignored", nullptr, &form), "up");
  const auto& c = *api.server.connections[0];
  EXPECT_EQ(c.endpoint.connect_host, "127.0.0.1");
  EXPECT_EQ(c.endpoint.connect_port, 8443);
  EXPECT_NE(c.received.find("Content-Type: " + form.ContentType()), std::string::npos);
  EXPECT_EQ(c.received.find("ignored"), std::string::npos);
}

}  // namespace
}  // namespace zor
