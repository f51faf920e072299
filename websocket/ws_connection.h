#pragma once
// One WebSocket connection, client or server side, over a byte transport
// (net/transport.h): the blocking connection of a client's IO thread or the
// event-driven connection of the server. The protocol logic never touches a
// socket: ReadFrames takes what the transport has buffered, and writes are
// assembled under the connection lock into an output buffer that one writer
// at a time hands to the transport.
//
// The client and server leaves derive from this class: they read the opening
// handshake (ReadHandshakeResponse) and, for HTTP/2, take over the HTTP/2
// read and write paths through the virtual hooks below.
#include "net/byte_queue.h"
#include "net/transport.h"
#include "websocket/extensions.h"
#include "websocket/frame_reader.h"
#include "websocket/frame_writer.h"
#include "websocket/hixie76_reader.h"
#include "websocket/outgoing_queue.h"
#include "websocket/ping_list.h"
#include "websocket/tcp_frame_reader.h"
#include "base/byte_count.h"
#include "base/lean_lock.h"
#include "base/streams.h"
#include "base/thread_token.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zor {

class TzorIdLogFileBase;

enum TwsTransport : uint8_t {
  trpUndefined,
  trpRFC6455,
  trpHixie76,
  trpFlash,
  trpSSE,
  trpTCP,
  trpHTTP,
  trpRFC8441,
  trpHTTP2,
  trpUDP,
  trpQUIC
};
enum TwsIPVersion : uint8_t { ipV4, ipV6 };
enum TwsFragmentedMessages : uint8_t { frgOnlyBuffer, frgOnlyFragmented, frgAll };

// The name a frame log gives the opcode: continuation, text, binary, close, ping, pong, none.
const char* OpcodeName(TOpcode op);

