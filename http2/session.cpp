#include "http2/session.h"

#include "base/component.h"
#include "http2/http2_exception.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>

namespace zor {

namespace {

const std::string kServerLine = std::string("zorWebSockets ") + TzorComponent_Base::kVersion;
constexpr const char* kIdleStream = "Idle Stream only accepts HEADERS or PUSHPROMISE frames.";
constexpr const char* kHalfClosedRemote =
    "Half Closed Remote Stream only accepts RST_STREAM, PRIORITY or WINDOW_UPDATE Frames.";
constexpr const char* kClosed = "Half Closed Remote Stream only accepts PRIORITY Frames.";
constexpr const char* kContentLength = "CONTENT-LENGTH is not equal the DATA frame payload length";
// Streams the peer may reset before they are answered beyond those answered.
constexpr uint64_t kResetAllowance = 1000;
// Released stream records kept for reuse.
constexpr size_t kSpareRecords = 32;

[[noreturn]] void ConnectionError(const char* message, Th2ErrorCodes code = h2erPROTOCOL_ERROR) {
  throw TzorHTTP2Exception(message, code);
}

int64_t ParseContentLength(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  text = text.substr(0, 10);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

bool HasForbiddenOctet(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

bool IsConnectionSpecific(std::string_view name) {
  return std::find(Th2ConnectionHeaderNames.begin(), Th2ConnectionHeaderNames.end(), name) !=
         Th2ConnectionHeaderNames.end();
}

}  // namespace

// The reader knows from the session which streams are open, so that a
// HEADERS below the last identifier is read as trailers of an open stream.
class TzorHTTP2Session::Reader : public TzorHTTP2_Frame {
 public:
  explicit Reader(TzorHTTP2Session& session) : TzorHTTP2_Frame(h2frServerRead), FSession(session) {}

 protected:
  bool IsOpenStream(int32_t stream) const override {
    const Lock lock(FSession.FLock);
    return FSession.Find(stream) != nullptr;
  }

 private:
  TzorHTTP2Session& FSession;
};

// Keeps a record alive while the reading thread works on it: a stream closed
// meanwhile (by an answer from any thread) is released when it lets go.
class TzorHTTP2Session::Hold {
 public:
  Hold(TzorHTTP2Session& session, int32_t stream) : Hold(session, stream, std::unique_lock(session.FLock)) {}
  // Under the session's lock, which the caller holds.
  Hold(TzorHTTP2Session& session, int32_t stream, const std::unique_lock<std::recursive_mutex>&)
      : FSession(session), FStream(stream), FOuter(std::exchange(session.FHeld, stream)) {}
  ~Hold() {
    const Lock lock(FSession.FLock);
    FSession.FHeld = FOuter;
    FSession.ReleaseIfClosed(FStream);
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  TzorHTTP2Session& FSession;
  int32_t FStream;
  int32_t FOuter;  // held by an enclosing pass (pushes served from an event)
};

TzorHTTP2Session::TzorHTTP2Session()
    : FHTTP2FrameRead(std::make_unique<Reader>(*this)),
      FHTTP2FrameWrite(std::make_unique<TzorHTTP2_Frame>(h2frServerWrite)) {
  FHTTP2FrameWrite->OnWriteBytes = [this](TzorHTTP2_Frame&, std::span<const uint8_t> bytes) {
    FOutput.Append(bytes);
  };
  WireReader();
}

TzorHTTP2Session::~TzorHTTP2Session() = default;

void TzorHTTP2Session::WireReader() {
  TzorHTTP2_Frame& reader = *FHTTP2FrameRead;
  reader.OnReadFrameSettings = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Settings& f) { ReadSettings(f); };
  reader.OnReadFramePing = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Ping& f) { ReadPing(f); };
  reader.OnReadFrameWindowUpdate = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_WindowUpdate& f) {
    ReadWindowUpdate(f);
  };
  reader.OnReadFrameRSTStream = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_RSTStream& f) { ReadRSTStream(f); };
  reader.OnReadFramePriority = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Priority& f) { ReadPriority(f); };
  reader.OnReadFrameGoAway = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_GoAway& f) { ReadGoAway(f); };
  reader.OnReadFrameHeaders = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Headers& f) { ReadHeaders(f); };
  reader.OnReadFrameData = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Data& f) { ReadData(f); };
  reader.OnReadFrameContinuation = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Continuation&) { CheckFirstFrame(); };
}

