#include "websocket/rfc8441_stream.h"

#include "base/format.h"

#include <algorithm>
#include <cctype>

namespace zor {

namespace {

const char* ErrorCodeName(Th2ErrorCodes code) {
  static const char* const kNames[] = {
      "NO_ERROR",      "PROTOCOL_ERROR",    "INTERNAL_ERROR",      "FLOW_CONTROL_ERROR", "SETTINGS_TIMEOUT",
      "STREAM_CLOSED", "FRAME_SIZE_ERROR",  "REFUSED_STREAM",      "CANCEL",             "COMPRESSION_ERROR",
      "CONNECT_ERROR", "ENHANCE_YOUR_CALM", "INADEQUATE_SECURITY", "HTTP_1_1_REQUIRED"};
  return code < std::size(kNames) ? kNames[code] : "UNKNOWN_ERROR";
}

// The peer's debug text as it may appear in a message: printable, bounded.
std::string Printable(std::string_view text) {
  std::string out;
  for (const char c : text.substr(0, 128)) out += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

[[noreturn]] void StreamError(const char* message, Th2ErrorCodes code) {
  throw TzorHTTP2Exception(message, code, h2errRST_STREAM, TzorWSHTTP2ClientStream::kStream);
}

}  // namespace

// The frame reader of the client's side: the stream counts as open for its
// trailers once the answer has come.
class TzorWSHTTP2ClientStream::Reader : public TzorHTTP2_Frame {
 public:
  explicit Reader(TzorWSHTTP2ClientStream& owner) : TzorHTTP2_Frame(h2frClientRead), owner_(owner) {}

 protected:
  bool IsOpenStream(int32_t stream) const override { return stream == kStream && owner_.FState == h2csOpen; }
  void DoHandlePayload(std::span<const uint8_t> payload) override {
    owner_.FirstFrame(FrameType(), FrameType() == h2ftSETTINGS && Frame_Settings().ACK());
    if (owner_.FFailure.empty()) TzorHTTP2_Frame::DoHandlePayload(payload);
  }

 private:
  TzorWSHTTP2ClientStream& owner_;
};

TzorWSHTTP2ClientStream::TzorWSHTTP2ClientStream()
    : FReader(std::make_unique<Reader>(*this)), FWriter(std::make_unique<TzorHTTP2_Frame>(h2frClientWrite)) {
  FWriter->OnWriteBytes = [this](TzorHTTP2_Frame&, std::span<const uint8_t> bytes) { Output(bytes); };
  TzorHTTP2_Frame& r = *FReader;
  r.OnReadFrameSettings = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Settings& f) { ReadSettings(f); };
  r.OnReadFrameHeaders = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Headers& f) { ReadHeaders(f); };
  r.OnReadFrameData = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Data& f) { ReadData(f); };
  r.OnReadFrameWindowUpdate = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_WindowUpdate& f) { ReadWindowUpdate(f); };
  r.OnReadFrameRSTStream = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_RSTStream& f) { ReadRSTStream(f); };
  r.OnReadFrameGoAway = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_GoAway& f) { ReadGoAway(f); };
  r.OnReadFramePing = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Ping& f) {
    if (f.ACK()) return;
    TzorHTTP2_Frame_Ping& answer = FWriter->Frame_Ping();
    answer.SetACK(true);
    answer.SetPayLoad(f.PayLoad());
    answer.WriteBytes();
  };
  r.OnReadFramePushPromise = [](TzorHTTP2_Frame&, TzorHTTP2_Frame_PushPromise&) {
    throw TzorHTTP2Exception("PUSH_PROMISE though pushes are disabled.", h2erPROTOCOL_ERROR);
  };
}

TzorWSHTTP2ClientStream::~TzorWSHTTP2ClientStream() = default;

void TzorWSHTTP2ClientStream::Start() {
  Output({reinterpret_cast<const uint8_t*>(Th2ConnectionPreface.data()), Th2ConnectionPreface.size()});
  TzorHTTP2SettingsValues values;
  values.EnablePush = false;
  values.InitialWindowSize = kReceiveWindow;
  TzorHTTP2_Frame_Settings& settings = FWriter->Frame_Settings();
  settings.SetACK(false);
  settings.SetValues(values);
  settings.WriteBytes();
  WriteWindowUpdate(0, kReceiveWindow - 65535);
}

