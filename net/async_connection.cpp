#include "net/async_connection.h"

#include <atomic>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <mutex>
#include <stdexcept>

#include "base/format.h"
#include "net/net_errors.h"
#include "net/socket_state.h"

namespace zor {

namespace asio = boost::asio;
using boost::system::error_code;

namespace {
constexpr size_t kReadChunk = 64 * 1024;

using Strand = asio::strand<asio::io_context::executor_type>;

// The strand goes straight on the socket's io_context: one wrapped in the
// socket's own type-erased executor would cost every handler copies of that
// executor (and a second queue when it is a strand itself).
Strand StrandOf(TzorAsyncConnection::Socket& socket) {
  const auto& executor = socket.get_executor();
  if (const auto* plain = executor.target<asio::io_context::executor_type>()) return asio::make_strand(*plain);
  if (const auto* strand = executor.target<Strand>()) return asio::make_strand(strand->get_inner_executor());
  throw std::invalid_argument("an async connection's socket runs on an io_context or a strand of one");
}

// Reads wait for readiness and then take the bytes into the worker thread's
// buffer: an idle connection holds no read buffer of its own.
thread_local std::string t_read_chunk;
}

struct TzorAsyncConnection::Impl : TzorSocketState {
  Impl(TzorAsyncConnection& owner, Socket s, std::shared_ptr<const TzorTLSContext> tls)
      : TzorSocketState([this](std::string_view bytes) { Send(bytes); }, kMaxQueuedBytes),
        self(owner),
        strand(StrandOf(s)),
        socket(std::move(s)),
        read_pause(strand),
        send_pause(strand),
        idle_timer(strand),
        close_timer(strand),
        tls_context(std::move(tls)) {
    ends = ReadSocketEndpoints(socket);
    if (tls_context) engine = tls_context->NewEngine({});
  }

  TzorAsyncConnection& self;
  Strand strand;
  Socket socket;
  asio::steady_timer read_pause, send_pause, idle_timer, close_timer;
  std::shared_ptr<const TzorTLSContext> tls_context;
  Handlers handlers;

  // Strand-only state.
  bool ready = false;
  bool ended = false;
  int idle_timeout_ms = 0;
  std::function<void(TzorAsyncConnection&)> on_idle;
  std::string in_flight;

  std::atomic<bool> open{true};
  std::atomic<bool> peer_closed{false};


  // Write side: the gate orders writers; `queue` holds bytes ready for the
  // socket (already encrypted), guarded by queue_lock.
  std::mutex queue_lock;
  std::string queue;
  bool writing = false;
  bool close_after_write = false;
  TzorConnectionIntercept::Pause pending_send_pause{};

  // --- end of the connection (strand) -------------------------------------

  void End(std::exception_ptr failure) {
    if (ended) return;
    ended = true;
    open = false;
    error_code ec;
    idle_timer.cancel();
    close_timer.cancel();
    read_pause.cancel();
    send_pause.cancel();
    socket.shutdown(Socket::shutdown_both, ec);
    socket.close(ec);
    for (const auto& intercept : intercepts) intercept->Disconnected();
    if (handlers.OnClosed) handlers.OnClosed(self, failure);
    // The owner's handlers usually hold the owner, which holds this
    // connection: let them go, but not from under a handler still running
    // further up this strand's stack.
    asio::post(strand, [ended_handlers = std::move(handlers)] {});
    handlers = {};
  }

  // Whatever is queued (a TLS alert included) goes out first if it can.
  void EndAfterWrites(std::exception_ptr failure) {
    TakeEngineOutput();
    {
      std::lock_guard guard(queue_lock);
      if (writing || !queue.empty()) {
        close_after_write = true;
        close_failure = failure;
        StartWriteLocked();
        return;
      }
    }
    End(failure);
  }
  std::exception_ptr close_failure;

  // Disconnect waits this long for the queue to drain, then gives up on the peer.
  std::atomic<int> close_timeout_ms{kDefaultCloseTimeoutMs};

  void ArmCloseTimer() {
    const int timeout_ms = close_timeout_ms;
    if (timeout_ms <= 0 || ended) return;
    close_timer.expires_after(std::chrono::milliseconds(timeout_ms));
    close_timer.async_wait([keep = self.shared_from_this(), this, timeout_ms](const error_code& ec) {
      if (ec || ended) return;
      End(std::make_exception_ptr(EzorWriteTimeout(
          Format("%s did not take the last bytes within %d ms", ends.PeerIP.c_str(), timeout_ms))));
    });
  }

