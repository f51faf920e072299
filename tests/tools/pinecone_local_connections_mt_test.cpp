// How the local service treats its connections: requests split or pipelined,
// closing, oversized and broken input, clients that vanish, and Stop while
// clients are still connected (a client thread against the server's).
#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <thread>

#include "tools/pinecone-local/pinecone_local.h"

namespace zor {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

constexpr const char* kController = "controller.env.pinecone.io";

std::string Get(const std::string& target, const std::string& extra_headers = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: " + kController + "\r\nApi-Key: key\r\n" + extra_headers + "\r\n";
}

std::string Post(const std::string& target, const std::string& body, const std::string& extra_headers = "") {
  return "POST " + target + " HTTP/1.1\r\nHost: " + kController + "\r\nApi-Key: key\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n" + extra_headers + "\r\n" + body;
}

// A client that writes raw bytes, over TLS or (without handshake) plain TCP.
class RawClient {
 public:
  explicit RawClient(uint16_t port, bool handshake = true) : tls_(asio::ssl::context::tls_client), stream_(io_, tls_) {
    beast::get_lowest_layer(stream_).connect({asio::ip::address_v4::loopback(), port});
    if (handshake) stream_.handshake(asio::ssl::stream_base::client);
    secure_ = handshake;
  }

  void Send(std::string_view bytes) {
    if (secure_) {
      asio::write(stream_, asio::buffer(bytes));
    } else {
      asio::write(beast::get_lowest_layer(stream_), asio::buffer(bytes));
    }
  }

  http::response<http::string_body> Read() {
    http::response<http::string_body> response;
    http::read(stream_, buffer_, response);
    return response;
  }

  // What arrives until the server ends the connection. A server that keeps
  // it open fails the test instead of hanging it.
  std::string RestUntilClosed() {
    std::string rest = beast::buffers_to_string(buffer_.data());
    buffer_.clear();
    bool closed = false;
    std::array<char, 4096> chunk;
    std::function<void()> next = [&] {
      auto on_read = [&](beast::error_code ec, size_t n) {
        rest.append(chunk.data(), n);
        if (ec) {
          closed = true;
        } else {
          next();
        }
      };
      if (secure_) {
        stream_.async_read_some(asio::buffer(chunk), on_read);
      } else {
        beast::get_lowest_layer(stream_).async_read_some(asio::buffer(chunk), on_read);
      }
    };
    next();
    io_.restart();
    io_.run_for(std::chrono::seconds(30));
    if (!closed) {
      ADD_FAILURE() << "the server kept the connection open";
      beast::get_lowest_layer(stream_).close();
      io_.restart();
      io_.run();
    }
    return rest;
  }

  // Gone without a word: no TLS close notification.
  void Vanish() { beast::get_lowest_layer(stream_).socket().close(); }

 private:
  asio::io_context io_;
  asio::ssl::context tls_;
  beast::ssl_stream<beast::tcp_stream> stream_;
  beast::flat_buffer buffer_;
  bool secure_ = false;
};

class LocalConnections : public testing::Test {
 protected:
  void SetUp() override { service_.Start("key"); }

  // The service still answers a fresh client.
  void ExpectServing() {
    RawClient client(service_.Port());
    client.Send(Get("/databases"));
    EXPECT_EQ(client.Read().result_int(), 200);
  }

