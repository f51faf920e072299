#include "net/connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <optional>
#include <span>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <mutex>
#include <thread>
#include <utility>

#include "base/format.h"
#include "net/cloexec_sockets.h"
#include "net/deadline.h"
#include "net/net_errors.h"
#include "net/socket_state.h"

namespace zor {

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;

namespace {

constexpr size_t kReadChunk = 64 * 1024;
// ReadBytes allocates the whole result up front up to this size only: a
// count far beyond what the peer sends must not take memory of its own.
constexpr size_t kMostReservedAhead = 16 * 1024 * 1024;
// With TLS a write is sealed and sent in slices of this size: the peer
// decrypts one while the next is sealed.
constexpr size_t kSealSlice = 32 * 1024;
// A write buffer larger than this is sent before more is collected.
constexpr size_t kWriteBufferLimit = 1024 * 1024;
// Longest wait for the close notification to leave on Disconnect.
constexpr int kCloseNotifyTimeoutMs = 1000;

// A wait of WaitForData's kind: 0 only looks, a negative one has no limit.
TzorDeadline DeadlineIn(int timeout_ms) {
  return timeout_ms == 0 ? TzorDeadline::Now() : timeout_ms < 0 ? TzorDeadline() : TzorDeadline::After(timeout_ms);
}

[[noreturn]] void ThrowSocketError(const char* what, const error_code& ec) {
  throw EzorSocketError(Format("%s: %s", what, ec.message().c_str()), ec.value());
}

[[noreturn]] void ThrowSocketError(const char* what, int error) {
  ThrowSocketError(what, error_code(error, boost::system::system_category()));
}

void PauseFor(TzorConnectionIntercept::Pause pause) {
  if (pause > TzorConnectionIntercept::Pause::zero()) std::this_thread::sleep_for(pause);
}

}  // namespace

// The socket state's write gate keeps socket writes in order; it is held from
// BeginWrite to EndWrite.
struct TzorConnection::Impl : TzorSocketState {
  Impl() : TzorSocketState([this](std::string_view bytes) { SendNow(bytes); }, kWriteBufferLimit) {}

  asio::io_context io;
  tcp::socket socket{io};

  TzorSocketOptions options;
  TzorProxySettings proxy;
  std::shared_ptr<const TzorTLSContext> tls_context;
  std::string tls_host;

  std::atomic<bool> open{false};
  std::atomic<bool> peer_closed{false};

  bool drained = false;  // the last read left the socket empty, as far as it knows
  std::string decrypted;  // reading thread only; kept to reuse its capacity
  // Under the write gate's lock. Its storage and the engine's outgoing
  // queue's trade places on each slice, so neither is allocated anew.
  std::string sealed;

  // --- connecting -------------------------------------------------------

  // Name resolution cannot be cancelled, so it runs on a thread of its own
  // and an expired deadline just stops waiting for it. Address literals are
  // converted on the spot.
  tcp::resolver::results_type Resolve(const std::string& host, uint16_t port, const TzorDeadline& deadline) {
    struct Result {
      std::mutex lock;
      std::condition_variable done_signal;
      bool done = false;
      error_code error;
      tcp::resolver::results_type endpoints;
    };
    auto result = std::make_shared<Result>();
    const std::string service = std::to_string(port);
    const TzorIPVersion family = options.IPVersion;
    auto resolve = [result, host, service, family] {
      asio::io_context context;
      tcp::resolver resolver(context);
      error_code ec;
      const auto flags = tcp::resolver::numeric_service;
      tcp::resolver::results_type endpoints;
      if (family == TzorIPVersion::ipV4)
        endpoints = resolver.resolve(tcp::v4(), host, service, flags, ec);
      else if (family == TzorIPVersion::ipV6)
        endpoints = resolver.resolve(tcp::v6(), host, service, flags, ec);
      else
        endpoints = resolver.resolve(host, service, flags, ec);
      std::lock_guard guard(result->lock);
      result->error = ec;
      result->endpoints = std::move(endpoints);
      result->done = true;
      result->done_signal.notify_all();
    };
    error_code literal;
    asio::ip::make_address(host, literal);
    if (!literal) {
      resolve();
    } else {
      std::thread(resolve).detach();
      std::unique_lock wait(result->lock);
      if (deadline.Limited()) {
        if (!result->done_signal.wait_until(wait, deadline.At(), [&] { return result->done; }))
          throw EzorConnectTimeout(Format("Connect to %s timed out", host.c_str()));
      } else {
        result->done_signal.wait(wait, [&] { return result->done; });
      }
    }
    std::lock_guard guard(result->lock);
    if (result->error)
      throw EzorSocketError(Format("Cannot resolve %s: %s", host.c_str(), result->error.message().c_str()),
                            result->error.value());
    if (result->endpoints.empty()) throw EzorSocketError(Format("Cannot resolve %s", host.c_str()));
    return result->endpoints;
  }