void TzorHTTP2Session::StartHTTP2() {
  TzorHTTP2_Frame& reader = *FHTTP2FrameRead;
  // What is announced is what is enforced.
  reader.SetMaxFrameSize(FSettings.MaxFrameSize);
  reader.SetMaxConcurrentStreams(FSettings.MaxConcurrentStreams);
  reader.SetEnableConnectProtocol(FSettings.EnableConnectProtocol);
  reader.HPACK().SetDynamicTableSizeLimit(FSettings.HeaderTableSize);
  reader.HPACK().SetMaxHeaderListSize(std::min(FSettings.MaxHeaderListSize, MaxHeaderListBound));
  const Lock lock(FLock);
  TzorHTTP2_Frame_Settings& settings = FHTTP2FrameWrite->Frame_Settings();
  settings.ClearFlags();
  settings.SetValues(FSettings);
  settings.WriteBytes();
  Flush();
}

void TzorHTTP2Session::ConsumePreface(std::span<const uint8_t>& bytes) {
  while (FPrefaceMatched < Th2ConnectionPreface.size() && !bytes.empty()) {
    if (bytes.front() != static_cast<uint8_t>(Th2ConnectionPreface[FPrefaceMatched]))
      ConnectionError("Invalid connection preface.");
    ++FPrefaceMatched;
    bytes = bytes.subspan(1);
  }
}

void TzorHTTP2Session::ReadHTTP2Data(std::span<const uint8_t> bytes) {
  if (FGoAwaySent) return;
  FReadingThread = std::this_thread::get_id();
  std::span<const uint8_t> input = bytes;
  for (;;) {
    try {
      if (ExpectPreface) ConsumePreface(input);
      if (!input.empty() || FPrefaceMatched == Th2ConnectionPreface.size() || !ExpectPreface)
        FHTTP2FrameRead->ReadBytes(input);
      break;
    } catch (const TzorHTTP2Exception& e) {
      if (e.ErrorResponse() == h2errRST_STREAM && e.StreamIdentifier() != 0) {
        StreamError(e.StreamIdentifier(), e.ErrorCode());
        input = {};  // the reader goes on with what it has buffered
        continue;
      }
      FReadingThread = std::thread::id();
      SendHTTP2GoAway(e.ErrorCode(), e.Message());
      return;
    } catch (...) {
      FReadingThread = std::thread::id();
      throw;
    }
  }
  FReadingThread = std::thread::id();
  AfterReadFrames();
  const Lock lock(FLock);
  Flush();
}

void TzorHTTP2Session::CheckFirstFrame() const {
  if (!FSettingsReceived) ConnectionError("First frame received must be settings.");
}

void TzorHTTP2Session::ReadSettings(TzorHTTP2_Frame_Settings& frame) {
  const Lock lock(FLock);
  if (frame.ACK()) {
    FSettingsSent = true;
    return;
  }
  FSettingsReceived = true;
  // Only the entries present change anything.
  const TzorHTTP2SettingsValues& received = frame.Values();
  TzorHTTP2SettingsValues& peer = FPeerSettings;
  if (frame.Present(h2siHEADER_TABLE_SIZE)) {
    peer.HeaderTableSize = received.HeaderTableSize;
    FHTTP2FrameWrite->HPACK().SetDynamicTableSizeLimit(received.HeaderTableSize);
  }
  if (frame.Present(h2siENABLE_PUSH)) peer.EnablePush = received.EnablePush;
  if (frame.Present(h2siMAX_CONCURRENT_STREAMS)) peer.MaxConcurrentStreams = received.MaxConcurrentStreams;
  if (frame.Present(h2siMAX_FRAME_SIZE)) peer.MaxFrameSize = received.MaxFrameSize;
  if (frame.Present(h2siMAX_HEADER_LIST_SIZE)) peer.MaxHeaderListSize = received.MaxHeaderListSize;
  if (frame.Present(h2siENABLE_CONNECT_PROTOCOL)) peer.EnableConnectProtocol = received.EnableConnectProtocol;
  if (frame.Present(h2siINITIAL_WINDOW_SIZE)) {
    peer.InitialWindowSize = received.InitialWindowSize;
    FWriteDataFrames.SetInitialWindowSize(received.InitialWindowSize);
  }
  TzorHTTP2_Frame_Settings& ack = FHTTP2FrameWrite->Frame_Settings();
  ack.SetACK(true);
  ack.WriteBytes();
  ack.SetACK(false);
  SendData();
}

void TzorHTTP2Session::ReadPing(TzorHTTP2_Frame_Ping& frame) {
  CheckFirstFrame();
  if (!frame.ACK()) WritePing(true, frame.PayLoad());
}

void TzorHTTP2Session::WritePing(bool ack, const std::array<uint8_t, 8>& payload) {
  const Lock lock(FLock);
  if (FGoAwaySent) return;
  TzorHTTP2_Frame_Ping& ping = FHTTP2FrameWrite->Frame_Ping();
  ping.SetACK(ack);
  ping.SetPayLoad(payload);
  ping.WriteBytes();
  Flush();
}