void TzorWSHTTP2ClientStream::Read(std::span<const uint8_t> bytes, std::string& data) {
  if (!FFailure.empty()) return;
  FData = &data;
  for (;;) {
    try {
      FReader->ReadBytes(bytes);
      break;
    } catch (const TzorHTTP2Exception& e) {
      if (!Violation(e)) break;
    } catch (const std::exception& e) {
      // The header coder's own failures: the peer's compression context is lost.
      if (!Violation(TzorHTTP2Exception(e.what(), h2erCOMPRESSION_ERROR))) break;
    }
    bytes = {};  // the reader goes on with what it has buffered
  }
  FData = nullptr;
}

std::vector<TzorWSHTTP2Frame> TzorWSHTTP2ClientStream::TakeHandshakeFrames() {
  return std::exchange(FHandshakeFrames, {});
}

bool TzorWSHTTP2ClientStream::Violation(const TzorHTTP2Exception& e) {
  const int32_t stream = e.StreamIdentifier();
  if (e.ErrorResponse() == h2errRST_STREAM && stream != 0 && stream != kStream) {
    WriteReset(stream, e.ErrorCode());
    return true;
  }
  if (e.ErrorResponse() == h2errRST_STREAM)
    WriteReset(kStream, e.ErrorCode());
  else
    WriteGoAway(e.ErrorCode(), e.what());
  Fail(Format("HTTP/2 %s: %s", ErrorCodeName(e.ErrorCode()), e.what()));
  return false;
}

void TzorWSHTTP2ClientStream::Fail(std::string reason) {
  if (FFailure.empty()) FFailure = std::move(reason);
  FState = h2csClosed;
}

void TzorWSHTTP2ClientStream::FirstFrame(Th2FrameType type, bool ack) {
  if (FState != h2csPreface || (type == h2ftSETTINGS && !ack)) return;
  FHandshakeFrames.push_back({});  // what the handshake calls an invalid frame type
  WriteGoAway(h2erPROTOCOL_ERROR, "SETTINGS expected");
  Fail("Invalid Frame Type.");
}

// ---- frames read ------------------------------------------------------------------

void TzorWSHTTP2ClientStream::ReadSettings(TzorHTTP2_Frame_Settings& frame) {
  if (frame.ACK()) return;
  if (frame.Present(h2siINITIAL_WINDOW_SIZE)) {
    // Changes the window of the stream by the difference, down below zero too.
    const int64_t delta = int64_t{frame.InitialWindowSize()} - FPeerInitialWindow;
    if (FSendStream + delta > h2MaxWindowSize)
      throw TzorHTTP2Exception("SETTINGS: the stream's window would exceed 2^31-1.", h2erFLOW_CONTROL_ERROR);
    FSendStream += delta;
    FPeerInitialWindow = frame.InitialWindowSize();
  }
  if (frame.Present(h2siMAX_FRAME_SIZE)) FPeerMaxFrameSize = frame.MaxFrameSize();
  if (frame.Present(h2siHEADER_TABLE_SIZE)) FWriter->HPACK().SetDynamicTableSizeLimit(frame.HeaderTableSize());
  TzorHTTP2_Frame_Settings& ack = FWriter->Frame_Settings();
  ack.SetACK(true);
  ack.WriteBytes();
  if (FState == h2csPreface) {
    TzorWSHTTP2Frame first;
    first.FrameKind = TzorWSHTTP2Frame::Kind::Settings;
    first.ConnectProtocolEnabled = frame.EnableConnectProtocol();
    FHandshakeFrames.push_back(std::move(first));
    FState = h2csSettings;
  }
  SendHeld();
}

