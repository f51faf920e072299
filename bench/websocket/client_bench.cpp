// Client round trips of 512-byte binary messages against a Node "ws" echo
// server on loopback: our client (its IO thread included in the CPU time)
// next to Boost.Beast's synchronous websocket client against the same server,
// run on the timing thread and on a worker thread. The server runs on a CPU
// of its own.
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
#include <sched.h>
#include <sys/resource.h>

#include "tests/interop/peer_process.h"
#include "websocket/ws_client.h"

namespace {

constexpr size_t kMessageSize = 512;

// Starts the echo server on the last CPU this program may use and keeps the
// program on the others (when it has two or more), as apart as client and
// server are over a network. Left to the scheduler, a small VM now and then
// packs the client's socket thread onto the server's CPU: that changes the
// cost of a round trip several times over, more than either library does,
// and differs from one repetition to the next.
std::unique_ptr<zor::test::PeerProcess> StartApart(const std::vector<std::string>& argv) {
  cpu_set_t clients;
  CPU_ZERO(&clients);
  sched_getaffinity(0, sizeof clients, &clients);
  if (CPU_COUNT(&clients) < 2) return std::make_unique<zor::test::PeerProcess>(argv, "/dev/null");
  int last = CPU_SETSIZE - 1;
  while (!CPU_ISSET(last, &clients)) --last;
  // The server inherits the affinity of the thread that starts it; the
  // client threads, all started later, inherit the program's.
  cpu_set_t server;
  CPU_ZERO(&server);
  CPU_SET(last, &server);
  sched_setaffinity(0, sizeof server, &server);
  auto process = std::make_unique<zor::test::PeerProcess>(argv, "/dev/null");
  CPU_CLR(last, &clients);
  sched_setaffinity(0, sizeof clients, &clients);
  return process;
}

// One echo server for the whole program.
uint16_t EchoServerPort() {
  static std::unique_ptr<zor::test::PeerProcess> server;
  static uint16_t port = 0;
  if (!server) {
    port = zor::test::FreeLoopbackPort();
    server = StartApart({"node", std::string(ZOR_SOURCE_DIR) + "/tests/interop/websocket_client/peers/node_ws_server.mjs",
                         std::to_string(port), "--quiet"});
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

// Each client connects once for the whole program, as the echo server
// starts once, so that every client's socket thread has run before each of
// its interleaved repetitions. A thread born per repetition is placed by the
// scheduler unlike one that rested between repetitions, and on a small VM
// that placement weighs more than either library.
template <class Client>
void RoundTrips(benchmark::State& state) {
  static Client client;
  const Usage start = Usage::Now();
  for (auto _ : state) client.RunBatch();
  Report(state, start);
  state.SetItemsProcessed(state.iterations() * kBatch);
}

class ZorClient {
 public:
  ZorClient() {
    client_.SetNotifyEvents(zor::neNoSync);
    client_.OnBinary = [this](zor::TzorWSConnection* connection, const zor::TzorStringStream& echo) {
      if (echo.Size() != kMessageSize) return;
      // Only the IO thread counts down, so a plain store does, as Beast's
      // loop counts without a locked instruction.
      const int left = remaining_.load(std::memory_order_relaxed) - 1;
      remaining_.store(left, std::memory_order_relaxed);
      if (left > 0) return connection->WriteData(message_);
      std::lock_guard l(lock_);
      batch_done_.notify_one();
    };
    client_.SetURL("ws://127.0.0.1:" + std::to_string(EchoServerPort()) + "/");
    if (!client_.Connect(10000)) throw std::runtime_error("cannot connect");
  }
  ~ZorClient() { client_.Disconnect(10000); }

  void RunBatch() {
    remaining_ = kBatch;
    client_.WriteData(message_);
    std::unique_lock l(lock_);
    batch_done_.wait(l, [&] { return remaining_ == 0; });
  }

 private:
  zor::TzorWSClient client_;
  const zor::TzorStringStream message_{std::string(kMessageSize, 'm')};
  std::mutex lock_;
  std::condition_variable batch_done_;
  std::atomic<int> remaining_ = 0;
};

void BM_ZorClientRoundTrip(benchmark::State& state) { RoundTrips<ZorClient>(state); }
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
void BM_BeastClientRoundTrip(benchmark::State& state) { RoundTrips<BeastClient>(state); }
BENCHMARK(BM_BeastClientRoundTrip)->MeasureProcessCPUTime()->UseRealTime();

// As an application with a thread of its own for the socket uses it (and as
// our client runs): the timing thread hands each batch to a worker thread,
// the same threads and the same hand-over as our client.
class BeastClientOnWorker {
 public:
  BeastClientOnWorker() : worker_([this] { Serve(); }) {}
  ~BeastClientOnWorker() {
    {
      std::lock_guard l(lock_);
      stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }

  void RunBatch() {
    std::unique_lock l(lock_);
    batch_due_ = true;
    changed_.notify_all();
    changed_.wait(l, [&] { return !batch_due_; });
  }

 private:
  void Serve() {
    std::unique_lock l(lock_);
    for (;;) {
      changed_.wait(l, [&] { return batch_due_ || stop_; });
      if (stop_) return;
      l.unlock();
      client_.RunBatch();
      l.lock();
      batch_due_ = false;
      changed_.notify_all();
    }
  }

  BeastClient client_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool batch_due_ = false, stop_ = false;
  std::thread worker_;
};

void BM_BeastClientRoundTripOnWorker(benchmark::State& state) { RoundTrips<BeastClientOnWorker>(state); }
BENCHMARK(BM_BeastClientRoundTripOnWorker)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