void TzorHTTP2Session::SendHTTP2Ping(const std::array<uint8_t, 8>& payload) { WritePing(false, payload); }

void TzorHTTP2Session::SendHTTP2Ping(std::string_view text) {
  std::array<uint8_t, 8> payload{};
  std::copy_n(text.begin(), std::min(text.size(), payload.size()), payload.begin());
  WritePing(false, payload);
}

bool TzorHTTP2Session::IsIdle(int32_t stream) const {
  // Odd streams are opened by the peer's HEADERS, even ones by this side's pushes.
  return stream % 2 == 1 ? stream > FHTTP2FrameRead->LastStreamIdentifierRecv()
                         : stream > FPushCounter.LastStreamIdentifier();
}

TzorHTTP2_StreamResponse* TzorHTTP2Session::Find(int32_t stream) const {
  const auto found = FStreams.find(stream);
  return found == FStreams.end() ? nullptr : found->second.get();
}

bool TzorHTTP2Session::ResetByThisSide(int32_t stream) const {
  return std::find(FResetByThisSide.begin(), FResetByThisSide.end(), stream) != FResetByThisSide.end();
}

void TzorHTTP2Session::ReadWindowUpdate(TzorHTTP2_Frame_WindowUpdate& frame) {
  CheckFirstFrame();
  const int32_t stream = frame.StreamIdentifier();
  const Lock lock(FLock);
  if (stream != 0 && !FWriteDataFrames.HasStream(stream)) {
    if (IsIdle(stream)) ConnectionError(kIdleStream);
    return;  // closed, or nothing more to send on it
  }
  FWriteDataFrames.UpdateWindowSize(stream, frame.WindowSizeIncrement());
  SendData();
}

void TzorHTTP2Session::ReadRSTStream(TzorHTTP2_Frame_RSTStream& frame) {
  CheckFirstFrame();
  const int32_t stream = frame.StreamIdentifier();
  const Hold hold(*this, stream);
  {
    const Lock lock(FLock);
    if (IsIdle(stream)) ConnectionError(kIdleStream);
    TzorHTTP2_StreamResponse* record = Find(stream);
    if (!record) return;
    record->FStreamState = h2ssClosed;
    FWriteDataFrames.Purge(stream);
    // The peer sends nothing more on it: whatever it sends is an error.
    FHTTP2FrameRead->AddClosedStream(stream);
    if (++FPeerResets > FStreamsAnswered + kResetAllowance)
      ConnectionError("Too many streams reset by the peer.", h2erENHANCE_YOUR_CALM);
  }
  if (OnHTTP2StreamReset) OnHTTP2StreamReset(*this, stream, frame.ErrorCode());
}

void TzorHTTP2Session::ReadPriority(TzorHTTP2_Frame_Priority& frame) {
  CheckFirstFrame();
  // Priorities are advisory; only a stream depending on itself is an error.
  if ((frame.StreamDependency() & 0x7FFFFFFF) == static_cast<uint32_t>(frame.StreamIdentifier()))
    throw TzorHTTP2Exception("Stream cannot depends on itself.", h2erPROTOCOL_ERROR, h2errRST_STREAM,
                             frame.StreamIdentifier());
}

void TzorHTTP2Session::ReadGoAway(TzorHTTP2_Frame_GoAway& frame) {
  CheckFirstFrame();
  FGoAwayReceived = true;
  if (OnHTTP2GoAway) OnHTTP2GoAway(*this, frame);
}

int64_t TzorHTTP2Session::InitialReceiveWindow() const {
  // Until the peer has our SETTINGS it may still count on the default.
  return FSettingsSent ? int64_t{FSettings.InitialWindowSize}
                       : std::max<int64_t>(FSettings.InitialWindowSize, 65535);
}

