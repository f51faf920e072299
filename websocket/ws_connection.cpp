// The connection's core: transport, properties and the read side (read loop,
// message completion, pongs).
#include "websocket/ws_connection.h"

#include "base/format.h"
#include "base/random.h"
#include "net/traffic_log.h"

#include <algorithm>

namespace zor {

namespace {

// The bytes of a read pass go through one buffer per thread rather than one
// per connection: an idle connection keeps none. It keeps its size, so that
// receiving into it clears nothing.
thread_local std::string t_read_chunk;
constexpr size_t kKeptChunkCapacity = 1 << 16;
// A delivered message's buffer up to this size serves the reader's next
// one: small messages cost no allocation each.
constexpr size_t kKeptPayloadCapacity = 4096;

// Hands `used` back to the reader's `payload`, unless a read pass that the
// handler ran has begun a message there.
void GiveBackRoom(std::string& payload, std::string used) {
  if (!payload.empty() || used.capacity() > kKeptPayloadCapacity || used.capacity() <= payload.capacity()) return;
  used.clear();
  payload = std::move(used);
}

}  // namespace

const char* OpcodeName(TOpcode op) {
  static const char* const kNames[] = {"continuation", "text", "binary", "close", "ping", "pong", "none"};
  return kNames[op];
}

TzorWSConnection::TzorWSConnection() = default;
TzorWSConnection::~TzorWSConnection() = default;

void TzorWSConnection::AttachTransport(std::shared_ptr<TzorTransport> transport) { transport_ = std::move(transport); }

bool TzorWSConnection::Active() const {
  try {
    return transport_ && transport_->Connected();
  } catch (...) {
    return false;
  }
}

size_t TzorWSConnection::BufferedByteCount() const { return transport_ ? transport_->InputBufferSize() : 0; }

void TzorWSConnection::ClearInput() {
  if (transport_ && transport_->InputBufferSize() > 0) transport_->ClearInput();
}

void TzorWSConnection::SetMaxMessageSize(uint64_t value) {
  reader_.SetMaxMessageSize(value);
  if (hixie_reader_) hixie_reader_->SetMaxMessageSize(value);
  if (tcp_reader_) tcp_reader_->SetMaxMessageSize(value);
}

// --- read loop ----------------------------------------------------------------

// Marks the reading thread for a read pass, so that answers its handlers
// write wait for the end of the pass and go out together.
class TzorWSConnection::ReadPass {
 public:
  explicit ReadPass(TzorWSConnection& c) : c_(c) { Resume(); }
  ~ReadPass() { Pause(); }
  // Only the reading thread ever finds its own token here: no ordering needed.
  void Pause() { c_.reading_thread_.store(0, std::memory_order_relaxed); }
  void Resume() { c_.reading_thread_.store(ThisThreadToken(), std::memory_order_relaxed); }

