// The connection's write side: messages and pings assembled under the
// connection lock into the output buffer (or left in a queue level), and the
// one writer at a time that hands the buffer to the transport.
#include "websocket/ws_connection.h"

#include "base/format.h"
#include "net/net_errors.h"
#include "net/traffic_log.h"
#include "websocket/server_sent_event.h"

#include <cerrno>

namespace zor {

namespace {

// Above this the buffer of the write in progress is given back after it.
constexpr size_t kKeptOutputCapacity = 1 << 16;

// The errors of a connection the peer reset or aborted.
bool IsConnectionLost(const std::exception& e) {
  const auto* socket = dynamic_cast<const EzorSocketError*>(&e);
  if (!socket) return false;
  const int code = socket->Code();
  return code == ECONNRESET || code == EPIPE || code == ECONNABORTED || code == ENETRESET;
}

}  // namespace

// --- messages ---------------------------------------------------------------------

void TzorWSConnection::WriteData(const std::string& aText, int aSize, TwsStreaming aStreaming) {
  if (const TwsQueueMsgLevels level = queue_options_.Text().Level(); level != qmNone) {
    auto item = std::make_unique<TzorQueueObject>();
    item->OpCode = opText;
    item->Text = aText;
    item->Size = aSize;
    item->Streaming = aStreaming;
    return Queue(level, std::move(item));
  }
  DoWriteText(aText, aSize, aStreaming);
  FlushOutput(true);
}

void TzorWSConnection::WriteData(const TzorStringStream& aStream, int aSize, TwsStreaming aStreaming) {
  if (const TwsQueueMsgLevels level = queue_options_.Binary().Level(); level != qmNone) {
    auto item = std::make_unique<TzorQueueObject>();
    item->OpCode = opBinary;
    item->Stream = aStream.DataString();
    item->Size = aSize;
    item->Streaming = aStreaming;
    return Queue(level, std::move(item));
  }
  DoWriteStream(aStream.DataString(), aSize, aStreaming);
  FlushOutput(true);
}

void TzorWSConnection::DoWriteText(const std::string& aText, int aSize, TwsStreaming aStreaming) {
  if (transport_kind_ == trpSSE) return WriteRaw(ServerSentEvent(aText));
  if (IsRaw()) return WriteRaw(aText);
  {
    std::lock_guard guard(cs_);
    CheckRoom(aText.size());
    writer_.DoWriteText(aText, aSize, aStreaming);
  }
  LogSent(opText, aText);
}

void TzorWSConnection::DoWriteStream(std::string_view aStream, int aSize, TwsStreaming aStreaming) {
  if (transport_kind_ == trpSSE) return WriteRaw(ServerSentEvent(aStream));
  if (IsRaw()) return WriteRaw(aStream);
  {
    std::lock_guard guard(cs_);
    CheckRoom(aStream.size());
    // A whole message split into frames is compressed once, as a whole, so
    // that its frames form one deflate stream. A copy is compressed: the
    // caller's data stays as it was. Streamed pieces go out uncompressed,
    // like text pieces: compressed one by one they would not inflate.
    std::string compressed;
    bool deflated = false;
    if (aStreaming == stmNone && aSize > 0 && extensions_.Compression() && Specification() != spHixie76) {
      compressed.assign(aStream);
      try {
        deflated = extensions_.WriteStream(compressed);
      } catch (const std::exception& e) {
        throw TzorWSException(Format("Error Inflating Frame: %s", e.what()));
      }
    }
    writer_.DoWriteStream(deflated ? std::string_view(compressed) : aStream, aSize, aStreaming, deflated);
  }
  LogSent(opBinary, aStream);
}

void TzorWSConnection::WriteRaw(std::string_view bytes) {
  std::lock_guard guard(cs_);
  CheckRoom(bytes.size());
  WriteFrame(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string TzorWSConnection::WriteAndWaitData(const std::string& aText, int aTimeOut) {
  SetMsgReceived({});
  WriteData(aText, 0, stmNone);
  FlushOutput();
  if (aTimeOut <= 0) return {};
  std::unique_lock guard(fields_lock_);
  msg_received_.wait_for(guard, std::chrono::milliseconds(aTimeOut),
                         [this] { return !msg_received_text_.empty() || disconnected_; });
  return msg_received_text_;
}

// --- pings --------------------------------------------------------------------------

void TzorWSConnection::Ping(const std::string& aText) {
  if (const TwsQueueMsgLevels level = queue_options_.Ping().Level(); level != qmNone) {
    auto item = std::make_unique<TzorQueueObject>();
    item->OpCode = opPing;
    item->Text = aText;
    return Queue(level, std::move(item));
  }
  DoPing(aText);
  FlushOutput(true);
}

bool TzorWSConnection::Ping(const std::string& aText, int aTimeOut) {
  // An earlier pong with the same text must not answer this ping.
  pings_.ClearPong();
  Ping(aText);
  FlushOutput();
  if (aTimeOut <= 0) return false;
  return pings_.WaitForPong(aText, std::chrono::milliseconds(aTimeOut));
}

void TzorWSConnection::DoPing(const std::string& aText) {
  switch (transport_kind_.load()) {
    case trpSSE:
      pings_.Sent(aText, false);
      return WriteRaw(ServerSentEvent(aText, "Ping"));
    case trpTCP:
      pings_.Sent(aText, false);
      return WriteRaw(aText);
    case trpHTTP2:
      pings_.Sent(aText, false);
      return WriteHTTP2Ping(aText);
    default:
      if (!IsFramed() || Specification() == spHixie76) return;
      {
        std::lock_guard guard(cs_);
        CheckRoom(aText.size());
        pings_.Sent(aText, true);
        writer_.WriteTextFrame(aText, opPing, false);
      }
      LogSent(opPing, aText);
  }
}

// --- queue levels ---------------------------------------------------------------------

void TzorWSConnection::Queue(TwsQueueMsgLevels level, std::unique_ptr<TzorQueueObject> item) {
  if (disconnected_) return;  // a disconnected connection drops what is queued
  const uint64_t bytes = item->Bytes();
  const uint64_t before = queued_bytes_.fetch_add(bytes);
  if (before > 0 && before + bytes > max_queued_bytes_) {
    queued_bytes_ -= bytes;
    ThrowQueueFull(before);
  }
  QueueLevels(true)[level - qmLevel0].Add(std::move(item));
}

void TzorWSConnection::ProcessQueues() {
  TzorQueueList* levels = QueueLevels(false);
  for (int i = 0; levels && i < 3; ++i) {
    TzorQueueList::TItems items = levels[i].TakeAll();
    for (const auto& item : items) queued_bytes_ -= item->Bytes();
    for (const auto& item : items) SendQueued(*item);
  }
  FlushOutput();
}

void TzorWSConnection::SendQueued(TzorQueueObject& item) {
  switch (item.OpCode) {
    case opPing:
      return DoPing(item.Text);
    case opBinary:
      return DoWriteStream(item.Stream, item.Size, item.Streaming);
    default:
      return DoWriteText(item.Text, item.Size, item.Streaming);
  }
}

void TzorWSConnection::FreeQueues() {
  TzorQueueList* levels = QueueLevels(false);
  for (int i = 0; levels && i < 3; ++i)
    for (const auto& item : levels[i].TakeAll()) queued_bytes_ -= item->Bytes();
}

TzorQueueList* TzorWSConnection::QueueLevels(bool create) {
  std::lock_guard guard(out_lock_);
  if (!queue_levels_ && create) queue_levels_ = std::make_unique<TzorQueueList[]>(3);
  return queue_levels_.get();
}

// --- output buffer ----------------------------------------------------------------------

void TzorWSConnection::ThrowQueueFull(uint64_t waiting) {
  throw TzorWSException(Format("Error writing message %s.",
                               Format("Outgoing queue full: %llu bytes wait to be sent",
                                      static_cast<unsigned long long>(waiting))
                                   .c_str()));
}

void TzorWSConnection::WriteFrame(const uint8_t* data, size_t size) {
  AppendOutput({{}, std::string_view(reinterpret_cast<const char*>(data), size), nullptr});
}

void TzorWSConnection::AppendOutput(const TzorWSFrameParts& frame) {
  const size_t size = frame.Size();
  std::lock_guard guard(out_lock_);
  frame.CopyTo(reinterpret_cast<uint8_t*>(out_.Room(size).data()));
  out_.Commit(size);
  out_size_.store(out_.Size(), std::memory_order_relaxed);
  send_bytes_.Add(size);
}

inline void TzorWSConnection::SendToTransport(std::string_view bytes) {
  if (!transport_) throw EzorClosedSocket();
  if (!has_frame_log_) return transport_->Write(bytes);
  auto log = FrameLog();
  if (log) log->SetRawLog(false);  // the frames are logged decoded
  try {
    transport_->Write(bytes);
  } catch (...) {
    if (log) log->SetRawLog(true);
    throw;
  }
  if (log) log->SetRawLog(true);
}

void TzorWSConnection::FlushNow() {
  std::unique_lock guard(out_lock_);
  if (flushing_) return;  // the writer at work takes these bytes too
  flushing_ = true;
  while (out_.Size() > 0) {
    in_flight_.Swap(out_);
    out_size_.store(0, std::memory_order_relaxed);
    guard.unlock();
    try {
      SendToTransport(in_flight_.Front());
    } catch (const std::exception& e) {
      guard.lock();
      out_.Clear();
      out_size_.store(0, std::memory_order_relaxed);
      in_flight_.Clear();
      flushing_ = false;
      const bool close = std::exchange(close_after_flush_, false);
      guard.unlock();
      if (close) {
        try {
          CloseTransportNow();
        } catch (...) {
          // The write failure is the one to report.
        }
      }
      ThrowWriteFailure(e);
    }
    guard.lock();
    in_flight_.Clear();
    if (in_flight_.Capacity() > kKeptOutputCapacity) in_flight_ = TzorByteQueue();
  }
  flushing_ = false;
  const bool close = std::exchange(close_after_flush_, false);
  guard.unlock();
  if (close) CloseTransportNow();
}

void TzorWSConnection::ThrowWriteFailure(const std::exception& e) {
  if (IsConnectionLost(e)) SetDisconnected(true);
  throw TzorWSException(Format("Error writing message %s.", e.what()));
}

}  // namespace zor