  void Bind(const tcp::endpoint& remote) {
    const bool port_range = options.BoundPortMin != 0 || options.BoundPortMax != 0;
    if (options.BoundIP.empty() && options.BoundPort == 0 && !port_range) return;
    asio::ip::address address = remote.protocol() == tcp::v4() ? asio::ip::address(asio::ip::address_v4::any())
                                                               : asio::ip::address(asio::ip::address_v6::any());
    if (!options.BoundIP.empty()) {
      error_code ec;
      address = asio::ip::make_address(options.BoundIP, ec);
      if (ec) throw EzorBindError(Format("Invalid bound address %s", options.BoundIP.c_str()));
    }
    error_code ec;
    if (!port_range) {
      socket.bind(tcp::endpoint(address, options.BoundPort), ec);
      if (ec) throw EzorBindError(Format("Could not bind socket: %s", ec.message().c_str()), ec.value());
      return;
    }
    if (options.BoundPortMin > options.BoundPortMax || options.BoundPortMin == 0)
      throw EzorBindError(Format("Invalid port range %d-%d", options.BoundPortMin, options.BoundPortMax));
    for (uint32_t port = options.BoundPortMin; port <= options.BoundPortMax; ++port) {
      socket.bind(tcp::endpoint(address, static_cast<uint16_t>(port)), ec);
      if (!ec) return;
    }
    throw EzorBindError(Format("Cannot bind to a port in the range %d-%d", options.BoundPortMin, options.BoundPortMax));
  }

  void ConnectSocket(const std::string& host, uint16_t port, const TzorDeadline& deadline) {
    const auto endpoints = Resolve(host, port, deadline);
    error_code last = asio::error::host_not_found;
    for (const auto& entry : endpoints) {
      const tcp::endpoint remote = entry.endpoint();
      error_code ec;
      socket.close(ec);
      OpenCloseOnExec(socket, remote.protocol(), ec);
      if (ec) {
        last = ec;
        continue;
      }
      if (!options.BoundIP.empty()) {
        error_code parse;
        const auto bound = asio::ip::make_address(options.BoundIP, parse);
        if (!parse && bound.is_v4() != remote.address().is_v4()) continue;
      }
      Bind(remote);
      bool timed_out = false;
      error_code result = asio::error::would_block;
      asio::steady_timer timer(io);
      socket.async_connect(remote, [&](const error_code& e) {
        result = e;
        timer.cancel();
      });
      if (deadline.Limited()) {
        timer.expires_at(deadline.At());
        timer.async_wait([&](const error_code& e) {
          if (e) return;
          timed_out = true;
          socket.cancel();
        });
      }
      io.restart();
      io.run();
      if (timed_out && result) throw EzorConnectTimeout(Format("Connect to %s:%d timed out", host.c_str(), port));
      if (!result) return;
      last = result;
    }
    socket.close();
    throw EzorSocketError(Format("Cannot connect to %s:%d: %s", host.c_str(), port, last.message().c_str()),
                          last.value());
  }

