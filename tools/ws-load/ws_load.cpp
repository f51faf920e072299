#include "tools/ws-load/ws_load.h"

#include <algorithm>
#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/random.h"
#include "net/cloexec_sockets.h"
#include "websocket/frame_writer.h"
#include "websocket/handshake.h"
#include "websocket/masking.h"

namespace zor {

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

namespace {

struct Shared {
  std::atomic<uint64_t> messages{0}, failures{0};
  std::atomic<int> connected{0}, pending{0};
  std::atomic<bool> measuring{false}, stop{false};
  bool idle = false;  // connections only open and wait
};

// Each message carries its sequence number in its first bytes (up to eight),
// so that an echo lost, repeated or out of order fails the connection instead
// of being counted.
class LoadConnection : public std::enable_shared_from_this<LoadConnection> {
 public:
  LoadConnection(asio::io_context& io, const TzorWSLoadOptions& options, Shared& shared)
      : socket_(asio::make_strand(io)), options_(options), shared_(shared) {
    payload_.resize(options.MessageSize);
    RandomBytes(reinterpret_cast<uint8_t*>(payload_.data()), payload_.size());
    sequenceBytes_ = std::min(sizeof(uint64_t), payload_.size());
    RandomBytes(key_, sizeof key_);
    uint8_t header[14];
    const size_t headerSize = EncodeFrameHeader(header, GetFrameFirstByte(opBinary, false), payload_.size(), key_);
    frame_.assign(reinterpret_cast<char*>(header), headerSize);
    frame_.resize(headerSize + payload_.size());
    MaskCopy(reinterpret_cast<uint8_t*>(frame_.data()) + headerSize,
             reinterpret_cast<const uint8_t*>(payload_.data()), payload_.size(), key_);
    uint8_t echoHeader[14];
    expectedHeader_.assign(reinterpret_cast<char*>(echoHeader),
                           EncodeFrameHeader(echoHeader, GetFrameFirstByte(opBinary, false), payload_.size(), nullptr));
    echoSize_ = expectedHeader_.size() + payload_.size();
    in_.resize(std::max<size_t>(64 * 1024, 2 * echoSize_));
  }

  void Start(const tcp::endpoint& endpoint) {
    error_code opened;
    OpenCloseOnExec(socket_, endpoint.protocol(), opened);
    if (opened) return Fail();
    socket_.async_connect(endpoint, [self = shared_from_this()](const error_code& ec) {
      if (ec) return self->Fail();
      error_code ignored;
      self->socket_.set_option(tcp::no_delay(true), ignored);
      self->Handshake();
    });
  }

 private:
  void Handshake() {
    TzorWSHandshakeRequest request;
    request.Path = options_.Path;
    request.Host = options_.Host;
    request.Port = options_.Port;
    request.Key = GenerateHandshakeKey();
    request_ = HandshakeRequestText(BuildHandshakeRequestLines(request));
    asio::async_write(socket_, asio::buffer(request_), [self = shared_from_this()](const error_code& ec, size_t) {
      if (ec) return self->Fail();
      asio::async_read_until(self->socket_, self->head_, "\r\n\r\n",
                             [self](const error_code& e, size_t size) { self->OnHead(e, size); });
    });
  }

  void OnHead(const error_code& ec, size_t size) {
    if (ec) return Fail();
    std::string head(asio::buffers_begin(head_.data()), asio::buffers_begin(head_.data()) + size);
    head_.consume(size);
    if (head.rfind("HTTP/1.1 101", 0) != 0 || head_.size() != 0) return Fail();
    ++shared_.connected;
    counted_ = true;
    if (--shared_.pending == 0) shared_.measuring = true;
    if (shared_.idle) return;
    Send(static_cast<size_t>(std::max(1, options_.InFlight)));
    Receive();
  }

  // Queues `count` messages with the next sequence numbers; one write is in
  // flight at a time, the messages queued meanwhile go out together after it.
  void Send(size_t count) {
    if (shared_.stop) return;
    const size_t headerSize = frame_.size() - payload_.size();
    for (size_t i = 0; i < count; ++i) {
      const size_t at = queued_.size();
      queued_ += frame_;
      const uint64_t sequence = sent_++;
      for (size_t b = 0; b < sequenceBytes_; ++b)
        queued_[at + headerSize + b] = static_cast<char>(static_cast<uint8_t>(sequence >> (8 * b)) ^ key_[b % 4]);
    }
    if (!writeInFlight_) Write();
  }

  void Write() {
    writeInFlight_ = true;
    outgoing_.swap(queued_);
    queued_.clear();
    asio::async_write(socket_, asio::buffer(outgoing_), [self = shared_from_this()](const error_code& ec, size_t) {
      if (ec) return self->Fail();
      self->writeInFlight_ = false;
      if (!self->queued_.empty() && !self->shared_.stop) self->Write();
    });
  }