void TzorHTTP2Session::ReadHeaders(TzorHTTP2_Frame_Headers& frame) {
  CheckFirstFrame();
  const int32_t stream = frame.StreamIdentifier();
  if (stream % 2 == 0) ConnectionError("Received Stream Identifier is Even.");
  std::unique_lock lock(FLock);
  const Hold hold(*this, stream, lock);
  TzorHTTP2_StreamResponse* record = Find(stream);
  if (!record && stream <= FHighestStreamSeen) {
    if (ResetByThisSide(stream)) return;  // trailers in flight when it was reset
    ConnectionError("HEADER FRAME: Stream Identifier already closed.", h2erSTREAM_CLOSED);
  }
  if (record && !record->RemoteOpen()) {
    throw TzorHTTP2Exception(record->StreamState() == h2ssClosed ? kClosed : kHalfClosedRemote, h2erSTREAM_CLOSED,
                             h2errRST_STREAM, stream);
  }
  if (record && !frame.EndStream())
    throw TzorHTTP2Exception("HEADER Frame cannot be received after receive EndHeaders = True.", h2erPROTOCOL_ERROR,
                             h2errRST_STREAM, stream);
  const bool opened = !record;
  if (opened) {
    FHighestStreamSeen = stream;
    if (FGoAwaySent) return;
    record = OpenStream(frame);
    if (!record) return;
  }
  lock.unlock();
  if (record->FTunnel) {
    if (OnHTTP2Request) OnHTTP2Request(*this, record->FHeaders, {}, stream, 0, nullptr);
    if (frame.EndStream()) {
      const Lock lock(FLock);
      PeerEnded(*record);
    }
    return;
  }
  if (frame.EndStream()) {
    // A stream these headers opened is half-closed already.
    if (opened)
      DeliverRequest(*record);
    else
      EndOfRequest(*record);
    return;
  }
  if (OnReadCreatePostStream && record->FHeaders.Find(":method") == "POST") {
    TzorStringStream* post = nullptr;
    OnReadCreatePostStream(*this, record->FHeaders, post);
    record->FPost_Stream = post;
  }
}

TzorHTTP2_StreamResponse* TzorHTTP2Session::OpenStream(TzorHTTP2_Frame_Headers& frame) {
  const int32_t stream = frame.StreamIdentifier();
  if (FPeerStreams >= std::min(FSettings.MaxConcurrentStreams, MaxStreams)) {
    StreamError(stream, h2erREFUSED_STREAM);
    return nullptr;
  }
  auto record = NewRecord(stream);
  record->FStreamState = frame.EndStream() ? h2ssHalfClosedRemote : h2ssOpen;
  // The reader decodes the next block into the list the record had.
  std::swap(record->FHeaders, frame.Headers());
  const std::string_view method = record->FHeaders.Find(":method").value_or("");
  record->FHead = method == "HEAD";
  record->FTunnel = method == "CONNECT";
  if (const auto length = record->FHeaders.Find("content-length")) record->FContentLength = ParseContentLength(*length);
  record->FReceiveWindow = InitialReceiveWindow();
  FWriteDataFrames.OpenStream(stream);
  FLastProcessedStream = std::max(FLastProcessedStream.load(), stream);
  ++FPeerStreams;
  return FStreams.emplace(stream, std::move(record)).first->second.get();
}

void TzorHTTP2Session::EndOfRequest(TzorHTTP2_StreamResponse& stream) {
  {
    const Lock lock(FLock);
    PeerEnded(stream);
  }
  DeliverRequest(stream);
}

void TzorHTTP2Session::DeliverRequest(TzorHTTP2_StreamResponse& stream) {
  if (FFragmentedData != h2fdOnlyFragmented || stream.FPost_Stream) DoReadStreamResponse(stream);
}

void TzorHTTP2Session::DoReadStreamResponse(TzorHTTP2_StreamResponse& stream) {
  if (stream.FContentLength >= 0 && stream.FContentLength != stream.FReceived)
    throw TzorHTTP2Exception(kContentLength, h2erPROTOCOL_ERROR, h2errRST_STREAM, stream.FStreamIdentifier);
  if (OnReadStreamResponse) OnReadStreamResponse(*this, stream);
  if (OnHTTP2Request)
    OnHTTP2Request(*this, stream.FHeaders, stream.FPost_Stream ? std::span<const uint8_t>() : stream.FData,
                   stream.FStreamIdentifier, 0, stream.FPost_Stream);
  if (stream.FPost_Stream && OnReadDonePostStream) OnReadDonePostStream(*this, stream.FHeaders, stream.FPost_Stream);
  // The body was the event's to take; an answer given later does not need it.
  const Lock lock(FLock);
  FBufferedBodies -= static_cast<int64_t>(stream.FData.size());
  TBytes().swap(stream.FData);
}

