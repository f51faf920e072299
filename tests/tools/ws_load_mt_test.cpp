// The echo load client counts only echoes that come back whole and in order:
// against a stand-in server that echoes honestly (in small pieces, so that
// echoes arrive split and joined) and against ones that lose, reorder or
// corrupt a message.
#include <gtest/gtest.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tools/ws-load/ws_load.h"

namespace zor {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

enum class Fault { none, drop, swap, flip };

// Accepts `connections` sockets, answers each upgrade with a bare 101 and
// echoes its binary frames unmasked, with `fault` done to the sixth message.
class EchoStandIn {
 public:
  EchoStandIn(int connections, Fault fault) : acceptor_(io_, {asio::ip::make_address("127.0.0.1"), 0}) {
    acceptor_thread_ = std::thread([this, connections, fault] {
      for (int i = 0; i < connections; ++i) {
        auto socket = std::make_shared<tcp::socket>(io_);
        boost::system::error_code ec;
        acceptor_.accept(*socket, ec);
        if (ec) return;
        serving_.emplace_back([socket, fault] { Serve(*socket, fault); });
      }
    });
  }
  ~EchoStandIn() {
    acceptor_thread_.join();
    for (auto& t : serving_) t.join();
  }
  uint16_t Port() const { return acceptor_.local_endpoint().port(); }

 private:
  static void Serve(tcp::socket& socket, Fault fault) {
    try {
      asio::streambuf head;
      asio::read_until(socket, head, "\r\n\r\n");
      asio::write(socket, asio::buffer(std::string("HTTP/1.1 101 Switching Protocols\r\n\r\n")));
      std::string held;
      for (int index = 0;; ++index) {
        std::string echo = ReadEcho(socket);
        if (index == 5 && fault == Fault::drop) continue;
        if (index == 5 && fault == Fault::swap) {
          held = echo;
          continue;
        }
        if (index == 5 && fault == Fault::flip) echo.back() ^= 1;
        echo += held;
        held.clear();
        // Small pieces: the client must join echoes split across reads.
        for (size_t at = 0; at < echo.size(); at += 100)
          asio::write(socket, asio::buffer(echo.data() + at, std::min<size_t>(100, echo.size() - at)));
      }
    } catch (const boost::system::system_error&) {
      // The client closed the connection: the run is over.
    }
  }

  // One masked client frame, returned as the server's unmasked frame.
  static std::string ReadEcho(tcp::socket& socket) {
    uint8_t header[2];
    asio::read(socket, asio::buffer(header));
    size_t length = header[1] & 0x7f;
    std::string echo(reinterpret_cast<char*>(header), 2);
    echo[1] = static_cast<char>(length);
    if (length == 126) {
      uint8_t extended[2];
      asio::read(socket, asio::buffer(extended));
      length = static_cast<size_t>(extended[0]) << 8 | extended[1];
      echo.append(reinterpret_cast<char*>(extended), 2);
    }
    uint8_t key[4];
    asio::read(socket, asio::buffer(key));
    std::string payload(length, '\0');
    asio::read(socket, asio::buffer(payload));
    for (size_t i = 0; i < length; ++i) payload[i] = static_cast<char>(payload[i] ^ key[i % 4]);
    return echo + payload;
  }

  asio::io_context io_;
  tcp::acceptor acceptor_;
  std::thread acceptor_thread_;
  std::vector<std::thread> serving_;
};

TzorWSLoadResult RunAgainst(Fault fault, int inFlight, size_t size) {
  TzorWSLoadOptions options;
  options.Connections = 3;
  options.MessageSize = size;
  options.Seconds = 1;
  options.InFlight = inFlight;
  options.Threads = 2;
  EchoStandIn server(options.Connections, fault);
  options.Port = server.Port();
  return RunWSLoad(options);
}

TEST(WSLoad, CountsWholeEchoesOneAtATimeAndPipelined) {
  for (const int inFlight : {1, 16}) {
    for (const size_t size : {size_t{3}, size_t{512}}) {
      const TzorWSLoadResult r = RunAgainst(Fault::none, inFlight, size);
      EXPECT_EQ(r.Failures, 0u) << inFlight << " in flight, " << size << " bytes";
      EXPECT_EQ(r.Connected, 3);
      EXPECT_GT(r.Messages, 0u);
    }
  }
}

TEST(WSLoad, FailsConnectionsWhoseEchoIsLostReorderedOrCorrupted) {
  for (const Fault fault : {Fault::drop, Fault::swap, Fault::flip}) {
    const TzorWSLoadResult r = RunAgainst(fault, 8, 512);
    EXPECT_EQ(r.Failures, 3u) << "fault " << static_cast<int>(fault);
  }
  // With one message in flight a corrupted echo is caught as well.
  EXPECT_EQ(RunAgainst(Fault::flip, 1, 512).Failures, 3u);
}

}  // namespace
}  // namespace zor
