// Client round trips of 512-byte binary messages against a Node "ws" echo
// server on loopback: our client (its IO thread included in the CPU time)
// next to Boost.Beast's synchronous websocket client against the same server,
// run on the timing thread and on a worker thread.
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
#include <thread>
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
    // Only the IO thread counts down, so a plain store does, as Beast's loop
    // counts without a locked instruction.
    const int left = remaining.load(std::memory_order_relaxed) - 1;
    remaining.store(left, std::memory_order_relaxed);
    if (left > 0) return connection->WriteData(message);
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

// Beast's synchronous client, connected and switched to binary messages.
class BeastClient {
 public:
  BeastClient() : resolver_(io_), ws_(io_) {
    boost::asio::connect(ws_.next_layer(), resolver_.resolve("127.0.0.1", std::to_string(EchoServerPort())));
    ws_.handshake("127.0.0.1", "/");
    ws_.binary(true);
  }
  ~BeastClient() { ws_.close(boost::beast::websocket::close_code::normal); }

  void RunBatch() {
    for (int i = 0; i < kBatch; ++i) {
      ws_.write(boost::asio::buffer(message_));
      buffer_.clear();
      ws_.read(buffer_);
    }
  }

 private:
  boost::asio::io_context io_;
  boost::asio::ip::tcp::resolver resolver_;
  boost::beast::websocket::stream<boost::asio::ip::tcp::socket> ws_;
  const std::string message_ = std::string(kMessageSize, 'm');
  boost::beast::flat_buffer buffer_;
};

// As a console program uses it: the loop runs on the timing thread.
void BM_BeastClientRoundTrip(benchmark::State& state) {
  BeastClient client;
  const Usage start = Usage::Now();
  for (auto _ : state) client.RunBatch();
  Report(state, start);
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_BeastClientRoundTrip)->MeasureProcessCPUTime()->UseRealTime();

// As an application with a thread of its own for the socket uses it (and as
// our client runs): the timing thread hands each batch to a worker thread,
// the same threads and the same hand-over as our client. Unpinned, where
// the scheduler puts the two threads weighs as much as either library.
void BM_BeastClientRoundTripOnWorker(benchmark::State& state) {
  BeastClient client;
  std::mutex lock;
  std::condition_variable changed;
  bool batch_due = false, stop = false;
  std::thread worker([&] {
    std::unique_lock l(lock);
    for (;;) {
      changed.wait(l, [&] { return batch_due || stop; });
      if (stop) return;
      l.unlock();
      client.RunBatch();
      l.lock();
      batch_due = false;
      changed.notify_all();
    }
  });
  const Usage start = Usage::Now();
  for (auto _ : state) {
    std::unique_lock l(lock);
    batch_due = true;
    changed.notify_all();
    changed.wait(l, [&] { return !batch_due; });
  }
  Report(state, start);
  state.SetItemsProcessed(state.iterations() * kBatch);
  {
    std::lock_guard l(lock);
    stop = true;
  }
  changed.notify_all();
  worker.join();
}
BENCHMARK(BM_BeastClientRoundTripOnWorker)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
