// The close sequence. Whichever threads race into it, the close frame is
// written and the transport closed once.
#include "websocket/ws_connection.h"

#include "net/net_errors.h"

#include <chrono>

namespace zor {

namespace {

int64_t SteadyNow() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

}  // namespace

void TzorWSConnection::SetDisconnected(bool value) {
  if (!value) {
    disconnected_ = false;
    return;
  }
  if (disconnected_.exchange(true)) return;
  FreeQueues();
  // Waiters for a pong or an answer give up.
  pings_.Abandon();
  { std::lock_guard guard(fields_lock_); }
  msg_received_.notify_all();
}

void TzorWSConnection::SendCloseFrame(int aCloseCode) {
  SetDisconnected(true);
  ClearInput();
  if (ClaimCloseFrame()) WriteCloseFrame(aCloseCode);
}

bool TzorWSConnection::ClaimCloseFrame() {
  return IsFramed() && Specification() != spHixie76 && !close_sent_.exchange(true);
}

void TzorWSConnection::WriteCloseFrame(int aCloseCode) {
  {
    std::lock_guard guard(cs_);
    writer_.WriteCloseFrame(aCloseCode);
  }
  LogSent(opClose, aCloseCode >= 0 ? std::to_string(aCloseCode) : std::string());
  FlushOutput();
}

void TzorWSConnection::Close(int aCloseCode) {
  if (!transport_closed_ && ClaimCloseFrame()) {
    // The read loop reads on for the answer before our frame can bring it;
    // what is buffered stays, as the peer's own close may be there already.
    const auto timeout = std::chrono::milliseconds(close_timeout_.load());
    close_deadline_ = SteadyNow() + std::chrono::duration_cast<std::chrono::nanoseconds>(timeout).count();
    SetDisconnected(true);
    try {
      WriteCloseFrame(aCloseCode);
    } catch (...) {
      close_deadline_ = 0;
      throw;
    }
    if (OnAwaitCloseAnswer && AwaitingCloseAnswer()) OnAwaitCloseAnswer(this);
    return;
  }
  SetDisconnected(true);
  if (IsFramed())
    SendCloseFrame(aCloseCode);
  else if (transport_kind_ == trpHTTP2)
    CloseHTTP2(aCloseCode);
  else
    DoDisconnect(std::string(), aCloseCode);
}

void TzorWSConnection::Disconnect(int aCloseCode) {
  SetDisconnected(true);
  DoDisconnect(std::string(), aCloseCode);
}

void TzorWSConnection::DoDisconnect(const std::string& aMessage, int aCloseCode) {
  if (!disconnected_ && !HasTransport()) return;
  if (do_disconnect_.exchange(true)) return;
  // Nothing more is read on this pass.
  if (reading_thread_.load() == ThisThreadToken()) {
    reader_.Stop();
    if (hixie_reader_) hixie_reader_->Stop();
    if (tcp_reader_) tcp_reader_->Stop();
  }
  if (!before_disconnect_.exchange(true)) DoBeforeDisconnect();
  SetDisconnected(true);
  if (clean_disconnect_) {
    try {
      SendCloseFrame(aCloseCode);
    } catch (...) {
      // The peer may be gone already; the transport is closed all the same.
    }
  }
  try {
    DisconnectPeer(false);
  } catch (const EzorSilentException&) {
    if (raise_disconnect_exceptions_) throw;
  }
  if (!aMessage.empty() && raise_disconnect_exceptions_) throw TzorWSException(aMessage);
}

void TzorWSConnection::DisconnectPeer(bool /*aCallOnDisconnectIfClosed*/) {
  // Whether or not the transport is still open, it is closed (again) and the
  // owner hears of it once through OnTransportDisconnected.
  if (!HasTransport()) return;
  SetDisconnected(true);
  ClearInput();
  CloseTransport();
}

void TzorWSConnection::DropConnection() {
  SetDisconnected(true);
  // A close sequence under way (or done) closes the transport itself.
  if (do_disconnect_.exchange(true)) return;
  DisconnectPeer(true);
}

void TzorWSConnection::CloseTransport() {
  {
    std::lock_guard guard(out_lock_);
    if (flushing_) {
      close_after_flush_ = true;
      return;
    }
  }
  CloseTransportNow();
}

int TzorWSConnection::CloseAnswerTimeLeft() const {
  const int64_t deadline = close_deadline_;
  if (deadline == 0) return 0;
  const int64_t left = deadline - SteadyNow();
  return left <= 0 ? 0 : static_cast<int>((left + 999999) / 1000000);
}

void TzorWSConnection::DropIfCloseAnswerOverdue() {
  const int64_t deadline = close_deadline_;
  if (deadline == 0 || SteadyNow() < deadline) return;
  // No answer in time: the transport is closed without one.
  DropConnection();
}

void TzorWSConnection::CloseTransportNow() {
  close_deadline_ = 0;
  if (transport_closed_.exchange(true)) return;
  DoCloseTransport();
  if (OnTransportDisconnected) OnTransportDisconnected(this);
}

void TzorWSConnection::DoCloseTransport() { transport_->Disconnect(false); }

}  // namespace zor