void TzorHTTP2Session::ReadData(TzorHTTP2_Frame_Data& frame) {
  CheckFirstFrame();
  const int32_t stream = frame.StreamIdentifier();
  const int64_t length = frame.FrameLength();  // padding counts against the windows
  const Hold hold(*this, stream);
  TzorHTTP2_StreamResponse* record;
  {
    const Lock lock(FLock);
    FUnacknowledged += length;
    if (FUnacknowledged > FReceiveWindow)
      ConnectionError("DATA FRAME: the connection window is exceeded.", h2erFLOW_CONTROL_ERROR);
    // What arrives is taken in at once (bodies are bounded on their own), so
    // the connection's credit never waits for a stream.
    CreditWindows(nullptr, false);
    record = Find(stream);
    if (!record) {
      if (IsIdle(stream)) ConnectionError(kIdleStream);
      if (ResetByThisSide(stream)) return;  // in flight when it was reset
      throw TzorHTTP2Exception(kClosed, h2erSTREAM_CLOSED, h2errRST_STREAM, stream);
    }
    if (!record->RemoteOpen()) throw TzorHTTP2Exception(kHalfClosedRemote, h2erSTREAM_CLOSED, h2errRST_STREAM, stream);
    record->FUnacknowledged += length;
    if (record->FUnacknowledged > record->FReceiveWindow)
      throw TzorHTTP2Exception("DATA FRAME: the stream window is exceeded.", h2erFLOW_CONTROL_ERROR,
                               h2errRST_STREAM, stream);
  }
  const TBytes& content = frame.Data();
  record->FReceived += static_cast<int64_t>(content.size());
  if (record->FContentLength >= 0 && record->FReceived > record->FContentLength)
    throw TzorHTTP2Exception(kContentLength, h2erPROTOCOL_ERROR, h2errRST_STREAM, stream);
  if (record->FTunnel) {
    if (OnHTTP2TunnelData) OnHTTP2TunnelData(*this, stream, content, frame.EndStream());
  } else if (record->FPost_Stream) {
    record->FPost_Stream->Write({reinterpret_cast<const char*>(content.data()), content.size()});
  } else if (FFragmentedData != h2fdOnlyFragmented) {
    const Lock lock(FLock);
    const auto size = static_cast<int64_t>(content.size());
    if (static_cast<int64_t>(record->FData.size()) + size > MaxBodySize || FBufferedBodies + size > MaxBufferedBodies) {
      SendHTTP2Status(413, "Payload Too Large", stream);
      StreamError(stream, h2erNO_ERROR);
      return;
    }
    record->FData.insert(record->FData.end(), content.begin(), content.end());
    FBufferedBodies += size;
  }
  if (FFragmentedData != h2fdOnlyBuffer && !record->FTunnel && OnReadStreamResponseFragment)
    OnReadStreamResponseFragment(*this, *record, content);
  {
    const Lock lock(FLock);
    if (!record->RemoteOpen()) return;  // reset or answered meanwhile
    CreditWindows(record, !frame.EndStream());
    if (!frame.EndStream()) return;
    if (record->FTunnel) return PeerEnded(*record);
  }
  EndOfRequest(*record);
}

void TzorHTTP2Session::CreditWindows(TzorHTTP2_StreamResponse* stream, bool streamGoesOn) {
  // The credit is what was taken in, once half of a window is used.
  if (FUnacknowledged >= FReceiveWindow / 2) {
    WriteWindowUpdate(0, FUnacknowledged);
    FUnacknowledged = 0;
  }
  if (stream && streamGoesOn && stream->FUnacknowledged >= stream->FReceiveWindow / 2) {
    WriteWindowUpdate(stream->FStreamIdentifier, stream->FUnacknowledged);
    stream->FUnacknowledged = 0;
  }
}

void TzorHTTP2Session::WriteWindowUpdate(int32_t stream, int64_t increment) {
  if (increment <= 0) return;
  TzorHTTP2_Frame_WindowUpdate& update = FHTTP2FrameWrite->Frame_WindowUpdate();
  update.SetStreamIdentifier(stream);
  update.SetWindowSizeIncrement(static_cast<int32_t>(increment));
  update.WriteBytes();
}

void TzorHTTP2Session::PeerEnded(TzorHTTP2_StreamResponse& stream) {
  if (stream.FStreamState == h2ssHalfClosedLocal) {
    stream.FStreamState = h2ssClosed;
    ++FStreamsAnswered;
    FHTTP2FrameRead->AddClosedStream(stream.FStreamIdentifier);
    ReleaseIfClosed(stream.FStreamIdentifier);
  } else if (stream.FStreamState == h2ssOpen) {
    stream.FStreamState = h2ssHalfClosedRemote;
  }
}

void TzorHTTP2Session::LocalEnded(int32_t identifier) {
  TzorHTTP2_StreamResponse* stream = Find(identifier);
  if (!stream) return;
  switch (stream->StreamState()) {
    case h2ssOpen: stream->FStreamState = h2ssHalfClosedLocal; break;
    case h2ssHalfClosedRemote:
      stream->FStreamState = h2ssClosed;
      ++FStreamsAnswered;
      FHTTP2FrameRead->AddClosedStream(identifier);
      ReleaseIfClosed(identifier);
      break;
    default: break;
  }
}

