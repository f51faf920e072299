// The close sequence. Whichever threads race into it, the close frame is
// written and the transport closed once.
#include "websocket/ws_connection.h"

#include "net/net_errors.h"

namespace zor {

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
  if (!IsFramed() || Specification() == spHixie76) return;
  {
    std::lock_guard guard(cs_);
    writer_.WriteCloseFrame(aCloseCode);
  }
  LogSent(opClose, aCloseCode >= 0 ? std::to_string(aCloseCode) : std::string());
  FlushOutput();
}

void TzorWSConnection::Close(int aCloseCode) {
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
  if (reading_thread_.load() == std::this_thread::get_id()) {
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

void TzorWSConnection::CloseTransportNow() {
  if (transport_closed_.exchange(true)) return;
  DoCloseTransport();
  if (OnTransportDisconnected) OnTransportDisconnected(this);
}

void TzorWSConnection::DoCloseTransport() { transport_->Disconnect(false); }

}  // namespace zor