  // --- reading (strand) -----------------------------------------------------

  void ArmIdleTimer() {
    if (idle_timeout_ms <= 0 || ended) return;
    idle_timer.expires_after(std::chrono::milliseconds(idle_timeout_ms));
    idle_timer.async_wait([keep = self.shared_from_this(), this](const error_code& ec) {
      if (!ec && !ended && on_idle) on_idle(self);
    });
  }

  void ReadNext(TzorConnectionIntercept::Pause pause = {}) {
    if (ended || peer_closed) return;
    if (pause > TzorConnectionIntercept::Pause::zero()) {
      read_pause.expires_after(pause);
      read_pause.async_wait([keep = self.shared_from_this(), this](const error_code& ec) {
        if (!ec) ReadNext();
      });
      return;
    }
    socket.async_wait(Socket::wait_read, asio::bind_executor(strand, [keep = self.shared_from_this(), this](
                                                                         const error_code& ec) { OnReadable(ec); }));
  }

  void OnReadable(error_code ec) {
    if (ended) return;
    if (t_read_chunk.size() != kReadChunk) t_read_chunk.assign(kReadChunk, '\0');
    size_t n = 0;
    if (!ec) {
      n = socket.read_some(asio::buffer(t_read_chunk), ec);
      if (ec == asio::error::would_block || ec == asio::error::try_again) return ReadNext();
    }
    OnRead(ec, std::string_view(t_read_chunk.data(), n));
  }

  void OnRead(const error_code& ec, std::string_view chunk) {
    if (ended) return;
    if (ec) {
      if (ec == asio::error::eof || ec == asio::error::connection_reset || ec == asio::error::operation_aborted) {
        peer_closed = true;
        if (!engine || ready) return EndAfterWrites(nullptr);
        return End(std::make_exception_ptr(EzorTLSError("TLS handshake failed: the peer closed the connection")));
      }
      return End(std::make_exception_ptr(EzorSocketError(Format("Receive failed: %s", ec.message().c_str()), ec.value())));
    }
    ArmIdleTimer();
    // Without TLS the bytes go from the worker's chunk to the input buffer as
    // they are. Once ready and without intercepts nobody else sees the
    // plaintext: it is decrypted straight into the input buffer.
    const bool direct = engine && ready && intercepts.empty();
    std::string decrypted;
    std::string_view plain = chunk;
    size_t got = chunk.size();
    if (engine) {
      try {
        std::lock_guard guard(engine_lock);
        engine->PutIncoming(chunk);
        got = 0;
        if (!engine->HandshakeDone()) engine->Handshake();
        if (engine->HandshakeDone()) got = direct ? DecryptIntoInput(chunk.size()) : engine->Read(decrypted, SIZE_MAX);
      } catch (...) {
        return EndAfterWrites(std::current_exception());
      }
      plain = decrypted;
      TakeEngineOutput();
      if (!ready && EngineReady()) MarkReady();
    }
    TzorConnectionIntercept::Pause pause{};
    if (got > 0) {
      if (!direct) {
        pause = ShowReceived(plain);
        input.Append(plain);
      }
      received.Add(got);
      if (handlers.OnData) handlers.OnData(self);
    }
    if (engine && EnginePeerClosed()) {
      peer_closed = true;
      return EndAfterWrites(nullptr);
    }
    ReadNext(pause);
  }

  // Everything the engine can decrypt, straight into the input buffer, in
  // steps of the size of what came (plaintext is never larger than its
  // ciphertext): an idle connection keeps no more room than its traffic
  // needed. Caller holds engine_lock.
  size_t DecryptIntoInput(size_t step) {
    size_t got = 0;
    for (;;) {
      const size_t n = input.AppendWith(step, [&](std::span<char> room) { return engine->ReadInto(room); });
      got += n;
      if (n == 0 || n < step) return got;
    }
  }

  bool EngineReady() {
    std::lock_guard guard(engine_lock);
    return engine->HandshakeDone();
  }
  bool EnginePeerClosed() {
    std::lock_guard guard(engine_lock);
    return engine->PeerClosed();
  }