  TzorPineconeLocal service_;
};

TEST_F(LocalConnections, SplitAndPipelinedRequestsAreAnsweredInOrder) {
  RawClient client(service_.Port());
  // One request dribbled in a few bytes at a time.
  const std::string create = Post("/databases", R"({"name":"idx","dimension":2})");
  for (size_t at = 0; at < create.size(); at += 7) client.Send(std::string_view(create).substr(at, 7));
  EXPECT_EQ(client.Read().result_int(), 201);

  // Three at once, the last one split from its body.
  const std::string again = Post("/databases", R"({"name":"idx","dimension":2})");
  client.Send(Get("/databases") + Get("/databases/missing") + again.substr(0, again.size() - 5));
  auto listed = client.Read();
  EXPECT_EQ(listed.result_int(), 200);
  EXPECT_EQ(listed.body(), R"(["idx"])");
  EXPECT_EQ(listed[http::field::content_type], "application/json");
  EXPECT_EQ(client.Read().result_int(), 404);
  client.Send(again.substr(again.size() - 5));
  EXPECT_EQ(client.Read().result_int(), 409);
}

TEST_F(LocalConnections, ConnectionCloseEndsAfterTheAnswer) {
  RawClient client(service_.Port());
  client.Send(Get("/databases", "Connection: close\r\n") + Get("/databases"));
  auto answer = client.Read();
  EXPECT_EQ(answer.result_int(), 200);
  EXPECT_FALSE(answer.keep_alive());
  EXPECT_EQ(client.RestUntilClosed(), "");  // the pipelined second request is not answered

  RawClient old(service_.Port());
  old.Send("GET /databases HTTP/1.0\r\nHost: controller.env.pinecone.io\r\nApi-Key: key\r\n\r\n");
  EXPECT_EQ(old.Read().result_int(), 200);
  EXPECT_EQ(old.RestUntilClosed(), "");
}

TEST_F(LocalConnections, ExpectContinueIsAnsweredBeforeTheBody) {
  RawClient client(service_.Port());
  const std::string body = R"({"name":"idx","dimension":2})";
  const std::string request = Post("/databases", body, "Expect: 100-continue\r\n");
  client.Send(request.substr(0, request.size() - body.size()));
  EXPECT_EQ(client.Read().result_int(), 100);
  client.Send(body);
  EXPECT_EQ(client.Read().result_int(), 201);
}

TEST_F(LocalConnections, OversizedRequestsAreRefusedAndClosed) {
  RawClient long_header(service_.Port());
  long_header.Send(Get("/databases", "X-Filler: " + std::string(20 * 1024, 'a') + "\r\n"));
  auto refused = long_header.Read();
  EXPECT_EQ(refused.result_int(), 431);
  EXPECT_FALSE(refused.keep_alive());
  EXPECT_EQ(long_header.RestUntilClosed(), "");

  // Refused from the announced length alone, before any of the body is sent.
  RawClient long_body(service_.Port());
  long_body.Send("POST /databases HTTP/1.1\r\nHost: controller.env.pinecone.io\r\nApi-Key: key\r\n"
                 "Content-Length: 67108865\r\n\r\n");
  EXPECT_EQ(long_body.Read().result_int(), 413);
  EXPECT_EQ(long_body.RestUntilClosed(), "");
  ExpectServing();
}

TEST_F(LocalConnections, GarbageIsRefusedWithoutHarm) {
  RawClient tls_garbage(service_.Port());
  tls_garbage.Send("\x01\x02 NOT HTTP\r\n\r\n");
  auto refused = tls_garbage.Read();
  EXPECT_EQ(refused.result_int(), 400);
  EXPECT_FALSE(refused.keep_alive());
  EXPECT_EQ(tls_garbage.RestUntilClosed(), "");

  RawClient plain(service_.Port(), false);
  plain.Send(Get("/databases"));
  const std::string answer = plain.RestUntilClosed();
  EXPECT_EQ(answer.find("HTTP/1.1"), std::string::npos);  // at most a TLS alert
  ExpectServing();
}

TEST_F(LocalConnections, ClientsVanishingMidRequestLeaveTheServiceServing) {
  {
    RawClient half_body(service_.Port());
    const std::string create = Post("/databases", R"({"name":"idx","dimension":2})");
    half_body.Send(create.substr(0, create.size() - 10));
    half_body.Vanish();
  }
  {
    RawClient mid_handshake(service_.Port(), false);
    mid_handshake.Send(std::string("\x16\x03\x01\x02\x00\x01", 6));  // a ClientHello cut short
    mid_handshake.Vanish();
  }
  ExpectServing();
}

TEST_F(LocalConnections, StopClosesOpenConnections) {
  RawClient idle(service_.Port());
  RawClient mid_request(service_.Port());
  mid_request.Send(Post("/databases", R"({"name":"idx","dimension":2})").substr(0, 60));
  RawClient no_handshake(service_.Port(), false);

  // A client thread keeps requests going while the service stops under it.
  std::atomic<int> answered{0};
  std::atomic<bool> ended{false};
  std::thread busy([port = service_.Port(), &answered, &ended] {
    try {
      RawClient client(port);
      for (;;) {
        client.Send(Get("/databases"));
        if (client.Read().result_int() == 200) ++answered;
      }
    } catch (const std::exception&) {
      // The service stopped.
    }
    ended = true;
  });
  while (answered < 3 && !ended) std::this_thread::yield();
  EXPECT_GE(answered, 3);
  service_.Stop();
  busy.join();
  idle.RestUntilClosed();
  mid_request.RestUntilClosed();
  no_handshake.RestUntilClosed();

  service_.Start("key");
  ExpectServing();
}

}  // namespace
}  // namespace zor