void TzorWSHTTP2ClientStream::ReadHeaders(TzorHTTP2_Frame_Headers& frame) {
  if (frame.StreamIdentifier() != kStream || FState < h2csRequested)
    throw TzorHTTP2Exception("HEADERS on a stream this side did not open.", h2erPROTOCOL_ERROR);
  if (FPeerEnded) StreamError("HEADERS after the end of the stream.", h2erSTREAM_CLOSED);
  if (FState == h2csRequested) {
    TzorWSHTTP2Frame answer;
    answer.FrameKind = TzorWSHTTP2Frame::Kind::Headers;
    const TzorHTTP2_HeaderList& headers = frame.Headers();
    for (size_t i = 0; i < headers.Count(); ++i)
      answer.Headers.emplace_back(std::string(headers.Name(i)), std::string(headers.Value(i)));
    FHandshakeFrames.push_back(std::move(answer));
    FState = frame.Status() == 200 ? h2csOpen : h2csClosed;
  } else if (FState == h2csOpen && !frame.EndStream()) {
    StreamError("HEADERS after the answer must end the stream.", h2erPROTOCOL_ERROR);
  }
  if (frame.EndStream()) FPeerEnded = true;
  SendHeld();
}

void TzorWSHTTP2ClientStream::ReadData(TzorHTTP2_Frame_Data& frame) {
  const int64_t length = frame.FrameLength();  // padding counts too
  if ((FReceiveConnection -= length) < 0)
    throw TzorHTTP2Exception("DATA beyond the connection's window.", h2erFLOW_CONTROL_ERROR);
  FConsumedConnection += length;
  if (frame.StreamIdentifier() != kStream || FState < h2csRequested)
    throw TzorHTTP2Exception("DATA on a stream this side did not open.", h2erPROTOCOL_ERROR);
  if (FState == h2csRequested) StreamError("DATA before the answer's HEADERS.", h2erPROTOCOL_ERROR);
  if (FState != h2csOpen || FPeerEnded) StreamError("DATA on a stream that is not open.", h2erSTREAM_CLOSED);
  if ((FReceiveStream -= length) < 0) StreamError("DATA beyond the stream's window.", h2erFLOW_CONTROL_ERROR);
  FConsumedStream += length;
  FData->append(frame.Data().begin(), frame.Data().end());
  if (frame.EndStream()) FPeerEnded = true;
  // What was read is consumed at once: the windows are credited in halves.
  if (FConsumedConnection >= kReceiveWindow / 2) {
    WriteWindowUpdate(0, FConsumedConnection);
    FReceiveConnection += std::exchange(FConsumedConnection, 0);
  }
  if (!FPeerEnded && FConsumedStream >= kReceiveWindow / 2) {
    WriteWindowUpdate(kStream, FConsumedStream);
    FReceiveStream += std::exchange(FConsumedStream, 0);
  }
}

void TzorWSHTTP2ClientStream::ReadWindowUpdate(TzorHTTP2_Frame_WindowUpdate& frame) {
  const int64_t increment = frame.WindowSizeIncrement();
  if (frame.StreamIdentifier() == 0) {
    if ((FSendConnection += increment) > h2MaxWindowSize)
      throw TzorHTTP2Exception("WINDOW_UPDATE: the connection's window exceeds 2^31-1.", h2erFLOW_CONTROL_ERROR);
  } else if (frame.StreamIdentifier() == kStream) {
    if ((FSendStream += increment) > h2MaxWindowSize)
      StreamError("WINDOW_UPDATE: the stream's window exceeds 2^31-1.", h2erFLOW_CONTROL_ERROR);
  }
  SendHeld();
}

void TzorWSHTTP2ClientStream::ReadRSTStream(TzorHTTP2_Frame_RSTStream& frame) {
  if (frame.StreamIdentifier() == kStream)
    Fail(Format("HTTP/2 stream reset by the server: %s", ErrorCodeName(frame.ErrorCode())));
}

void TzorWSHTTP2ClientStream::ReadGoAway(TzorHTTP2_Frame_GoAway& frame) {
  // A graceful GOAWAY that counts the stream in lets it run to its end.
  if (frame.LastStreamid() >= kStream && frame.ErrorCode() == h2erNO_ERROR) return;
  std::string reason = Format("HTTP/2 GOAWAY from the server: %s", ErrorCodeName(frame.ErrorCode()));
  if (!frame.AdditionalDebugData().empty()) reason += " " + Printable(frame.AdditionalDebugData());
  Fail(std::move(reason));
}

// ---- sending ------------------------------------------------------------------------