  void MarkReady() {
    ready = true;
    for (const auto& intercept : intercepts) intercept->Connected();
    if (handlers.OnReady) handlers.OnReady(self);
  }

  // --- writing (any thread) ---------------------------------------------------

  void TakeEngineOutput() {
    if (!engine) return;
    std::lock_guard order(writes.Lock());
    std::string out;
    {
      std::lock_guard guard(engine_lock);
      engine->TakeOutgoing(out);
    }
    if (!out.empty()) QueueRaw(out);
  }

  // Runs under the write gate's lock, so bytes reach the queue in the order they were written.
  void Send(std::string_view bytes) {
    if (!open || close_requested) throw EzorClosedSocket();
    const auto pause = ShowSent(bytes);
    sent.Add(bytes.size());
    std::string sealed;
    QueueRaw(Seal(bytes, sealed), pause);
  }
  std::atomic<bool> close_requested{false};

  void QueueRaw(std::string_view bytes, TzorConnectionIntercept::Pause pause = {}) {
    std::lock_guard guard(queue_lock);
    if (queue.size() + bytes.size() > kMaxQueuedBytes)
      throw EzorSocketError(Format("More than %d bytes wait to be sent to %s", static_cast<int>(kMaxQueuedBytes),
                                   ends.PeerIP.c_str()));
    if (WriteAtOnce(bytes, pause)) return;
    queue += bytes;
    pending_send_pause += pause;
    StartWriteLocked();
  }

  // Caller holds queue_lock. On the strand, with nothing in flight or
  // queued, the socket takes what it can at once: an answer written by a
  // handler costs no round trip through the strand. Takes the bytes sent off
  // `bytes`; true when none are left.
  bool WriteAtOnce(std::string_view& bytes, TzorConnectionIntercept::Pause pause) {
    if (writing || !queue.empty() || ended || pause > TzorConnectionIntercept::Pause::zero() ||
        pending_send_pause > TzorConnectionIntercept::Pause::zero() || !strand.running_in_this_thread())
      return false;
    error_code ec;
    const size_t n = socket.write_some(asio::buffer(bytes.data(), bytes.size()), ec);
    // A failure is left to the queued write, which reports it.
    if (ec) return false;
    bytes.remove_prefix(n);
    return bytes.empty();
  }

  // Caller holds queue_lock.
  void StartWriteLocked() {
    if (writing) return;
    writing = true;
    asio::post(strand, [keep = self.shared_from_this(), this] { WriteNext(); });
  }

