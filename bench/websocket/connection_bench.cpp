// WebSocket connections over loopback, next to Boost.Beast's websocket::stream
// in the same program:
//   RoundTrips/*      512-byte text messages echoed, 32 in flight, 1000 per
//                     iteration; messages per second, and the CPU time of the
//                     whole process (both ends) per message
//       beast_beast       Beast's blocking client, Beast's asynchronous server
//       beast_ours        Beast's client, our server (event-driven transport)
//       ours_beast        our client (blocking transport, one IO thread), Beast's server
//       ours_ours         our client, our server
//   IdleConnections/* resident memory grown per open idle connection of a
//                     server holding 10,000 of them (clients in a child process)
#include "tests/websocket/loopback_endpoints.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>

namespace {

using namespace zor;
using namespace zor::test;
namespace beast = boost::beast;
namespace asio = boost::asio;
using tcp = asio::ip::tcp;

constexpr size_t kMessageSize = 512;
constexpr int kInFlight = 32;
constexpr int kPerIteration = 1000;
const std::string kMessage(kMessageSize, 'm');

double ProcessCPUSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// --- servers ----------------------------------------------------------------------

class BeastEchoServer {
 public:
  BeastEchoServer() {
    Accept();
    thread_ = std::thread([this] { io_.run(); });
  }
  ~BeastEchoServer() {
    io_.stop();
    thread_.join();
  }
  uint16_t Port() const { return acceptor_.local_endpoint().port(); }

 private:
  struct Session : std::enable_shared_from_this<Session> {
    explicit Session(tcp::socket s) : ws(std::move(s)) {}
    void Start() {
      ws.async_accept([self = shared_from_this()](beast::error_code ec) {
        if (!ec) self->Read();
      });
    }
    void Read() {
      ws.async_read(buffer, [self = shared_from_this()](beast::error_code ec, size_t) {
        if (ec) return;
        self->ws.text(self->ws.got_text());
        self->ws.async_write(self->buffer.data(), [self](beast::error_code ec2, size_t) {
          if (ec2) return;
          self->buffer.consume(self->buffer.size());
          self->Read();
        });
      });
    }
    beast::websocket::stream<beast::tcp_stream> ws;
    beast::flat_buffer buffer;
  };

  void Accept() {
    acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
      if (ec) return;
      socket.set_option(tcp::no_delay(true), ec);
      std::make_shared<Session>(std::move(socket))->Start();
      Accept();
    });
  }

  asio::io_context io_;
  tcp::acceptor acceptor_{io_, {asio::ip::make_address("127.0.0.1"), 0}};
  std::thread thread_;
};

std::unique_ptr<LoopbackServer> OurEchoServer() {
  return std::make_unique<LoopbackServer>([](LoopbackServerConnection& c) {
    c.OnMessage = [](TzorWSConnection* self, const std::string& text) { self->WriteData(text); };
  });
}

// --- clients --------------------------------------------------------------------------

// Beast's blocking client: kInFlight messages out, then one more per echo.
class BeastClient {
 public:
  explicit BeastClient(uint16_t port) {
    ws_.next_layer().connect({asio::ip::make_address("127.0.0.1"), port});
    ws_.next_layer().set_option(tcp::no_delay(true));
    ws_.handshake("127.0.0.1", "/");
    ws_.text(true);
  }
  ~BeastClient() {
    beast::error_code ec;
    ws_.close(beast::websocket::close_code::normal, ec);
  }
  void RoundTrips(int count) {
    for (int i = 0; i < kInFlight; ++i) ws_.write(asio::buffer(kMessage));
    for (int i = 0; i < count; ++i) {
      ws_.read(buffer_);
      if (buffer_.size() != kMessageSize) std::abort();
      buffer_.consume(buffer_.size());
      if (i + kInFlight < count) ws_.write(asio::buffer(kMessage));
    }
  }

 private:
  asio::io_context io_;
  beast::websocket::stream<tcp::socket> ws_{io_};
  beast::flat_buffer buffer_;
};