 private:
  TzorWSConnection& c_;
};

void TzorWSConnection::ReadFrames(bool aRequireMask, std::optional<int> wait) {
  if (!enabled_) {
    // After a wait only arriving bytes move the handshake on.
    if (wait && transport_ && transport_->InputBufferSize() == 0 && !transport_->WaitForData(*wait)) return;
    return ReadHandshakeResponse();
  }
  reader_.SetRequireMask(aRequireMask);
  // A pass that a handler starts on another connection gets a buffer of its own.
  std::string chunk = std::move(t_read_chunk);
  const size_t room = static_cast<size_t>(read_buffer_size_);
  if (chunk.size() < room) chunk.resize(room);
  auto keepChunk = [&] {
    if (chunk.capacity() <= kKeptChunkCapacity) t_read_chunk = std::move(chunk);
  };
  // Whether and how long the next read may wait for bytes.
  bool waits = wait.has_value();
  int timeout = wait.value_or(0);
  try {
    ReadPass pass(*this);
    while (transport_ && ReadsFrames() && !must_disconnect_ && (waits || transport_->InputBufferSize() > 0)) {
      // Without buffered bytes the transport receives straight into the chunk.
      const size_t n = transport_->ReceiveSome(std::span(chunk.data(), room), waits ? timeout : 0);
      waits = false;
      if (n == 0) break;
      rec_bytes_.Add(n);
      ReadStep(std::string_view(chunk.data(), n));
      if (transport_->InputBufferSize() == 0 && ReadsFrames() && !must_disconnect_) {
        // Only a frame split over segments or the peer's close answer is worth
        // waiting for here; otherwise the caller's own wait is one receive
        // call, not a poll and one.
        if (!WithinFrame() && !AwaitingCloseAnswer()) break;
        // Answers go out before waiting for the rest of a frame.
        pass.Pause();
        FlushOutput();
        pass.Resume();
        waits = true;
        timeout = NextWait();
      }
    }
  } catch (...) {
    keepChunk();
    FlushAfterFailure();
    throw;
  }
  keepChunk();
  FlushOutput();
  AfterReadFrames();
  CheckCloseAnswer();
}

inline bool TzorWSConnection::WithinFrame() const {
  const auto kind = transport_kind_.load();
  const bool rfc6455 = kind != trpTCP && kind != trpRFC8441 && kind != trpHTTP2 && Specification() != spHixie76;
  return !rfc6455 || !reader_.BetweenFrames();
}

int TzorWSConnection::NextWait() const {
  // A wait for the peer's close answer ends on time even where reads wait
  // without end (-1): the pass returns and closes the transport.
  if (!AwaitingCloseAnswer()) return read_timeout_;
  const int left = CloseAnswerTimeLeft();
  return read_timeout_ < 0 ? left : std::min(read_timeout_, left);
}

void TzorWSConnection::ReadFramesOf(std::string_view bytes, bool aRequireMask) {
  reader_.SetRequireMask(aRequireMask);
  try {
    ReadPass pass(*this);
    rec_bytes_.Add(bytes.size());
    ReadStep(bytes);
  } catch (...) {
    FlushAfterFailure();
    throw;
  }
  FlushOutput();
}

void TzorWSConnection::FlushAfterFailure() {
  try {
    FlushOutput();
  } catch (...) {
    // The read failure is the one to report.
  }
}

inline void TzorWSConnection::ReadStep(std::string_view bytes) {
  switch (transport_kind_.load()) {
    case trpTCP:
      return TCPReader().Read(bytes);
    case trpRFC8441:
      return ReadRFC8441Data(bytes);
    case trpHTTP2:
      return ReadHTTP2Data(bytes);
    default:
      return ReadWebSocketFrames(bytes);
  }
}

TzorWSHixie76Reader& TzorWSConnection::HixieReader() {
  if (!hixie_reader_) {
    hixie_reader_ = std::make_unique<TzorWSHixie76Reader>(static_cast<TzorWSFrameEvents&>(*this),
                                                          static_cast<TzorWSFrameSink&>(*this));
    hixie_reader_->SetMaxMessageSize(MaxMessageSize());
  }
  return *hixie_reader_;
}

TzorTCPFrameReader& TzorWSConnection::TCPReader() {
  if (!tcp_reader_) {
    tcp_reader_ = std::make_unique<TzorTCPFrameReader>(static_cast<TzorWSFrameEvents&>(*this));
    tcp_reader_->SetMaxMessageSize(MaxMessageSize());
  }
  return *tcp_reader_;
}

void TzorWSConnection::ReadRFC8441Data(std::string_view bytes) { ReadWebSocketFrames(bytes); }
void TzorWSConnection::ReadHTTP2Data(std::string_view) {}
void TzorWSConnection::WriteHTTP2Ping(const std::string&) {}
void TzorWSConnection::CloseHTTP2(int) { Disconnect(kCloseNormal); }

// --- messages -----------------------------------------------------------------

void TzorWSConnection::DoMessageComplete(TzorWSMsg& msg) {
  // After our close only the peer's close counts (the reader handles it).
  if (disconnected_) return;
  if (msg.OpCode != opText && msg.OpCode != opBinary) return DoWholeMessage(msg);
  switch (fragmented_messages_.load()) {
    case frgOnlyBuffer:
      // Fragments stay in the message; text is checked early when asked to.
      if (!msg.Fragmented) return DoWholeMessage(msg);
      if (msg.OpCode == opText && ValidateUTF8() && !extensions_.MessageCompressed()) CheckTextFragment(msg);
      return;
    case frgOnlyFragmented:
      return DoFragment(msg);
    case frgAll:
      DoFragment(msg);
      // The fragments were inflated as they came.
      if (!msg.Fragmented && !disconnected_) DoWholeMessage(msg, false);
      return;
  }
}

bool TzorWSConnection::CheckTextFragment(const TzorWSMsg& msg) {
  const std::string_view fresh = std::string_view(msg.Stream).substr(text_checked_);
  text_checked_ = msg.Stream.size();
  const bool good = text_check_.Add(fresh, !msg.Fragmented);
  if (good && msg.Fragmented) return true;
  text_check_.Reset();
  text_checked_ = 0;
  if (!good) DoDisconnect("Invalid UTF8 message", kCloseInvalidPayload);
  return good;
}

void TzorWSConnection::DoFragment(TzorWSMsg& msg) {
  const bool onlyFragments = fragmented_messages_ == frgOnlyFragmented;
  if (!msg.Continuation) inflated_ = 0;
  if (extensions_.MessageCompressed() && !InflateFragment(msg)) return;
  // Without whole messages, each fragment's text is checked as it comes.
  if (msg.OpCode == opText && (onlyFragments || ValidateUTF8()) && !CheckTextFragment(msg)) return;
  if (OnFragmented) {
    const TzorStringStream data(onlyFragments ? std::move(msg.Stream) : msg.Stream);
    OnFragmented(this, data, msg.OpCode, msg.Fragmented);
  }
  if (onlyFragments) {
    msg.Stream.clear();
    text_checked_ = 0;
    inflated_ = 0;
  }
}

bool TzorWSConnection::InflateFragment(TzorWSMsg& msg) {
  // The message holds the plaintext of its earlier frames (frgAll) and this
  // frame's compressed bytes; what it holds stays within MaxMessageSize.
  if (!InflateMessage(msg.Stream, {inflated_, !msg.Continuation, !msg.Fragmented}, MaxMessageSize() - inflated_))
    return false;
  inflated_ = msg.Stream.size();
  return true;
}

inline void TzorWSConnection::DoWholeMessage(TzorWSMsg& msg, bool inflate) {
  switch (msg.OpCode) {
    case opText:
    case opBinary:
      text_check_.Reset();
      text_checked_ = 0;
      inflated_ = 0;
      if (inflate && !msg.Stream.empty() && extensions_.MessageCompressed() &&
          !InflateMessage(msg.Stream, {}, MaxMessageSize()))
        return;
      LogReceived(msg.OpCode, msg.Stream);
      if (msg.OpCode == opText)
        DeliverText(msg.Stream);
      else
        DeliverBinary(msg.Stream);
      return;
    case opPing:
      if (!IsFramed() || Specification() == spHixie76) return;
      {
        std::lock_guard guard(cs_);
        CheckRoom(msg.Stream.size());
        writer_.WriteStreamFrame(msg.Stream, opPong, false);
      }
      LogSent(opPong, msg.Stream);
      return FlushOutput(true);
    case opPong:
      return MatchPong(msg.Stream);
    default:
      return;  // a close frame is the reader's to handle
  }
}

bool TzorWSConnection::InflateMessage(std::string& payload, TzorMessagePart part, uint64_t maxSize) {
  try {
    extensions_.ReadStream(payload, part, maxSize);
    return true;
  } catch (const EzorWSMessageTooBig& e) {
    DoDisconnect(e.what(), kCloseMessageTooBig);
  } catch (const std::exception& e) {
    DoDisconnect(Format("Error Deflating Frame: %s", e.what()), kCloseInvalidPayload);
  }
  return false;
}

void TzorWSConnection::DeliverText(std::string& payload) {
  // Whole text must be UTF-8 whether or not fragments were checked early.
  if (!IsWellFormedUTF8(payload)) return DoDisconnect("Invalid UTF8 message", kCloseInvalidPayload);
  std::string text;
  text.swap(payload);
  SetMsgReceived(text);
  if (OnMessage) OnMessage(this, text);
  GiveBackRoom(payload, std::move(text));
}

// Inline here, as DeliverKeptBinary: the path of every binary message.
inline void TzorWSConnection::DeliverBinary(std::string& payload) {
  if (keep_binary_received_) return DeliverKeptBinary(payload);
  TzorStringStream data(std::move(payload));
  payload.clear();
  if (OnBinary) OnBinary(this, data);
  GiveBackRoom(payload, data.Release());
}

// The message moves into MsgBinaryReceived and the handler reads it there,
// without a copy; the kept one before it gives its room to the next.
inline void TzorWSConnection::DeliverKeptBinary(std::string& payload) {
  std::string earlier;
  {
    std::lock_guard guard(fields_lock_);
    earlier = msg_binary_received_.Release();
    msg_binary_received_ = TzorStringStream(std::move(payload));
    binary_set_.reset();
  }
  payload.clear();
  GiveBackRoom(payload, std::move(earlier));
  if (OnBinary) OnBinary(this, msg_binary_received_);
}

void TzorWSConnection::MatchPong(const std::string& payload) {
  if (pings_.Received(payload) == TzorThreadListQueuePings::TPongMatch::Different)
    DoDisconnect("Received Pong is different from Sent Ping", kCloseNormal);
}

// --- properties ------------------------------------------------------------------

bool TzorWSConnection::IsFramed() const {
  const TwsTransport kind = transport_kind_;
  return kind == trpRFC6455 || kind == trpFlash || kind == trpRFC8441;
}

std::string TzorWSConnection::Guid() const {
  std::lock_guard guard(fields_lock_);
  if (guid_.empty()) guid_ = NewGuidText();
  return guid_;
}

std::string TzorWSConnection::IP() const { return transport_ ? transport_->PeerIP() : std::string(); }
std::string TzorWSConnection::LocalIP() const { return transport_ ? transport_->LocalIP() : std::string(); }
int TzorWSConnection::LocalPort() const { return transport_ ? transport_->LocalPort() : 0; }
int TzorWSConnection::Port() const { return transport_ ? transport_->PeerPort() : 0; }
TwsIPVersion TzorWSConnection::IPVersion() const { return IP().find(':') != std::string::npos ? ipV6 : ipV4; }

#define ZOR_LOCKED_FIELD(Type, Getter, Setter, field) \
  Type TzorWSConnection::Getter() const {             \
    std::lock_guard guard(fields_lock_);               \
    return field;                                      \
  }                                                    \
  void TzorWSConnection::Setter(const Type& value) {  \
    std::lock_guard guard(fields_lock_);               \
    field = value;                                     \
  }

ZOR_LOCKED_FIELD(std::string, Protocol, SetProtocol, protocol_)
ZOR_LOCKED_FIELD(std::string, URL, SetURL, url_)
ZOR_LOCKED_FIELD(std::string, MsgError, SetMsgError, msg_error_)
ZOR_LOCKED_FIELD(std::string, MsgException, SetMsgException, msg_exception_)

#undef ZOR_LOCKED_FIELD

TzorStringStream TzorWSConnection::MsgBinaryReceived() const {
  std::lock_guard guard(fields_lock_);
  return binary_set_ ? *binary_set_ : msg_binary_received_;
}

void TzorWSConnection::SetMsgBinaryReceived(const TzorStringStream& value) {
  std::lock_guard guard(fields_lock_);
  binary_set_ = value;
}

std::string TzorWSConnection::MsgReceived() const {
  std::lock_guard guard(fields_lock_);
  return msg_received_text_;
}

void TzorWSConnection::SetMsgReceived(const std::string& value) {
  {
    std::lock_guard guard(fields_lock_);
    msg_received_text_ = value;
  }
  msg_received_.notify_all();
}

std::exception_ptr TzorWSConnection::RawException() const {
  std::lock_guard guard(fields_lock_);
  return raw_exception_;
}

void TzorWSConnection::SetRawException(std::exception_ptr value) {
  std::lock_guard guard(fields_lock_);
  raw_exception_ = std::move(value);
}

// --- frame log ----------------------------------------------------------------------

void TzorWSConnection::SetFrameLog(std::shared_ptr<TzorIdLogFileBase> log, bool logReceived) {
  std::lock_guard guard(fields_lock_);
  frame_log_ = std::move(log);
  log_received_ = logReceived;
  has_frame_log_ = frame_log_ != nullptr;
}

std::shared_ptr<TzorIdLogFileBase> TzorWSConnection::FrameLog() const {
  if (!has_frame_log_) return nullptr;
  std::lock_guard guard(fields_lock_);
  return frame_log_;
}

void TzorWSConnection::LogSentNow(TOpcode op, std::string_view bytes) {
  if (auto log = FrameLog()) log->LogSent("[" + std::string(OpcodeName(op)) + "] " + std::string(bytes));
}

void TzorWSConnection::LogReceivedNow(TOpcode op, std::string_view bytes) {
  auto log = FrameLog();
  if (!log) return;
  {
    std::lock_guard guard(fields_lock_);
    if (!log_received_) return;
  }
  log->LogReceived("[" + std::string(OpcodeName(op)) + "] " + std::string(bytes));
}

}  // namespace zor