  // Strand: one write in flight; everything queued meanwhile goes out in the next one.
  void WriteNext() {
    TzorConnectionIntercept::Pause pause{};
    bool close_now = false;
    {
      std::lock_guard guard(queue_lock);
      if (ended || queue.empty()) {
        writing = false;
        close_now = !ended && close_after_write;
        close_after_write = false;
      } else {
        in_flight.swap(queue);
        queue.clear();
        pause = pending_send_pause;
        pending_send_pause = {};
      }
    }
    // Handlers run by End may write or disconnect: no lock is held here.
    if (close_now) return End(close_failure);
    if (in_flight.empty()) return;
    asio::async_write(socket, asio::buffer(in_flight),
                      asio::bind_executor(strand, [keep = self.shared_from_this(), this, pause](const error_code& ec, size_t) {
                        if (ended) return;
                        in_flight.clear();
                        if (ec) {
                          {
                            std::lock_guard guard(queue_lock);
                            writing = false;
                            queue.clear();
                          }
                          End(std::make_exception_ptr(
                              EzorSocketError(Format("Send failed: %s", ec.message().c_str()), ec.value())));
                          return;
                        }
                        if (pause <= TzorConnectionIntercept::Pause::zero()) return WriteNext();
                        send_pause.expires_after(pause);
                        send_pause.async_wait([keep, this](const error_code&) { WriteNext(); });
                      }));
  }
};

std::shared_ptr<TzorAsyncConnection> TzorAsyncConnection::Create(Socket socket,
                                                                 std::shared_ptr<const TzorTLSContext> tls,
                                                                 std::shared_ptr<void> io_owner) {
  return std::shared_ptr<TzorAsyncConnection>(
      new TzorAsyncConnection(std::move(socket), std::move(tls), std::move(io_owner)));
}

TzorAsyncConnection::TzorAsyncConnection(Socket socket, std::shared_ptr<const TzorTLSContext> tls,
                                         std::shared_ptr<void> io_owner)
    : io_owner_(std::move(io_owner)), impl_(std::make_unique<Impl>(*this, std::move(socket), std::move(tls))) {
  Bind(*impl_);
}

TzorAsyncConnection::~TzorAsyncConnection() = default;

void TzorAsyncConnection::AddIntercept(std::shared_ptr<TzorConnectionIntercept> intercept) {
  impl_->intercepts.push_back(std::move(intercept));
}

void TzorAsyncConnection::Start(Handlers handlers) {
  Dispatch([this, handlers = std::move(handlers)]() mutable {
    Impl& d = *impl_;
    // Aborted before the start (a socket the owner refused): the owner still
    // hears of the end, and nothing keeps its handlers.
    if (d.ended) {
      if (handlers.OnClosed) handlers.OnClosed(*this, nullptr);
      return;
    }
    d.handlers = std::move(handlers);
    // A socket closed before the start (an accept that lost its connection)
    // is never ready: it only ends.
    if (!d.socket.is_open()) return d.End(std::make_exception_ptr(EzorClosedSocket()));
    // Reads and writes made on the strand never wait.
    error_code ec;
    d.socket.non_blocking(true, ec);
    d.ArmIdleTimer();
    if (!d.engine) d.MarkReady();
    d.ReadNext();
  });
}

void TzorAsyncConnection::Dispatch(std::function<void()> work) {
  asio::dispatch(impl_->strand, [keep = shared_from_this(), work = std::move(work)] { work(); });
}

void TzorAsyncConnection::SetIdleTimeout(int timeout_ms, std::function<void(TzorAsyncConnection&)> on_idle) {
  Dispatch([this, timeout_ms, on_idle = std::move(on_idle)]() mutable {
    impl_->idle_timeout_ms = timeout_ms;
    impl_->on_idle = std::move(on_idle);
    impl_->idle_timer.cancel();
    impl_->ArmIdleTimer();
  });
}

void TzorAsyncConnection::RunAfter(int timeout_ms, std::function<void()> work) {
  auto timer = std::make_shared<asio::steady_timer>(impl_->strand, std::chrono::milliseconds(timeout_ms));
  timer->async_wait([keep = shared_from_this(), timer, work = std::move(work)](const error_code& ec) {
    if (!ec && !keep->impl_->ended) work();
  });
}

bool TzorAsyncConnection::WaitForData(int) { return InputBufferSize() > 0; }


bool TzorAsyncConnection::Connected() const {
  return impl_->open && !impl_->close_requested && (!impl_->peer_closed || InputBufferSize() > 0);
}

void TzorAsyncConnection::Disconnect(bool notify_peer) {
  Impl& d = *impl_;
  {
    std::lock_guard lock(d.writes.Lock());
    if (d.close_requested.exchange(true)) return;
    if (notify_peer && d.engine && d.open) {
      std::lock_guard guard(d.engine_lock);
      d.engine->Shutdown();
    }
  }
  try {
    d.TakeEngineOutput();
  } catch (const EzorSocketError&) {
    return Abort();  // the queue is full: the peer does not read, nothing more would reach it
  }
  std::lock_guard guard(d.queue_lock);
  d.close_after_write = true;
  if (!d.writing) {
    d.writing = true;
    asio::post(d.strand, [keep = shared_from_this(), this] { impl_->WriteNext(); });
  }
  asio::post(d.strand, [keep = shared_from_this(), this] { impl_->ArmCloseTimer(); });
}

void TzorAsyncConnection::SetCloseTimeout(int timeout_ms) { impl_->close_timeout_ms = timeout_ms; }

void TzorAsyncConnection::Abort() {
  impl_->close_requested = true;
  // Closing the socket cancels the write in progress; its handler sees the end.
  asio::post(impl_->strand, [keep = shared_from_this(), this] { impl_->End(nullptr); });
}

TzorTLSConnectionInfo TzorAsyncConnection::TLSInfo() const {
  std::lock_guard guard(impl_->engine_lock);
  return impl_->engine ? impl_->engine->Info() : TzorTLSConnectionInfo{};
}

std::string TzorAsyncConnection::NegotiatedALPN() const { return TLSInfo().ALPN; }

}  // namespace zor