void TzorHTTP2Session::ReleaseIfClosed(int32_t identifier) {
  const auto found = FStreams.find(identifier);
  if (found == FStreams.end() || found->second->StreamState() != h2ssClosed || FHeld == identifier) return;
  FBufferedBodies -= static_cast<int64_t>(found->second->FData.size());
  FWriteDataFrames.Purge(identifier);
  // Records are kept for reuse, with the room their lists have.
  if (FSpareRecords.size() < kSpareRecords) FSpareRecords.push_back(std::move(found->second));
  FStreams.erase(found);
  if (identifier % 2 == 1) --FPeerStreams;
}

std::unique_ptr<TzorHTTP2_StreamResponse> TzorHTTP2Session::NewRecord(int32_t stream) {
  if (FSpareRecords.empty()) return std::make_unique<TzorHTTP2_StreamResponse>(stream);
  std::unique_ptr<TzorHTTP2_StreamResponse> record = std::move(FSpareRecords.back());
  FSpareRecords.pop_back();
  record->Reset(stream);
  return record;
}

void TzorHTTP2Session::StreamError(int32_t stream, Th2ErrorCodes errorCode) {
  const Lock lock(FLock);
  if (FGoAwaySent) return;
  TzorHTTP2_Frame_RSTStream& reset = FHTTP2FrameWrite->Frame_RSTStream();
  reset.SetStreamIdentifier(stream);
  reset.SetErrorCode(errorCode);
  reset.WriteBytes();
  FResetByThisSide[FResetNext++ % FResetByThisSide.size()] = stream;
  if (TzorHTTP2_StreamResponse* record = Find(stream)) {
    record->FStreamState = h2ssClosed;
    ReleaseIfClosed(stream);
  }
  FWriteDataFrames.Purge(stream);
  Flush();
}

void TzorHTTP2Session::ResetHTTP2Stream(int32_t stream, Th2ErrorCodes errorCode) { StreamError(stream, errorCode); }

void TzorHTTP2Session::AfterReadFrames() {
  if (FHTTP2PushPromiseSending) return;
  FHTTP2PushPromiseSending = true;
  for (;;) {
    int32_t promised;
    {
      const Lock lock(FLock);
      if (FHTTP2PushPromisePendingRequests.empty()) break;
      promised = FHTTP2PushPromisePendingRequests.front();
      FHTTP2PushPromisePendingRequests.pop_front();
    }
    try {
      DoHTTP2PushRequest(promised);
    } catch (...) {
      FHTTP2PushPromiseSending = false;
      throw;
    }
  }
  FHTTP2PushPromiseSending = false;
}

void TzorHTTP2Session::DoHTTP2PushRequest(int32_t promisedStream) {
  const Hold hold(*this, promisedStream);
  TzorHTTP2_StreamResponse* record;
  {
    const Lock lock(FLock);
    record = Find(promisedStream);
    if (!record || !record->LocalOpen()) return;
  }
  if (OnHTTP2Request) OnHTTP2Request(*this, record->FHeaders, {}, 0, promisedStream, nullptr);
}

void TzorHTTP2Session::SendHTTP2GoAway(Th2ErrorCodes errorCode, const std::string& debugText) {
  {
    const Lock lock(FLock);
    if (FGoAwaySent) return;
    TzorHTTP2_Frame_GoAway& goAway = FHTTP2FrameWrite->Frame_GoAway();
    goAway.SetLastStreamid(FLastProcessedStream);
    goAway.SetErrorCode(errorCode);
    goAway.SetAdditionalDebugData(debugText);
    goAway.WriteBytes();
    FGoAwaySent = true;
    FReadingThread = std::thread::id();
    Flush();
  }
  if (OnHTTP2Disconnect) OnHTTP2Disconnect(*this);
}

void TzorHTTP2Session::Close(int closeCode) { SendHTTP2GoAway(static_cast<Th2ErrorCodes>(closeCode & 0xFF), ""); }

TzorHTTP2SettingsValues TzorHTTP2Session::PeerSettings() const {
  const Lock lock(FLock);
  return FPeerSettings;
}

uint32_t TzorHTTP2Session::ConcurrentStreams() const {
  const Lock lock(FLock);
  return FPeerStreams;
}

size_t TzorHTTP2Session::StreamCount() const {
  const Lock lock(FLock);
  return FStreams.size();
}

int64_t TzorHTTP2Session::SendWindowSize(int32_t stream) const {
  const Lock lock(FLock);
  return stream == 0 ? FWriteDataFrames.ConnectionWindowSize() : FWriteDataFrames.WindowSize(stream);
}