  void ApplySocketOptions() {
    error_code ec;
    socket.set_option(tcp::no_delay(!options.UseNagle), ec);
    if (options.LingerSeconds >= 0) socket.set_option(asio::socket_base::linger(true, options.LingerSeconds), ec);
    if (options.KeepAlive) {
      socket.set_option(asio::socket_base::keep_alive(true), ec);
      const int fd = socket.native_handle();
      auto seconds = [](int ms) { return ms <= 0 ? 0 : (ms + 999) / 1000; };
      if (int idle = seconds(options.KeepAliveTime)) setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
      if (int interval = seconds(options.KeepAliveInterval))
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    }
    // Blocking, so that a reader without a time-out waits inside the receive
    // call itself: one system call per arrival instead of a poll and a read.
    // Every other call says MSG_DONTWAIT and polls for its deadline.
    socket.non_blocking(false, ec);
    if (ec) ThrowSocketError("Cannot configure socket", ec);
  }

  // --- raw socket IO (poll() for the waits that have a deadline) ----------

  bool WaitSocket(short events, const TzorDeadline& deadline) {
    pollfd p{socket.native_handle(), events, 0};
    for (;;) {
      const int n = ::poll(&p, 1, deadline.PollMilliseconds());
      if (n > 0) return true;
      if (n == 0) return false;
      if (errno != EINTR) throw EzorSocketError(Format("poll failed: %s", std::strerror(errno)), errno);
    }
  }

  // Up to `size` bytes into `buffer`: how many, 0 at end of stream (also
  // after Close's shutdown), nullopt when the deadline passed first. Without
  // a deadline the receive call itself waits; with one, the socket is polled
  // first when it is most likely empty (`poll_first`), else on would-block.
  // Inline: it is the whole of most reads.
  [[gnu::always_inline]] std::optional<size_t> ReceiveInto(char* buffer, size_t size, const TzorDeadline& deadline,
                                                           bool poll_first) {
    const bool limited = deadline.Limited();
    if (limited && poll_first && !WaitSocket(POLLIN, deadline)) return std::nullopt;
    for (;;) {
      const ssize_t n = ::recv(socket.native_handle(), buffer, size, limited ? MSG_DONTWAIT : 0);
      if (n >= 0) return static_cast<size_t>(n);
      const int e = errno;
      if (e == EINTR) continue;
      if (e != EAGAIN && e != EWOULDBLOCK) {
        if (!open) throw EzorClosedSocket();
        ThrowSocketError("Receive failed", e);
      }
      if (!WaitSocket(POLLIN, deadline)) return std::nullopt;
    }
  }

  // Receives straight onto the end of the input buffer, or into `into`
  // when that is given: how many bytes, 0 at end of stream, nullopt when
  // the deadline passed.
  [[gnu::always_inline]] std::optional<size_t> RawReceive(const TzorDeadline& deadline, std::span<char> into) {
    std::optional<size_t> n;
    auto pause = TzorConnectionIntercept::Pause::zero();
    auto receive = [&](std::span<char> room) __attribute__((always_inline)) {
      // After a read that did not fill the room the socket is most likely
      // empty: waiting first saves the read that would only say so.
      n = ReceiveInto(room.data(), room.size(), deadline, drained);
      drained = !n || *n < room.size();
      if (!n) return size_t{0};
      pause = ShowReceived({room.data(), *n});
      return *n;
    };
    if (into.empty())
      input.ReceiveWith(kReadChunk, receive);
    else
      receive(into);
    if (n) received.Add(*n);
    PauseFor(pause);
    return n;
  }

  // The engine's own read of the socket while it decrypts, once the bytes
  // queued in it are used up: they skip the queue. It never waits, and
  // after a read that left the socket empty it does not try again; a
  // failure waits in fetch_error for Fill, as the engine cannot carry it.
  size_t FetchCiphertext(std::span<char> room) noexcept {
    if (drained || fetch_error != 0) return 0;
    const ssize_t n = ::recv(socket.native_handle(), room.data(), room.size(), MSG_DONTWAIT);
    drained = n < static_cast<ssize_t>(room.size());
    if (n > 0) return static_cast<size_t>(n);
    // The end of the stream is seen again by ReceiveCiphertext.
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) fetch_error = errno;
    return 0;
  }
  const TzorCiphertextSource fetch = [this](std::span<char> room) { return FetchCiphertext(room); };
  int fetch_error = 0;  // reading thread only

