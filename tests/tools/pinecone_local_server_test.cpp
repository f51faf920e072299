#include "tools/pinecone-local/pinecone_local.h"

#include <gtest/gtest.h>

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

namespace zor {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

// A plain Beast client on one TLS connection, sending requests under the
// service's host names to 127.0.0.1.
class Connection {
 public:
  explicit Connection(uint16_t port) : tls_(asio::ssl::context::tls_client), stream_(io_, tls_) {
    beast::get_lowest_layer(stream_).connect({asio::ip::address_v4::loopback(), port});
    stream_.handshake(asio::ssl::stream_base::client);
  }

  http::response<http::string_body> Send(http::verb verb, const std::string& host, const std::string& target,
                                         const std::string& key, const std::string& body = "") {
    http::request<http::string_body> request(verb, target, 11);
    request.set(http::field::host, host);
    request.set("Api-Key", key);
    request.body() = body;
    request.prepare_payload();
    http::write(stream_, request);
    http::response<http::string_body> response;
    http::read(stream_, buffer_, response);
    return response;
  }

 private:
  asio::io_context io_;
  asio::ssl::context tls_;
  beast::ssl_stream<beast::tcp_stream> stream_;
  beast::flat_buffer buffer_;
};

TEST(PineconeLocalServer, ServesOverTlsUntilStopped) {
  TzorPineconeLocal service;
  EXPECT_FALSE(service.Active());
  service.Start("key");
  ASSERT_TRUE(service.Active());
  const uint16_t port = service.Port();
  ASSERT_NE(port, 0);

  {
    Connection connection(port);
    auto refused = connection.Send(http::verb::get, "controller.env.pinecone.io", "/databases", "other");
    EXPECT_EQ(refused.result_int(), 401);
    // The same connection carries on after an error.
    auto created = connection.Send(http::verb::post, "controller.env.pinecone.io", "/databases", "key",
                                   R"({"name":"idx","dimension":2})");
    EXPECT_EQ(created.result_int(), 201);
    auto listed = connection.Send(http::verb::get, "controller.env.pinecone.io", "/databases", "key");
    EXPECT_EQ(listed.result_int(), 200);
    EXPECT_EQ(listed.body(), R"(["idx"])");
    EXPECT_EQ(listed[http::field::content_type], "application/json");
    auto upserted = connection.Send(http::verb::post, "idx-p.svc.env.pinecone.io", "/vectors/upsert", "key",
                                    R"({"vectors": [{"id":"a","values":[1,2]}]})");
    EXPECT_EQ(upserted.body(), R"({"upsertedCount":1})");
  }

  service.Stop();
  EXPECT_FALSE(service.Active());
  EXPECT_THROW(Connection{port}, boost::system::system_error);

  // A restart starts empty.
  service.Start("key", 0);
  Connection again(service.Port());
  EXPECT_EQ(again.Send(http::verb::get, "controller.env.pinecone.io", "/databases", "key").body(), "[]");
}

TEST(PineconeLocalServer, BusyPortIsReported) {
  TzorPineconeLocal first;
  first.Start("key");
  TzorPineconeLocal second;
  EXPECT_THROW(second.Start("key", first.Port()), std::exception);
  EXPECT_FALSE(second.Active());
}

}  // namespace
}  // namespace zor