bool TzorHTTP2Session::AwaitsAnswer(int32_t stream) const {
  const Lock lock(FLock);
  const TzorHTTP2_StreamResponse* record = Find(stream);
  return record && record->LocalOpen() && !record->FAnswered;
}

size_t TzorHTTP2Session::PendingData(int32_t stream) const {
  const Lock lock(FLock);
  return FWriteDataFrames.Pending(stream);
}

// Writing.

TzorHTTP2_HeaderList& TzorHTTP2Session::BeginHeaders(int status) {
  TzorHTTP2_Frame_Headers& frame = FHTTP2FrameWrite->Frame_Headers();
  frame.Clear();
  frame.ClearFlags();
  char digits[12];
  const auto end = std::to_chars(std::begin(digits), std::end(digits), status).ptr;
  frame.Headers().Add(":status", std::string_view(digits, static_cast<size_t>(end - digits)));
  return frame.Headers();
}

void TzorHTTP2Session::AddHeaderLines(TzorHTTP2_HeaderList& headers, std::span<const std::string> lines,
                                      int32_t stream) {
  for (const std::string& line : lines) {
    if (HasForbiddenOctet(line)) {
      StreamError(stream, h2erINTERNAL_ERROR);
      throw TzorHTTP2Exception("HEADER field cannot contain CR, LF or NUL.", h2erINTERNAL_ERROR, h2errRST_STREAM,
                               stream);
    }
    headers.AddLine(line);
    // Connection-specific fields mean nothing in HTTP/2 and peers refuse them.
    if (IsConnectionSpecific(headers.Name(headers.Count() - 1))) headers.RemoveLast();
  }
}

bool TzorHTTP2Session::Respond(int32_t stream, std::span<const uint8_t> body, bool withBody, bool keepOpen,
                               const std::vector<std::string>* pushLinks, std::string_view authority) {
  TzorHTTP2_StreamResponse* record = Find(stream);
  if (!record || !record->LocalOpen() || FGoAwaySent) return false;
  withBody = withBody && !record->FHead;
  const bool endStream = !withBody && !keepOpen;
  const auto push = [&] {
    if (!pushLinks) return;
    for (const std::string& link : *pushLinks) SendHTTP2PushPromise(link, std::string(authority), stream);
  };
  // PUSH_PROMISE may not follow an END_STREAM of its stream.
  if (endStream) push();
  if (record->FStreamState == h2ssReservedLocal) record->FStreamState = h2ssHalfClosedRemote;
  record->FAnswered = true;
  TzorHTTP2_Frame_Headers& frame = FHTTP2FrameWrite->Frame_Headers();
  frame.Headers().Add("server", kServerLine);
  frame.SetEndHeaders(true);
  frame.SetEndStream(endStream);
  frame.SetStreamIdentifier(stream);
  frame.WriteBytes();
  if (!endStream) push();
  if (endStream) {
    LocalEnded(stream);
  } else if (withBody) {
    FWriteDataFrames.AddFrame(stream, body, true, FOutput, FFinished);
    EndFinished();
    SendData();
  }
  Flush();
  return true;
}

bool TzorHTTP2Session::SendHTTP2Response(std::string_view authority, TzorHTTP2ResponseInfo& response,
                                         int32_t pushStream, int32_t requestStream,
                                         const std::vector<std::string>* pushLinks) {
  const int32_t stream = pushStream > 0 ? pushStream : requestStream;
  const Lock lock(FLock);
  TzorHTTP2_HeaderList& headers = BeginHeaders(response.ResponseCode);
  AddHeaderLines(headers, response.RawHeaders, stream);
  for (const std::string& cookie : response.Cookies) AddHeaderLines(headers, {{"set-cookie: " + cookie}}, stream);
  TBytes content;
  std::span<const uint8_t> body(reinterpret_cast<const uint8_t*>(response.ContentText.data()),
                                response.ContentText.size());
  if (response.ContentStream) {
    content = std::move(*response.ContentStream);
    response.ContentStream.reset();
    body = content;
  }
  return Respond(stream, body, !body.empty(), false, pushLinks, authority);
}

bool TzorHTTP2Session::SendHTTP2ResponseStream(TBytes content, const std::string& contentType, int32_t stream,
                                               const std::vector<std::string>& headerLines) {
  const Lock lock(FLock);
  TzorHTTP2_HeaderList& headers = BeginHeaders(200);
  headers.Add("cache-control", "no-cache");
  AddHeaderLines(headers, {{"content-type: " + contentType}}, stream);
  AddHeaderLines(headers, headerLines, stream);
  return Respond(stream, content, true, false, nullptr, {});
}