  // Reads ciphertext straight into the engine's free room. The engine is
  // not locked while the socket waits: the room stays put while a writer
  // uses the engine (a renegotiation may make it read what came in) or a
  // closing thread queues its close notification.
  std::optional<size_t> ReceiveCiphertext(const TzorDeadline& deadline) {
    std::span<char> room;
    {
      std::lock_guard guard(engine_lock);
      room = engine->IncomingRoom(kReadChunk);
    }
    const auto n = ReceiveInto(room.data(), room.size(), deadline, drained);
    drained = !n || *n < room.size();
    if (n && *n > 0) {
      std::lock_guard guard(engine_lock);
      engine->CommitIncoming(*n);
    }
    return n;
  }

  [[gnu::always_inline]] void RawSendAll(std::string_view data, const TzorDeadline& deadline) {
    while (!data.empty()) {
      const ssize_t n = ::send(socket.native_handle(), data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n >= 0) {
        data.remove_prefix(static_cast<size_t>(n));
        continue;
      }
      const int e = errno;
      if (e == EINTR) continue;
      if (e != EAGAIN && e != EWOULDBLOCK) {
        if (!open) throw EzorClosedSocket();
        ThrowSocketError("Send failed", e);
      }
      if (!WaitSocket(POLLOUT, deadline)) throw EzorWriteTimeout("Write timed out.");
    }
  }

  // Timeout of the replies during proxy and TLS handshakes.
  int HandshakeTimeout() const { return options.ConnectTimeout > 0 ? options.ConnectTimeout : options.ReadTimeout; }

  std::string RawReceiveExactly(size_t count, const char* peer) {
    std::string out(count, '\0');
    const auto deadline = TzorDeadline::After(HandshakeTimeout());
    for (size_t got = 0; got < count;) {
      const auto n = ReceiveInto(out.data() + got, count - got, deadline, false);
      if (!n) throw EzorReadTimeout(Format("%s did not answer in time", peer));
      if (*n == 0) throw EzorProxyError(Format("%s closed the connection", peer));
      got += *n;
    }
    return out;
  }

  // --- proxy tunnel ------------------------------------------------------

  void OpenTunnel() {
    const auto send_deadline = [&] { return TzorDeadline::After(options.WriteTimeout); };
    const std::string& host = options.Host;
    const uint16_t port = options.Port;
    switch (proxy.ProxyType) {
      case pxyHTTP: {
        RawSendAll(proxy::HttpConnectRequest(proxy, host, port), send_deadline());
        // Read byte by byte so nothing of the tunnelled stream is consumed.
        std::string head;
        while (proxy::HttpHeadEnd(head) == 0) {
          if (head.size() > 16 * 1024) throw EzorProxyError("HTTP proxy sent an oversized answer");
          head += RawReceiveExactly(1, "HTTP proxy");
        }
        proxy::CheckHttpConnectAnswer(head);
        return;
      }
      case pxySocks4: {
        uint32_t ipv4 = 0;
        bool found = false;
        const auto saved = options.IPVersion;
        options.IPVersion = TzorIPVersion::ipV4;
        try {
          for (const auto& entry : Resolve(host, port, TzorDeadline::After(HandshakeTimeout()))) {
            ipv4 = entry.endpoint().address().to_v4().to_uint();
            found = true;
            break;
          }
        } catch (...) {
          options.IPVersion = saved;
          throw;
        }
        options.IPVersion = saved;
        if (!found) throw EzorProxyError(Format("SOCKS 4 needs an IPv4 address for %s", host.c_str()));
        RawSendAll(proxy::Socks4Request(ipv4, port, proxy.Username), send_deadline());
        proxy::CheckSocks4Reply(RawReceiveExactly(proxy::kSocks4ReplySize, "SOCKS 4 proxy"));
        return;
      }
      case pxySocks4A:
        RawSendAll(proxy::Socks4ARequest(host, port, proxy.Username), send_deadline());
        proxy::CheckSocks4Reply(RawReceiveExactly(proxy::kSocks4ReplySize, "SOCKS 4A proxy"));
        return;
      case pxySocks5: {
        const bool with_password = !proxy.Username.empty();
        RawSendAll(proxy::Socks5Greeting(with_password), send_deadline());
        proxy::CheckSocks5MethodReply(RawReceiveExactly(proxy::kSocks5MethodReplySize, "SOCKS 5 proxy"),
                                      with_password);
        if (with_password) {
          RawSendAll(proxy::Socks5PasswordRequest(proxy.Username, proxy.Password), send_deadline());
          proxy::CheckSocks5PasswordReply(RawReceiveExactly(proxy::kSocks5PasswordReplySize, "SOCKS 5 proxy"));
        }
        RawSendAll(proxy::Socks5ConnectRequest(host, port), send_deadline());
        std::string reply = RawReceiveExactly(5, "SOCKS 5 proxy");
        proxy::CheckSocks5Reply(reply);
        reply += RawReceiveExactly(proxy::Socks5ReplySize(reply) - reply.size(), "SOCKS 5 proxy");
        return;
      }
    }
  }