// Our client: the IO thread writes the next message from the echo's event.
class OurClient {
 public:
  explicit OurClient(uint16_t port) : c_(std::make_shared<LoopbackClient>()) {
    c_->OnMessage = [this](TzorWSConnection* self, const std::string& text) {
      if (text.size() != kMessageSize) std::abort();
      const int got = ++received_;
      if (got + kInFlight <= target_) self->WriteData(kMessage);
      if (got == target_) done_.notify_all();
    };
    c_->Connect(port);
    while (!c_->Enabled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~OurClient() {
    c_->Close();
    c_->Stop();
  }
  void RoundTrips(int count) {
    {
      std::lock_guard guard(lock_);
      received_ = 0;
      target_ = count;
    }
    for (int i = 0; i < kInFlight; ++i) c_->WriteData(kMessage);
    std::unique_lock guard(lock_);
    done_.wait(guard, [&] { return received_ == target_; });
  }

 private:
  std::shared_ptr<LoopbackClient> c_;
  std::mutex lock_;
  std::condition_variable done_;
  std::atomic<int> received_{0};
  std::atomic<int> target_{0};
};

template <class Client>
void RunRoundTrips(benchmark::State& state, uint16_t port) {
  Client client(port);
  client.RoundTrips(kPerIteration);  // warm up
  const double cpuStart = ProcessCPUSeconds();
  for (auto _ : state) client.RoundTrips(kPerIteration);
  const double messages = static_cast<double>(state.iterations()) * kPerIteration;
  state.SetItemsProcessed(static_cast<int64_t>(messages));
  state.counters["msgs_per_s"] = benchmark::Counter(messages, benchmark::Counter::kIsRate);
  state.counters["process_cpu_us_per_msg"] = (ProcessCPUSeconds() - cpuStart) * 1e6 / messages;
}

void BM_RoundTrips_beast_beast(benchmark::State& state) {
  BeastEchoServer server;
  RunRoundTrips<BeastClient>(state, server.Port());
}

void BM_RoundTrips_beast_ours(benchmark::State& state) {
  auto server = OurEchoServer();
  RunRoundTrips<BeastClient>(state, server->Port());
}

void BM_RoundTrips_ours_beast(benchmark::State& state) {
  BeastEchoServer server;
  RunRoundTrips<OurClient>(state, server.Port());
}

void BM_RoundTrips_ours_ours(benchmark::State& state) {
  auto server = OurEchoServer();
  RunRoundTrips<OurClient>(state, server->Port());
}

BENCHMARK(BM_RoundTrips_beast_beast)->UseRealTime();
BENCHMARK(BM_RoundTrips_beast_ours)->UseRealTime();
BENCHMARK(BM_RoundTrips_ours_beast)->UseRealTime();
BENCHMARK(BM_RoundTrips_ours_ours)->UseRealTime();

// --- idle connections ---------------------------------------------------------------------

constexpr int kIdleConnections = 10000;

size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// A child process that opens `count` connections, does the opening handshake
// on each, reports, and keeps them open until its pipe closes.
class IdleClients {
 public:
  IdleClients() {
    int toChild[2], toParent[2];
    if (pipe(toChild) != 0 || pipe(toParent) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(toChild[1]);
      close(toParent[0]);
      RunChild(toChild[0], toParent[1]);
      _exit(0);
    }
    close(toChild[0]);
    close(toParent[1]);
    to_child_ = toChild[1];
    from_child_ = toParent[0];
  }
  ~IdleClients() {
    close(to_child_);
    close(from_child_);
    waitpid(pid_, nullptr, 0);
  }
  // Connects them all to `port`; false when the child could not.
  bool Open(uint16_t port) {
    if (write(to_child_, &port, sizeof port) != sizeof port) return false;
    char ok = 0;
    return read(from_child_, &ok, 1) == 1 && ok == 'y';
  }

 private:
  // Only system calls here: the child of a process with threads.
  static void RunChild(int in, int out) {
    uint16_t port = 0;
    if (read(in, &port, sizeof port) != sizeof port) return;
    static const char kRequest[] =
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char answer[512];
    char ok = 'y';
    for (int i = 0; i < kIdleConnections && ok == 'y'; ++i) {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
          write(fd, kRequest, sizeof kRequest - 1) != static_cast<ssize_t>(sizeof kRequest - 1) ||
          read(fd, answer, sizeof answer) <= 0)
        ok = 'n';
    }
    if (write(out, &ok, 1) != 1) return;
    char wait;
    while (read(in, &wait, 1) > 0) {
    }
  }

  pid_t pid_ = -1;
  int to_child_ = -1, from_child_ = -1;
};

template <class Server>
void RunIdle(benchmark::State& state, Server& server, uint16_t port, IdleClients& clients) {
  for (auto _ : state) {
    malloc_trim(0);  // memory freed by earlier benchmarks is not counted as this one's
    const size_t before = ResidentBytes();
    if (!clients.Open(port)) {
      state.SkipWithError("the clients could not connect");
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the last answers are written
    const size_t after = ResidentBytes();
    state.counters["bytes_per_connection"] =
        static_cast<double>(after - before) / static_cast<double>(kIdleConnections);
  }
  (void)server;
}

void BM_IdleConnections_ours(benchmark::State& state) {
  IdleClients clients;  // forked before the server starts its thread
  auto server = OurEchoServer();
  RunIdle(state, *server, server->Port(), clients);
}

void BM_IdleConnections_beast(benchmark::State& state) {
  IdleClients clients;
  BeastEchoServer server;
  RunIdle(state, server, server.Port(), clients);
}

BENCHMARK(BM_IdleConnections_ours)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleConnections_beast)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
