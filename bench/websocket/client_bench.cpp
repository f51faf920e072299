// Client round trips of 512-byte binary messages against a Node "ws" echo
// server on loopback: our client (its IO thread included in the CPU time)
// next to Boost.Beast's synchronous websocket client against the same server.
// CPU time is the whole process's: divided by the batch it is the client's
// CPU per message sent and received, also split into user and system time.
#include <benchmark/benchmark.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sys/resource.h>

#include "tests/interop/peer_process.h"
#include "websocket/ws_client.h"

namespace {

constexpr size_t kMessageSize = 512;

// One echo server for the whole program.
uint16_t EchoServerPort() {
  static std::unique_ptr<zor::test::PeerProcess> server;
  static uint16_t port = 0;
  if (!server) {
    port = zor::test::FreeLoopbackPort();
    server = std::make_unique<zor::test::PeerProcess>(
        std::vector<std::string>{"node", std::string(ZOR_SOURCE_DIR) + "/tests/interop/websocket_client/peers/node_ws_server.mjs",
                                 std::to_string(port), "--quiet"},
        "/dev/null");
    if (!zor::test::WaitForPort(port)) throw std::runtime_error("the echo server did not start");
  }
  return port;
}

// Each iteration is a batch of round trips; the next message leaves from the
// handler of the echo, on the client's IO thread, as an event-driven
// application sends it (no hand-over between threads per message). Only
// our client hands over to the timing thread, once a batch: the batch is
// large so that this costs next to nothing per message.
constexpr int kBatch = 1000;

// The process's user and system CPU per message, to tell the library's own
// work from the kernel's.
struct Usage {
  double user, system;
  static Usage Now() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return {u.ru_utime.tv_sec * 1e6 + u.ru_utime.tv_usec, u.ru_stime.tv_sec * 1e6 + u.ru_stime.tv_usec};
  }
};

void Report(benchmark::State& state, const Usage& start) {
  const Usage end = Usage::Now();
  const double n = static_cast<double>(state.iterations() * kBatch);
  state.counters["user_us"] = (end.user - start.user) / n;
  state.counters["sys_us"] = (end.system - start.system) / n;
}

void BM_ZorClientRoundTrip(benchmark::State& state) {
  zor::TzorWSClient client;
  client.SetNotifyEvents(zor::neNoSync);
  const zor::TzorStringStream message(std::string(kMessageSize, 'm'));
  std::mutex lock;
  std::condition_variable batch_done;
  std::atomic<int> remaining = 0;
  client.OnBinary = [&](zor::TzorWSConnection* connection, const zor::TzorStringStream& echo) {
    if (echo.Size() != kMessageSize) return;
    if (remaining.fetch_sub(1) > 1) return connection->WriteData(message);
    std::lock_guard l(lock);
    batch_done.notify_one();
  };
  client.SetURL("ws://127.0.0.1:" + std::to_string(EchoServerPort()) + "/");
  if (!client.Connect(10000)) {
    state.SkipWithError("cannot connect");
    return;
  }
  const Usage start = Usage::Now();
  for (auto _ : state) {
    remaining = kBatch;
    client.WriteData(message);
    std::unique_lock l(lock);
    batch_done.wait(l, [&] { return remaining == 0; });
  }
  Report(state, start);
  state.SetItemsProcessed(state.iterations() * kBatch);
  client.Disconnect(10000);
}
BENCHMARK(BM_ZorClientRoundTrip)->MeasureProcessCPUTime()->UseRealTime();

void BM_BeastClientRoundTrip(benchmark::State& state) {
  namespace beast = boost::beast;
  boost::asio::io_context io;
  boost::asio::ip::tcp::resolver resolver(io);
  beast::websocket::stream<boost::asio::ip::tcp::socket> ws(io);
  boost::asio::connect(ws.next_layer(), resolver.resolve("127.0.0.1", std::to_string(EchoServerPort())));
  ws.handshake("127.0.0.1", "/");
  ws.binary(true);
  const std::string message(kMessageSize, 'm');
  beast::flat_buffer buffer;
  const Usage start = Usage::Now();
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      ws.write(boost::asio::buffer(message));
      buffer.clear();
      ws.read(buffer);
    }
  }
  Report(state, start);
  state.SetItemsProcessed(state.iterations() * kBatch);
  ws.close(beast::websocket::close_code::normal);
}
BENCHMARK(BM_BeastClientRoundTrip)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