  // --- TLS ----------------------------------------------------------------

  // Sends what the engine has queued. The reader only tries: a writer that
  // holds the lock sends the queued records with its own.
  void FlushEngine(bool must) {
    std::unique_lock lock(writes.Lock(), std::defer_lock);
    if (must) {
      lock.lock();
    } else if (!lock.try_lock()) {
      return;
    }
    std::string out;
    {
      std::lock_guard guard(engine_lock);
      engine->TakeOutgoing(out);
    }
    if (!out.empty()) RawSendAll(out, TzorDeadline::After(options.WriteTimeout));
  }

  void Handshake() {
    const auto deadline = TzorDeadline::After(HandshakeTimeout());
    for (;;) {
      bool done;
      try {
        std::lock_guard guard(engine_lock);
        done = engine->Handshake();
      } catch (...) {
        try {
          FlushEngine(true);  // the alert tells the peer why
        } catch (...) {
        }
        throw;
      }
      FlushEngine(true);
      if (done) return;
      const auto n = ReceiveCiphertext(deadline);
      if (!n) throw EzorReadTimeout("TLS handshake timed out");
      if (*n == 0) throw EzorTLSError("TLS handshake failed: the peer closed the connection");
    }
  }

  void StartTLS(const TzorTLSContext& context) {
    {
      std::lock_guard guard(engine_lock);
      engine = context.NewEngine(tls_host.empty() ? options.Host : tls_host);
    }
    Handshake();
  }

  // --- reading ------------------------------------------------------------

  void Deliver(std::string_view chunk) {
    const auto pause = ShowReceived(chunk);
    received.Add(chunk.size());
    input.Append(chunk);
    PauseFor(pause);
  }

  // Without intercepts nobody else sees the plaintext: it can be decrypted
  // straight to where it is read.
  bool DecryptsStraight() const { return engine && intercepts.empty(); }
  // Plaintext sockets receive anywhere: the intercepts see the bytes there.
  bool FillsStraight() const { return !engine || intercepts.empty(); }

  // Moves more bytes into the input buffer, or with `into` (only when
  // FillsStraight) receives or decrypts into it instead; how many came: 0 when none
  // came before the deadline or the peer has closed. Forced inline: a frame
  // between the reader and the receive call measurably slows the return
  // from a wait in the kernel.
  [[gnu::always_inline]] size_t Fill(const TzorDeadline& deadline, std::span<char> into = {}) {
    if (!open) throw EzorClosedSocket();
    if (engine) return FillDecrypted(deadline, into);
    if (peer_closed) return 0;
    const auto n = RawReceive(deadline, into);
    if (!n) return 0;
    if (*n == 0) peer_closed = true;
    return *n;
  }