// One WebSocket connection: the read loop, writes, pings, queues and the close sequence.
class TzorWSConnection : public std::enable_shared_from_this<TzorWSConnection>,
                         protected TzorWSFrameEvents,
                         protected TzorWSFrameSink {
 public:
  using TNotifyEvent = std::function<void(TzorWSConnection* Connection)>;
  using TUpdateEvent = std::function<void(TzorWSConnection* Connection, int Value)>;
  using TMessageEvent = std::function<void(TzorWSConnection* Connection, const std::string& Text)>;
  using TBinaryEvent = std::function<void(TzorWSConnection* Connection, const TzorStringStream& Data)>;
  using TFragmentedEvent = std::function<void(TzorWSConnection* Connection, const TzorStringStream& Data,
                                              TOpcode OpCode, bool Continuation)>;
  using THandshakeEvent = std::function<void(TzorWSConnection* Connection, std::vector<std::string>& Headers)>;
  using TSubscriptionEvent = std::function<void(TzorWSConnection* Connection, const std::string& Subscription)>;

  // Bytes waiting to be sent (output buffer and queue levels) beyond which a
  // new message is refused: a peer that does not read cannot grow memory.
  static constexpr uint64_t kDefaultMaxQueuedBytes = 16ull << 20;

  TzorWSConnection();
  ~TzorWSConnection() override;
  TzorWSConnection(const TzorWSConnection&) = delete;
  TzorWSConnection& operator=(const TzorWSConnection&) = delete;

  // --- transport ------------------------------------------------------------
  // Set once, before the connection is used.
  void AttachTransport(std::shared_ptr<TzorTransport> transport);
  const std::shared_ptr<TzorTransport>& TCPConnection() const { return transport_; }
  bool HasTransport() const { return transport_ != nullptr; }
  // The transport reports itself connected.
  bool Active() const;
  size_t BufferedByteCount() const;
  void ClearInput();

  // --- reading (one thread at a time) ---------------------------------------
  // Everything buffered on the transport: the handshake answer while not
  // Enabled, then frames. With `wait` and nothing buffered, first waits that
  // long for bytes (as TzorTransport::WaitForData). Protocol failures close
  // the connection and, with RaiseDisconnectExceptions, throw TzorWSException.
  void ReadFrames(bool aRequireMask, std::optional<int> wait = std::nullopt);

  // --- writing (any thread) -------------------------------------------------
  // A text or binary message, or a streamed piece of one; queued when the
  // kind's queue level is set. Failures throw TzorWSException.
  void WriteData(const std::string& aText, int aSize = 0, TwsStreaming aStreaming = stmNone);
  void WriteData(const TzorStringStream& aStream, int aSize = 0, TwsStreaming aStreaming = stmNone);
  // Sends the text and waits up to aTimeOut ms for the next text message;
  // empty when none came (at once when aTimeOut <= 0).
  std::string WriteAndWaitData(const std::string& aText, int aTimeOut);
  void Ping(const std::string& aText);
  // Pings and waits up to aTimeOut ms for the pong carrying aText.
  bool Ping(const std::string& aText, int aTimeOut);
  // Sends what the queue levels hold, level 0 first (the owner calls it).
  void ProcessQueues();

  // --- closing ---------------------------------------------------------------
  // A close frame; the peer's answer, or the owner, ends the connection.
  // Until that answer comes (at most CloseTimeOut ms) the read loop reads on
  // for it and nothing else.
  void Close(int aCloseCode = kCloseNormal);
  // Our close frame is out and the peer's has not come yet.
  bool AwaitingCloseAnswer() const { return close_deadline_.load() != 0; }
  // Milliseconds left of that wait (0 when it is over or not under way).
  int CloseAnswerTimeLeft() const;
  // Closes the transport when the wait is over without an answer; the owner
  // calls it from its read loop or a timer.
  void CheckCloseAnswer() {
    if (AwaitingCloseAnswer()) DropIfCloseAnswerOverdue();
  }
  int CloseTimeOut() const { return close_timeout_; }
  void SetCloseTimeOut(int value) { close_timeout_ = value; }
  // A close frame (with CleanDisconnect), then the transport is closed.
  void Disconnect(int aCloseCode = kCloseNormal);
  // Closes the transport without a close frame (after an error was reported).
  void DropConnection();
  void DisconnectPeer(bool aCallOnDisconnectIfClosed);
  void SendCloseFrame(int aCloseCode);

  // --- channels --------------------------------------------------------------
  void DoSubscribe(const std::string& aChannels);
  void DoUnSubscribe(const std::string& aChannels);
  bool Subscribed(const std::string& aChannel) const;
  std::vector<std::string> Subscriptions() const;
  std::string LastSubscription() const;
  std::string LastUnSubscription() const;

  // --- properties ---------------------------------------------------------------
  TzorWSExtensions& Extensions() { return extensions_; }
  void SetExtensions(const TzorWSExtensions& value) { extensions_.Assign(value); }
  TzorWSQueueOptions& QueueOptions() { return queue_options_; }
  void SetQueueOptions(const TzorWSQueueOptions& value) { queue_options_.Assign(value); }
  int CloseCode() const { return reader_.CloseCode(); }
  std::string CloseReason() const { return reader_.CloseReason(); }
  TwsSpecification Specification() const { return writer_.Specification(); }
  void SetSpecification(TwsSpecification value) { writer_.SetSpecification(value); }
  bool Masked() const { return writer_.Masked(); }
  void SetMasked(bool value) { writer_.SetMasked(value); }
  std::string Protocol() const;
  void SetProtocol(const std::string& value);
  std::string URL() const;
  void SetURL(const std::string& value);
  bool ValidateUTF8() const { return reader_.ValidateUTF8(); }
  void SetValidateUTF8(bool value) { reader_.SetValidateUTF8(value); }
  bool RaiseDisconnectExceptions() const { return raise_disconnect_exceptions_; }
  void SetRaiseDisconnectExceptions(bool value) { raise_disconnect_exceptions_ = value; }
  TwsFragmentedMessages FragmentedMessages() const { return fragmented_messages_; }
  void SetFragmentedMessages(TwsFragmentedMessages value) { fragmented_messages_ = value; }
  bool CleanDisconnect() const { return clean_disconnect_; }
  void SetCleanDisconnect(bool value) { clean_disconnect_ = value; }
  // A message (or a fragmented message's total, or an inflated message) above
  // this closes the connection with 1009.
  uint64_t MaxMessageSize() const { return reader_.MaxMessageSize(); }
  void SetMaxMessageSize(uint64_t value);
  uint64_t MaxQueuedBytes() const { return max_queued_bytes_; }
  void SetMaxQueuedBytes(uint64_t value) { max_queued_bytes_ = value; }
  bool Disconnected() const { return disconnected_; }
  bool Enabled() const { return enabled_; }
  bool MustDisconnect() const { return must_disconnect_; }
  void SetMustDisconnect(bool value) { must_disconnect_ = value; }
  TzorDateTime LastPing() const { return pings_.LastPing(); }
  TzorDateTime FirstPing() const { return pings_.FirstPing(); }
  TzorDateTime LastPong() const { return pings_.LastPong(); }
  // Pings sent and not yet answered.
  size_t PingsOutstanding() const { return pings_.Count(); }
  // The request lines of the opening handshake (the client leaf writes them).
  std::vector<std::string>& HeadersResponse() { return headers_response_; }
  // The captured handshake answer (client) or request (server).
  std::vector<std::string>& HeadersRequest() { return headers_request_; }
  int ReadTimeOut() const { return read_timeout_; }
  void SetReadTimeOut(int value) { read_timeout_ = value; }
  int ReadBufferSize() const { return read_buffer_size_; }
  void SetReadBufferSize(int value) { read_buffer_size_ = value > 0 ? value : 1; }
  TwsTransport Transport() const { return transport_kind_; }
  void SetTransport(TwsTransport value) { transport_kind_ = value; }
  TtcpEOFScanBuffer TCPEndOfFrameScanBuffer() const { return tcp_reader_ ? tcp_reader_->ScanBuffer() : eofScanNone; }
  void SetTCPEndOfFrameScanBuffer(TtcpEOFScanBuffer value) { TCPReader().SetScanBuffer(value); }
  void AddTCPEndOfFrame(uint8_t aByte) { TCPReader().AddEndOfFrame(aByte); }
  void ClearTCPEndOfFrame() { TCPReader().ClearEndOfFrame(); }

  // 32 upper-case hexadecimal digits from the CSPRNG, made on first use.
  std::string Guid() const;
  std::string IP() const;
  std::string LocalIP() const;
  int LocalPort() const;
  int Port() const;
  TwsIPVersion IPVersion() const;
  uint64_t RecBytes() const { return rec_bytes_.Get(); }
  uint64_t SendBytes() const { return send_bytes_.Get(); }

  // Kept for the owner's events: the last text received (also what
  // WriteAndWaitData waits for), the last binary message, the last error and
  // exception reported.
  std::string MsgReceived() const;
  void SetMsgReceived(const std::string& value);
  TzorStringStream MsgBinaryReceived() const;
  void SetMsgBinaryReceived(const TzorStringStream& value);
  // The client's connections keep each binary message there before its
  // handler runs; set before the connection reads.
  void SetKeepBinaryReceived(bool value) { keep_binary_received_ = value; }
  std::string MsgError() const;
  void SetMsgError(const std::string& value);
  std::string MsgException() const;
  void SetMsgException(const std::string& value);
  std::exception_ptr RawException() const;
  void SetRawException(std::exception_ptr value);

  // Slots of the owner and the application; nothing is owned.
  void* Data() const { return data_; }
  void SetData(void* value) { data_ = value; }
  void* ProtocolData() const { return protocol_data_; }
  void SetProtocolData(void* value) { protocol_data_ = value; }
  void* ApiData() const { return api_data_; }
  void SetApiData(void* value) { api_data_ = value; }
  // An internal connection raises no component events; the switches below
  // silence the connect and disconnect events of one connection.
  bool IsInternal() const { return is_internal_; }
  void SetIsInternal(bool value) { is_internal_ = value; }
  bool NotifyConnection() const { return notify_connection_; }
  void SetNotifyConnection(bool value) { notify_connection_ = value; }
  bool NotifyDisconnection() const { return notify_disconnection_; }
  void SetNotifyDisconnection(bool value) { notify_disconnection_ = value; }
  // Set when the owner is destroying the connection.
  bool Freed() const { return freed_; }
  void SetFreed() { freed_ = true; }

  // Decoded frame lines ("[text] hello") in a traffic log whose raw lines are
  // switched off around the connection's writes; received messages are logged
  // too with `logReceived`.
  void SetFrameLog(std::shared_ptr<TzorIdLogFileBase> log, bool logReceived);

  // Handlers, set by the owner before reading starts. They run on the thread
  // that reads (messages, subscriptions) or writes the handshake.
  TUpdateEvent OnUpdate;
  TMessageEvent OnMessage;
  TBinaryEvent OnBinary;
  TFragmentedEvent OnFragmented;
  THandshakeEvent OnHandshake;
  TSubscriptionEvent OnSubscription;
  TSubscriptionEvent OnUnSubscription;
  // The transport was closed by DisconnectPeer (once): the owner learns of
  // the end of a connection it did not close itself.
  TNotifyEvent OnTransportDisconnected;
  // Close started waiting for the peer's answer (on the closing thread): an
  // event-driven owner arms a timer that calls CheckCloseAnswer.
  TNotifyEvent OnAwaitCloseAnswer;

  // The connection lock: every frame write and compression step.
  void EnterCS() { cs_.lock(); }
  void LeaveCS() { cs_.unlock(); }

 protected:
  // The opening handshake: called by ReadFrames while not Enabled.
  virtual void ReadHandshakeResponse() = 0;
  // Frames in bytes already taken from the transport (those that followed
  // the handshake in the same read).
  void ReadFramesOf(std::string_view bytes, bool aRequireMask);
  void SetEnabled(bool value) { enabled_ = value; }
  // Raised once, first thing when the connection starts to disconnect.
  virtual void DoBeforeDisconnect() {}
  // WebSocket frames from bytes already taken from the transport.
  void ReadWebSocketFrames(std::string_view bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    if (Specification() == spHixie76)
      HixieReader().Read(data, bytes.size());
    else
      reader_.Read(data, bytes.size());
  }
  // Bytes read on a trpRFC8441 connection: the base takes them as frames
  // (a transport that carries one HTTP/2 stream's content); a leaf that
  // reads the HTTP/2 connection itself unwraps them first.
  virtual void ReadRFC8441Data(std::string_view bytes);
  // HTTP/2 hooks: bytes read on a trpHTTP2 connection, the pass after each
  // read, a ping and a close on trpHTTP2. The base drops and does nothing.
  virtual void ReadHTTP2Data(std::string_view bytes);
  virtual void AfterReadFrames() {}
  virtual void WriteHTTP2Ping(const std::string& aText);
  virtual void CloseHTTP2(int aCloseCode);
  // Bytes a leaf holds back beyond the output buffer (an HTTP/2 stream
  // waiting for its peer's window); they count against MaxQueuedBytes.
  virtual size_t HeldBytes() const { return 0; }
  // Closes the transport (once); a leaf may say goodbye on it first.
  virtual void DoCloseTransport();
  // Hands the output buffer to the transport unless another thread does it
  // already; `deferrable` output of the reading thread waits for the end of
  // its read pass, or until a few KiB wait, so that answers to a burst go
  // out together. The deferral is decided inline: most writes of a read
  // pass are deferred.
  void FlushOutput(bool deferrable = false) {
    if (deferrable && out_size_.load(std::memory_order_relaxed) < kDeferredAnswerBytes &&
        reading_thread_.load(std::memory_order_relaxed) == ThisThreadToken())
      return;
    FlushNow();
  }

  // Closes with a message and a code (the reader's failures, a close
  // received): close frame with CleanDisconnect, then the transport; throws
  // TzorWSException(aMessage) with RaiseDisconnectExceptions.
  void DoDisconnect(const std::string& aMessage, int aCloseCode) override;
  void DoMessageComplete(TzorWSMsg& msg) override;
  void SetDisconnected(bool value);
  void DoPing(const std::string& aText);
  void DoWriteText(const std::string& aText, int aSize, TwsStreaming aStreaming);
  void DoWriteStream(std::string_view aStream, int aSize, TwsStreaming aStreaming);

  // TzorWSFrameSink: frames land in the output buffer. The sink needs no
  // lock of its own: every call into the writer holds cs_, and each frame
  // lands whole under out_lock_.
  void WriteFrame(const uint8_t* data, size_t size) override;
  bool AssembleFrame(const TzorWSFrameParts& frame) override {
    AppendOutput(frame);
    return true;
  }

  TzorWSFrameReader& Reader() { return reader_; }
  TzorWSFrameWriter& Writer() { return writer_; }

 private:
  // Answers that handlers write during a read pass wait for its end, to leave
  // in one system call; once this many bytes wait they go at once, so the peer
  // works on them while the rest of the pass is read.
  static constexpr size_t kDeferredAnswerBytes = 2048;

  class ReadPass;
  void FlushNow();
  // The bytes of one batch of output to the transport.
  void SendToTransport(std::string_view bytes);
  void DropIfCloseAnswerOverdue();
  bool IsFramed() const;
  bool IsRaw() const { return transport_kind_ == trpTCP || transport_kind_ == trpSSE; }
  // Frames are read: not disconnected, or waiting for the peer's close.
  bool ReadsFrames() const { return !disconnected_ || AwaitingCloseAnswer(); }
  // How long a read pass waits for more bytes (ms, -1 without end).
  bool WithinFrame() const;
  int NextWait() const;
  // True for the one caller that is to write the connection's close frame.
  bool ClaimCloseFrame();
  void WriteCloseFrame(int aCloseCode);
  void ReadStep(std::string_view bytes);
  void DoFragment(TzorWSMsg& msg);
  // `inflate`: the message is still as it came (not inflated fragment by fragment).
  void DoWholeMessage(TzorWSMsg& msg, bool inflate = true);
  void DeliverText(std::string& payload);
  void DeliverBinary(std::string& payload);
  void DeliverKeptBinary(std::string& payload);
  void MatchPong(const std::string& payload);
  // Inflates a compressed message, or one frame's part of it; false after
  // failing with 1009 or "Error Deflating Frame: %s".
  bool InflateMessage(std::string& payload, TzorMessagePart part, uint64_t maxSize);
  bool InflateFragment(TzorWSMsg& msg);
  // Checks the new bytes of a text fragment; false after failing with 1007.
  bool CheckTextFragment(const TzorWSMsg& msg);
  void Queue(TwsQueueMsgLevels level, std::unique_ptr<TzorQueueObject> item);
  void SendQueued(TzorQueueObject& item);
  void WriteStreamMessage(std::string_view aStream, int aSize, TwsStreaming aStreaming);
  void WriteRaw(std::string_view bytes);
  // Refuses a new message when the output buffer is over its bound; the
  // caller holds the connection lock. Writers hold it: meanwhile only the
  // writer at work can shrink the buffer, so its size is read without
  // out_lock_. An empty buffer takes any message, so that a large one can
  // still be sent.
  void CheckRoom(size_t bytes) {
    const size_t waiting = out_size_.load(std::memory_order_relaxed) + HeldBytes();
    if (waiting > 0 && waiting + bytes > max_queued_bytes_) ThrowQueueFull(waiting);
  }
  [[noreturn]] static void ThrowQueueFull(uint64_t waiting);
  void ThrowWriteFailure(const std::exception& e);
  void FlushAfterFailure();
  // Closes the transport once the output handed over so far has gone out.
  void CloseTransport();
  void CloseTransportNow();
  // Inline, as most connections log nothing and each message asks.
  void LogSent(TOpcode op, std::string_view bytes) {
    if (has_frame_log_) LogSentNow(op, bytes);
  }
  void LogReceived(TOpcode op, std::string_view bytes) {
    if (has_frame_log_) LogReceivedNow(op, bytes);
  }
  void LogSentNow(TOpcode op, std::string_view bytes);
  void LogReceivedNow(TOpcode op, std::string_view bytes);
  std::shared_ptr<TzorIdLogFileBase> FrameLog() const;
  void FreeQueues();

  std::shared_ptr<TzorTransport> transport_;
  mutable TzorLeanRecursiveLock cs_;
  TzorWSExtensions extensions_;
  TzorWSFrameReader reader_{*this, &extensions_};
  TzorWSFrameWriter writer_{*this, &extensions_};
  // The readers of the draft framing and of plain TCP, made on first use:
  // most connections never need them.
  TzorWSHixie76Reader& HixieReader();
  TzorTCPFrameReader& TCPReader();
  std::unique_ptr<TzorWSHixie76Reader> hixie_reader_;
  std::unique_ptr<TzorTCPFrameReader> tcp_reader_;
  TzorWSQueueOptions queue_options_;
  // Made with the first queued item, under out_lock_.
  std::unique_ptr<TzorQueueList[]> queue_levels_;
  TzorQueueList* QueueLevels(bool create);
  std::atomic<uint64_t> queued_bytes_{0};
  TzorThreadListQueuePings pings_;

  // Output: frames in order, and the one writer that hands them over.
  mutable TzorLeanLock out_lock_;
  void AppendOutput(const TzorWSFrameParts& frame);
  TzorByteQueue out_, in_flight_;
  std::atomic<size_t> out_size_{0};  // out_.Size(), written under out_lock_
  bool flushing_ = false;
  bool close_after_flush_ = false;
  std::atomic<uintptr_t> reading_thread_{0};  // ThisThreadToken of the reading pass

  std::atomic<bool> enabled_{false};
  std::atomic<bool> disconnected_{false};
  std::atomic<bool> do_disconnect_{false};
  std::atomic<bool> before_disconnect_{false};
  std::atomic<bool> transport_closed_{false};
  std::atomic<bool> must_disconnect_{false};
  std::atomic<bool> raise_disconnect_exceptions_{true};
  std::atomic<bool> clean_disconnect_{true};
  std::atomic<bool> is_internal_{false};
  std::atomic<bool> notify_connection_{true};
  std::atomic<bool> notify_disconnection_{true};
  std::atomic<bool> freed_{false};
  std::atomic<bool> close_sent_{false};
  std::atomic<int64_t> close_deadline_{0};  // steady-clock nanoseconds; 0: not waiting
  std::atomic<int> close_timeout_{5000};
  std::atomic<TwsFragmentedMessages> fragmented_messages_{frgOnlyBuffer};
  std::atomic<TwsTransport> transport_kind_{trpUndefined};
  std::atomic<uint64_t> max_queued_bytes_{kDefaultMaxQueuedBytes};
  TzorByteCount rec_bytes_;   // by the reading thread
  TzorByteCount send_bytes_;  // under out_lock_
  int read_timeout_ = 10;
  int read_buffer_size_ = 16384;
  TzorUTF8Stream text_check_;  // the fragments of a text message checked so far
  size_t text_checked_ = 0;    // bytes of the message's stream checked so far
  size_t inflated_ = 0;        // bytes of the message's stream inflated so far

  // Texts and slots other threads read; guarded by fields_lock_.
  mutable TzorLeanLock fields_lock_;
  std::condition_variable_any msg_received_;
  std::string msg_received_text_;
  // Only the reading thread writes the kept message, so its handler reads
  // it unlocked; a value set meanwhile is read in its place until the next.
  TzorStringStream msg_binary_received_;
  std::optional<TzorStringStream> binary_set_;
  bool keep_binary_received_ = false;
  std::string msg_error_, msg_exception_;
  std::exception_ptr raw_exception_;
  std::string protocol_, url_;
  mutable std::string guid_;
  std::vector<std::string> subscriptions_;
  std::string last_subscription_, last_unsubscription_;
  std::vector<std::string> headers_response_, headers_request_;
  std::shared_ptr<TzorIdLogFileBase> frame_log_;
  std::atomic<bool> has_frame_log_{false};
  bool log_received_ = false;

  void* data_ = nullptr;
  void* protocol_data_ = nullptr;
  void* api_data_ = nullptr;
};

using TzorWSConnectionPtr = std::shared_ptr<TzorWSConnection>;

}  // namespace zor