bool TzorHTTP2Session::SendHTTP2ResponseText(const std::string& text, const std::string& contentType, int32_t stream,
                                             const std::vector<std::string>& headerLines) {
  return SendHTTP2ResponseStream(TBytes(text.begin(), text.end()), contentType, stream, headerLines);
}

bool TzorHTTP2Session::SendHTTP2Redirect(const std::string& location, const std::vector<std::string>& headerLines,
                                         int32_t stream) {
  const Lock lock(FLock);
  TzorHTTP2_HeaderList& headers = BeginHeaders(302);
  AddHeaderLines(headers, {{"location: " + location}}, stream);
  AddHeaderLines(headers, headerLines, stream);
  return Respond(stream, {}, false, false, nullptr, {});
}

bool TzorHTTP2Session::SendHTTP2Status(int status, const std::string&, int32_t stream) {
  const Lock lock(FLock);
  BeginHeaders(status);
  return Respond(stream, {}, false, false, nullptr, {});
}

bool TzorHTTP2Session::SendHTTP2TunnelResponse(int32_t stream, int status, const std::vector<std::string>& headerLines) {
  const Lock lock(FLock);
  AddHeaderLines(BeginHeaders(status), headerLines, stream);
  const bool accepted = status >= 200 && status < 300;
  return Respond(stream, {}, false, accepted, nullptr, {});
}

bool TzorHTTP2Session::SendHTTP2TunnelData(int32_t stream, std::span<const uint8_t> bytes, bool endStream) {
  const Lock lock(FLock);
  TzorHTTP2_StreamResponse* record = Find(stream);
  if (!record || !record->LocalOpen() || FGoAwaySent) return false;
  FWriteDataFrames.AddFrame(stream, bytes, endStream, FOutput, FFinished);
  EndFinished();
  SendData();
  Flush();
  return true;
}

int32_t TzorHTTP2Session::SendHTTP2PushPromise(const std::string& path, const std::string& authority,
                                               int32_t associatedStream) {
  const Lock lock(FLock);
  TzorHTTP2_StreamResponse* associated = Find(associatedStream);
  if (!FPeerSettings.EnablePush || FGoAwayReceived || FGoAwaySent || !associated || !associated->LocalOpen() ||
      associatedStream % 2 == 0)
    return 0;
  uint32_t pushes = 0;
  for (const auto& [identifier, stream] : FStreams)
    if (identifier % 2 == 0) ++pushes;
  if (pushes >= FPeerSettings.MaxConcurrentStreams || HasForbiddenOctet(path) || HasForbiddenOctet(authority))
    return 0;
  const int32_t promised = FPushCounter.GetNewIdentifier();
  auto record = NewRecord(promised);
  record->FStreamState = h2ssReservedLocal;
  record->Request().Method = h2meGet;
  record->Request().URL = path;
  record->Request().Host = authority;
  record->FHeaders.Add(":method", "GET");
  record->FHeaders.Add(":path", path);
  TzorHTTP2_Frame_PushPromise& frame = FHTTP2FrameWrite->Frame_PushPromise();
  frame.Clear();
  frame.ClearFlags();
  frame.SetEndHeaders(true);
  frame.Headers().Add(":method", "GET");
  frame.Headers().Add(":scheme", Scheme);
  frame.Headers().Add(":authority", authority);
  frame.Headers().Add(":path", path);
  frame.SetStreamIdentifier(associatedStream);
  frame.OnRequestPromisedStreamId = [promised](TzorHTTP2_Frame_PushPromise&, int32_t& id) { id = promised; };
  frame.WriteBytes();
  FStreams.emplace(promised, std::move(record));
  FWriteDataFrames.OpenStream(promised);
  FHTTP2PushPromisePendingRequests.push_back(promised);
  return promised;
}

void TzorHTTP2Session::SendData() {
  FWriteDataFrames.SendFrames(FOutput, FFinished);
  EndFinished();
}

void TzorHTTP2Session::EndFinished() {
  for (const int32_t stream : FFinished) LocalEnded(stream);
  FFinished.clear();
}

void TzorHTTP2Session::Flush() {
  // Within a read pass its own writes wait for the end of the pass, so that
  // the answers to one read leave in one write.
  if (FFlushingNow || FReadingThread.load() == std::this_thread::get_id()) return;
  FFlushingNow = true;
  while (!FOutput.Empty()) {
    FOutput.swap(FFlushing);
    if (OnHTTP2WriteBytes) OnHTTP2WriteBytes(*this, FFlushing.Span());
    FFlushing.Clear();
  }
  FFlushingNow = false;
}

}  // namespace zor