  // Fill with TLS: what the engine decrypts, receiving ciphertext as it needs.
  size_t FillDecrypted(const TzorDeadline& deadline, std::span<char> into) {
    for (;;) {
      const bool direct = DecryptsStraight();
      decrypted.clear();
      size_t got;
      bool closed, pending;
      {
        std::lock_guard guard(engine_lock);
        if (!into.empty())
          got = engine->ReadInto(into, fetch);
        else if (direct)
          got = input.AppendWith(kReadChunk, [&](std::span<char> room) { return engine->ReadInto(room, fetch); });
        else
          got = engine->Read(decrypted, kReadChunk);
        closed = engine->PeerClosed();
        pending = engine->HasOutgoing();
      }
      if (got == 0 && fetch_error != 0) {
        const int e = std::exchange(fetch_error, 0);
        if (!open) throw EzorClosedSocket();
        ThrowSocketError("Receive failed", e);
      }
      if (pending) FlushEngine(false);
      if (got > 0) {
        if (!into.empty() || direct)
          received.Add(got);
        else
          Deliver(decrypted);
        return got;
      }
      if (closed || peer_closed) {
        peer_closed = true;
        return 0;
      }
      const auto n = ReceiveCiphertext(deadline);
      if (!n) return 0;
      if (*n == 0) peer_closed = true;  // the engine may still hold records
    }
  }

  // Waits up to ReadTimeout for more bytes (into the input buffer, or with
  // `into` straight there); raises when none come.
  size_t FillOrThrow(std::span<char> into = {}) {
    if (const size_t n = Fill(TzorDeadline::After(options.ReadTimeout), into)) return n;
    if (peer_closed) throw EzorConnClosedGracefully();
    throw EzorReadTimeout("Read timed out.");
  }

  size_t Buffered() const { return input.Size(); }

  // --- writing ------------------------------------------------------------

  // Runs under the write gate's lock.
  void SendNow(std::string_view bytes) {
    if (!open) throw EzorClosedSocket();
    const auto pause = ShowSent(bytes);
    const auto deadline = TzorDeadline::After(options.WriteTimeout);
    size_t at = 0;
    do {
      const std::string_view slice = bytes.substr(at, engine ? kSealSlice : bytes.size());
      sealed.clear();  // also of what a failed send left
      RawSendAll(Seal(slice, sealed), deadline);
      at += slice.size();
    } while (at < bytes.size());
    sent.Add(bytes.size());
    PauseFor(pause);
  }

  void Close(bool notify_peer) {
    if (!open.exchange(false)) return;
    if (notify_peer && engine) {
      try {
        std::lock_guard lock(writes.Lock());
        std::string out;
        {
          std::lock_guard guard(engine_lock);
          engine->Shutdown();
          engine->TakeOutgoing(out);
        }
        RawSendAll(out, TzorDeadline::After(kCloseNotifyTimeoutMs));
      } catch (const std::exception&) {
        // The peer may be gone already; closing goes on.
      }
    }
    // Shutting down wakes a reader waiting in poll(); the descriptor itself
    // is closed only when no thread can still be using it (next Connect or
    // destruction).
    error_code ec;
    socket.shutdown(tcp::socket::shutdown_both, ec);
    for (const auto& intercept : intercepts) intercept->Disconnected();
  }

  void Reset() {
    error_code ec;
    socket.close(ec);
    peer_closed = false;
    drained = false;
    received.Reset();
    sent.Reset();
    {
      std::lock_guard guard(engine_lock);
      engine.reset();
    }
    input.Clear();
  }
};

TzorConnection::TzorConnection() : impl_(std::make_unique<Impl>()) { Bind(*impl_); }

TzorConnection::~TzorConnection() { impl_->Close(true); }

TzorSocketOptions& TzorConnection::Options() { return impl_->options; }
void TzorConnection::SetProxy(const TzorProxySettings& proxy) { impl_->proxy = proxy; }
void TzorConnection::SetTLS(std::shared_ptr<const TzorTLSContext> context) { impl_->tls_context = std::move(context); }
void TzorConnection::SetTLSHost(const std::string& host) { impl_->tls_host = host; }
void TzorConnection::AddIntercept(std::shared_ptr<TzorConnectionIntercept> intercept) {
  impl_->intercepts.push_back(std::move(intercept));
}
void TzorConnection::ClearIntercepts() { impl_->intercepts.clear(); }