  void Receive() {
    socket_.async_read_some(asio::buffer(in_.data() + buffered_, in_.size() - buffered_),
                            [self = shared_from_this()](const error_code& ec, size_t size) {
                              if (ec) return self->Fail();
                              self->OnEchoes(size);
                            });
  }

  void OnEchoes(size_t size) {
    buffered_ += size;
    size_t at = 0, echoes = 0;
    for (; buffered_ - at >= echoSize_; at += echoSize_, ++echoes)
      if (!IsNextEcho(in_.data() + at)) return Fail();
    std::memmove(in_.data(), in_.data() + at, buffered_ - at);
    buffered_ -= at;
    if (echoes != 0 && shared_.measuring && !shared_.stop) shared_.messages += echoes;
    Send(echoes);
    Receive();
  }

  bool IsNextEcho(const char* echo) {
    if (std::memcmp(echo, expectedHeader_.data(), expectedHeader_.size()) != 0) return false;
    const char* payload = echo + expectedHeader_.size();
    const uint64_t sequence = received_++;
    for (size_t b = 0; b < sequenceBytes_; ++b)
      if (static_cast<uint8_t>(payload[b]) != static_cast<uint8_t>(sequence >> (8 * b))) return false;
    return std::memcmp(payload + sequenceBytes_, payload_.data() + sequenceBytes_, payload_.size() - sequenceBytes_) ==
           0;
  }

  void Fail() {
    if (shared_.stop || failed_) return;
    failed_ = true;
    ++shared_.failures;
    if (!counted_) --shared_.pending;
    counted_ = true;
    error_code ignored;
    socket_.close(ignored);
  }

  tcp::socket socket_;
  const TzorWSLoadOptions& options_;
  Shared& shared_;
  uint8_t key_[4];
  size_t sequenceBytes_ = 0, echoSize_ = 0, buffered_ = 0;
  uint64_t sent_ = 0, received_ = 0;
  std::string payload_, frame_, expectedHeader_, request_, queued_, outgoing_;
  std::vector<char> in_;
  asio::streambuf head_;
  bool counted_ = false, failed_ = false, writeInFlight_ = false;
};

}  // namespace

struct TzorWSIdleConnections::Impl {
  explicit Impl(const TzorWSLoadOptions& o) : options(o) {}
  TzorWSLoadOptions options;
  asio::io_context io;
  Shared shared;
  std::vector<std::shared_ptr<LoadConnection>> connections;
  std::thread thread;
};

TzorWSIdleConnections::TzorWSIdleConnections(const TzorWSLoadOptions& options)
    : impl_(std::make_unique<Impl>(options)) {
  impl_->shared.idle = true;
  impl_->shared.pending = options.Connections;
  const tcp::endpoint endpoint(asio::ip::make_address(options.Host), options.Port);
  for (int i = 0; i < options.Connections; ++i) {
    impl_->connections.push_back(std::make_shared<LoadConnection>(impl_->io, impl_->options, impl_->shared));
    impl_->connections.back()->Start(endpoint);
  }
  impl_->thread = std::thread([impl = impl_.get()] { impl->io.run(); });
}

TzorWSIdleConnections::~TzorWSIdleConnections() {
  impl_->shared.stop = true;
  impl_->io.stop();
  impl_->thread.join();
}

int TzorWSIdleConnections::WaitOpen() {
  while (impl_->shared.pending > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return impl_->shared.connected;
}

TzorWSLoadResult RunWSLoad(const TzorWSLoadOptions& options) {
  asio::io_context io;
  Shared shared;
  shared.pending = options.Connections;
  const tcp::endpoint endpoint(asio::ip::make_address(options.Host), options.Port);
  std::vector<std::shared_ptr<LoadConnection>> connections;
  for (int i = 0; i < options.Connections; ++i) {
    connections.push_back(std::make_shared<LoadConnection>(io, options, shared));
    connections.back()->Start(endpoint);
  }
  std::vector<std::thread> threads;
  for (int i = 0; i < std::max(1, options.Threads); ++i) threads.emplace_back([&io] { io.run(); });

  // The clock starts once every connection is open (or has failed).
  while (!shared.measuring && shared.pending > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  shared.measuring = true;
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(options.Seconds));
  shared.stop = true;
  const auto end = Clock::now();
  TzorWSLoadResult result;
  result.Messages = shared.messages;
  result.Failures = shared.failures;
  result.Connected = shared.connected;
  result.Seconds = std::chrono::duration<double>(end - start).count();
  io.stop();
  for (auto& t : threads) t.join();
  return result;
}

}  // namespace zor