void TzorWSHTTP2ClientStream::SendRequest(const std::vector<std::string>& lines) {
  TzorHTTP2_Frame_Headers& request = FWriter->Frame_Headers();
  TzorHTTP2_HeaderList& headers = request.Headers();
  headers.Clear();
  for (const std::string_view line : lines) {
    // "name = value"; a "name: value" line an application added is taken too.
    const size_t split = line.find_first_of("=:", 1);
    if (split == std::string_view::npos) continue;
    std::string name(Trim(line.substr(0, split)));
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    headers.Add(name, Trim(line.substr(split + 1)), name == "authorization" || name == "cookie");
  }
  request.SetStreamIdentifier(0);  // the counter's first: kStream
  request.SetEndStream(false);
  request.WriteBytes();
  FState = h2csRequested;
}

void TzorWSHTTP2ClientStream::Send(std::span<const uint8_t> bytes) {
  if (FState == h2csClosed || FLocalEnded) return;
  const size_t sent = FState == h2csOpen && Held() == 0 ? SendData(bytes) : 0;
  FHeld.append(reinterpret_cast<const char*>(bytes.data()) + sent, bytes.size() - sent);
}

void TzorWSHTTP2ClientStream::SendHeld() {
  if (FState != h2csOpen || Held() == 0) return;
  FHeldAt += SendData({reinterpret_cast<const uint8_t*>(FHeld.data()) + FHeldAt, Held()});
  if (FHeldAt == FHeld.size()) {
    FHeld.clear();
    FHeldAt = 0;
  } else if (FHeldAt > FHeld.size() / 2) {
    FHeld.erase(0, FHeldAt);
    FHeldAt = 0;
  }
}

size_t TzorWSHTTP2ClientStream::SendData(std::span<const uint8_t> bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const int64_t room = std::min({FSendConnection, FSendStream, int64_t{FPeerMaxFrameSize}});
    if (room <= 0) break;
    const size_t chunk = std::min<size_t>(bytes.size() - sent, static_cast<size_t>(room));
    uint8_t header[h2FrameHeaderLength] = {0, 0, 0, h2ftDATA, 0};
    WriteWireInteger(header, static_cast<uint32_t>(chunk), 3);
    WriteWireInteger(header + 5, kStream, 4);
    Output(header);
    Output(bytes.subspan(sent, chunk));
    FSendConnection -= static_cast<int64_t>(chunk);
    FSendStream -= static_cast<int64_t>(chunk);
    sent += chunk;
  }
  return sent;
}

int64_t TzorWSHTTP2ClientStream::SendWindow() const { return std::min(FSendConnection, FSendStream); }

void TzorWSHTTP2ClientStream::Close() {
  if (!FLocalEnded && (FState == h2csOpen || FState == h2csRequested)) {
    if (FState == h2csOpen && Held() == 0) {
      const uint8_t end[h2FrameHeaderLength] = {0, 0, 0, h2ftDATA, h2flags::END_STREAM, 0, 0, 0, kStream};
      Output(end);
    } else {
      WriteReset(kStream, h2erCANCEL);
    }
  }
  FLocalEnded = true;
  FState = h2csClosed;
  WriteGoAway(h2erNO_ERROR, {});
}

void TzorWSHTTP2ClientStream::WriteWindowUpdate(int32_t stream, int64_t increment) {
  TzorHTTP2_Frame_WindowUpdate& update = FWriter->Frame_WindowUpdate();
  update.SetStreamIdentifier(stream);
  update.SetWindowSizeIncrement(static_cast<int32_t>(increment));
  update.WriteBytes();
}

void TzorWSHTTP2ClientStream::WriteGoAway(Th2ErrorCodes code, const std::string& debug) {
  if (std::exchange(FGoAwaySent, true)) return;
  TzorHTTP2_Frame_GoAway& goAway = FWriter->Frame_GoAway();
  goAway.SetLastStreamid(0);  // this side accepts no stream of the server's
  goAway.SetErrorCode(code);
  goAway.SetAdditionalDebugData(debug);
  goAway.WriteBytes();
}

void TzorWSHTTP2ClientStream::WriteReset(int32_t stream, Th2ErrorCodes code) {
  TzorHTTP2_Frame_RSTStream& reset = FWriter->Frame_RSTStream();
  reset.SetStreamIdentifier(stream);
  reset.SetErrorCode(code);
  reset.WriteBytes();
}

}  // namespace zor