void TzorConnection::Connect() {
  Impl& d = *impl_;
  d.Close(true);
  d.Reset();
  try {
    const auto deadline = TzorDeadline::After(d.options.ConnectTimeout);
    if (d.proxy.Enabled)
      d.ConnectSocket(d.proxy.Host, d.proxy.Port, deadline);
    else
      d.ConnectSocket(d.options.Host, d.options.Port, deadline);
    d.ApplySocketOptions();
    d.ends = ReadSocketEndpoints(d.socket);
    d.open = true;
    if (d.proxy.Enabled) d.OpenTunnel();
    if (d.tls_context) d.StartTLS(*d.tls_context);
  } catch (...) {
    d.open = false;
    error_code ec;
    d.socket.close(ec);
    throw;
  }
  for (const auto& intercept : d.intercepts) intercept->Connected();
}

void TzorConnection::StartTLS(std::shared_ptr<const TzorTLSContext> context) {
  if (!impl_->open) throw EzorClosedSocket();
  impl_->tls_context = std::move(context);
  impl_->StartTLS(*impl_->tls_context);
}

size_t TzorConnection::ReadSome(std::string& out, size_t max) {
  if (impl_->Buffered() == 0 && !impl_->Fill(TzorDeadline::After(impl_->options.ReadTimeout))) {
    if (impl_->peer_closed) return 0;
    throw EzorReadTimeout("Read timed out.");
  }
  return impl_->input.Take(out, max);
}

std::string TzorConnection::ReadBytes(size_t count) {
  Impl& d = *impl_;
  std::string out;
  if (d.Buffered() >= count || !d.DecryptsStraight()) {
    while (d.Buffered() < count) d.FillOrThrow();
    d.input.Take(out, count);
    return out;
  }
  // What is missing is decrypted straight into the result, a record's
  // plaintext at a time so that it grows by little more than what comes;
  // if it does not all come, what did waits in the input buffer.
  constexpr size_t kStep = 16 * 1024;
  d.input.Take(out, count);
  out.reserve(std::min(count, kMostReservedAhead));
  for (size_t at = out.size(); at < count; at = out.size()) {
    out.resize(at + std::min(count - at, kStep));
    try {
      out.resize(at + d.FillOrThrow(std::span(out).subspan(at)));
    } catch (...) {
      d.input.Append(std::string_view(out).substr(0, at));
      throw;
    }
  }
  return out;
}

void TzorConnection::ReadBytes(std::span<char> into) {
  Impl& d = *impl_;
  size_t at = d.input.Take(into);
  try {
    while (at < into.size()) {
      if (d.DecryptsStraight())
        at += d.FillOrThrow(into.subspan(at));
      else {
        d.FillOrThrow();
        at += d.input.Take(into.subspan(at));
      }
    }
  } catch (...) {
    d.input.Append(std::string_view(into.data(), at));
    throw;
  }
}

void TzorConnection::CheckForDisconnect() {
  if (!impl_->open) throw EzorClosedSocket();
  if (impl_->Buffered() == 0 && !impl_->peer_closed) impl_->Fill(TzorDeadline::Now());
  if (impl_->peer_closed && impl_->Buffered() == 0) throw EzorConnClosedGracefully();
}

bool TzorConnection::WaitForData(int timeout_ms) { return impl_->Fill(DeadlineIn(timeout_ms)) > 0; }

size_t TzorConnection::ReceiveSome(std::span<char> into, int timeout_ms) {
  Impl& d = *impl_;
  if (d.Buffered() == 0) {
    if (d.FillsStraight()) return d.Fill(DeadlineIn(timeout_ms), into);
    d.Fill(DeadlineIn(timeout_ms));
  }
  return d.input.Take(into);
}

bool TzorConnection::Connected() const { return impl_->open && (!impl_->peer_closed || impl_->Buffered() > 0); }

void TzorConnection::Disconnect(bool notify_peer) { impl_->Close(notify_peer); }

int TzorConnection::NativeHandle() { return impl_->socket.is_open() ? impl_->socket.native_handle() : -1; }

bool TzorConnection::TLSActive() const {
  std::lock_guard guard(impl_->engine_lock);
  return impl_->engine != nullptr;
}

TzorTLSConnectionInfo TzorConnection::TLSInfo() const {
  std::lock_guard guard(impl_->engine_lock);
  return impl_->engine ? impl_->engine->Info() : TzorTLSConnectionInfo{};
}

std::string TzorConnection::NegotiatedALPN() const { return TLSInfo().ALPN; }

}  // namespace zor
