#pragma once
// TzorHTTP2Session: the server side of one HTTP/2 connection, without IO.
// Received bytes go in through ReadHTTP2Data; every byte this side sends
// leaves through OnHTTP2WriteBytes, whole frames at a time. The connection
// that owns the session (WebSocket connection, server, tests) moves the
// bytes and drops the transport when OnHTTP2Disconnect is raised.
//
// Threads: ReadHTTP2Data and the events it raises run on one thread at a
// time (the connection's reading thread). The Send operations may be called
// from any thread; one lock orders every write (HPACK encoding and the header
// block written together, the DATA queue). No lock is held while an event
// handler runs.
#include "http2/frame_reader.h"
#include "http2/send_queue.h"
#include "http2/server_options.h"
#include "http2/stream.h"

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zor {

class TzorHTTP2Session;

using TzorWSHTTP2RequestEvent =
    std::function<void(TzorHTTP2Session& session, const TzorHTTP2_HeaderList& headers, std::span<const uint8_t> body,
                       int32_t streamIdentifierRequest, int32_t streamIdentifierPush, TzorStringStream* postStream)>;
using TzorHTTP2ReadResponseEvent = std::function<void(TzorHTTP2Session& session, TzorHTTP2_StreamResponse& stream)>;
using TzorHTTP2ReadResponseFragmentEvent =
    std::function<void(TzorHTTP2Session& session, TzorHTTP2_StreamResponse& stream, std::span<const uint8_t> bytes)>;
using TzorHTTP2ReadCreatePostStreamEvent =
    std::function<void(TzorHTTP2Session& session, const TzorHTTP2_HeaderList& headers, TzorStringStream*& stream)>;
using TzorHTTP2ReadDonePostStreamEvent =
    std::function<void(TzorHTTP2Session& session, const TzorHTTP2_HeaderList& headers, TzorStringStream* stream)>;

// One HTTP/2 server connection without IO: bytes in, frames out, events per stream.
class TzorHTTP2Session {
 public:
  TzorHTTP2Session();
  ~TzorHTTP2Session();
  TzorHTTP2Session(const TzorHTTP2Session&) = delete;
  TzorHTTP2Session& operator=(const TzorHTTP2Session&) = delete;

  // Options, set before StartHTTP2.
  // What this side announces and enforces.
  TzorHTTP2ServerSettings& Settings() { return FSettings; }
  void SetSettings(const TzorHTTP2ServerSettings& settings) { FSettings.Assign(settings); }
  Th2FragmentedData FragmentedData() const { return FFragmentedData; }
  void SetFragmentedData(Th2FragmentedData mode) { FFragmentedData = mode; }
  // Bounds of what is collected: one request body, all bodies of the
  // connection together (beyond them the request is answered 413), the
  // streams open at once (beyond it REFUSED_STREAM, also when the announced
  // limit is higher) and a decoded header list.
  int64_t MaxBodySize = 8 * 1024 * 1024;
  int64_t MaxBufferedBodies = 64 * 1024 * 1024;
  uint32_t MaxStreams = 256;
  uint32_t MaxHeaderListBound = 65536;
  // Whether the first bytes are the client's connection preface (false when
  // the owner has consumed it already).
  bool ExpectPreface = true;
  // The scheme of pushed requests.
  std::string Scheme = "https";

  // Sends this side's SETTINGS.
  void StartHTTP2();
  // Received bytes; every complete frame is handled before it returns, and
  // the pending pushes are served (AfterReadFrames).
  void ReadHTTP2Data(std::span<const uint8_t> bytes);
  void ReadHTTP2Data(std::string_view bytes) {
    ReadHTTP2Data(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  }
  // Raises OnHTTP2Request for each pushed request not served yet.
  void AfterReadFrames();

  // The answer to a request: HEADERS, then the body as DATA under flow
  // control (none for HEAD). Pushes the links when the peer allows pushes.
  // False when the stream can no longer be answered (reset, closed).
  // A header field holding CR, LF or NUL resets the stream and raises.
  bool SendHTTP2Response(std::string_view authority, TzorHTTP2ResponseInfo& response, int32_t pushStream,
                         int32_t requestStream, const std::vector<std::string>* pushLinks = nullptr);
  bool SendHTTP2ResponseText(const std::string& text, const std::string& contentType, int32_t stream,
                             const std::vector<std::string>& headerLines = {});
  bool SendHTTP2ResponseStream(TBytes content, const std::string& contentType, int32_t stream,
                               const std::vector<std::string>& headerLines = {});
  bool SendHTTP2Redirect(const std::string& location, const std::vector<std::string>& headerLines, int32_t stream);
  // A bare status answer; the text is not sent.
  bool SendHTTP2Status(int status, const std::string& text, int32_t stream);
  // Promises a pushed GET of the path on the stream being answered; returns
  // the promised stream, 0 when the peer does not take pushes.
  int32_t SendHTTP2PushPromise(const std::string& path, const std::string& authority, int32_t associatedStream);
  // GOAWAY with the last stream processed, then OnHTTP2Disconnect.
  void SendHTTP2GoAway(Th2ErrorCodes errorCode, const std::string& debugText);
  void SendHTTP2Ping(const std::array<uint8_t, 8>& payload);
  // A ping carrying the text's first 8 octets (zero-filled).
  void SendHTTP2Ping(std::string_view text);
  // GOAWAY with NO_ERROR (or the code's low octet), then OnHTTP2Disconnect.
  void Close(int closeCode = 0);
  void ResetHTTP2Stream(int32_t stream, Th2ErrorCodes errorCode);

  // Tunnels (CONNECT, RFC 8441 extended CONNECT): the answer's HEADERS
  // leave the stream open for DATA both ways when the status is 2xx.
  bool SendHTTP2TunnelResponse(int32_t stream, int status, const std::vector<std::string>& headerLines = {});
  bool SendHTTP2TunnelData(int32_t stream, std::span<const uint8_t> bytes, bool endStream);

  bool SettingsReceived() const { return FSettingsReceived; }
  // The peer has acknowledged this side's SETTINGS.
  bool SettingsSent() const { return FSettingsSent; }
  bool GoAwaySent() const { return FGoAwaySent; }
  bool GoAwayReceived() const { return FGoAwayReceived; }
  // The peer's SETTINGS as far as received.
  TzorHTTP2SettingsValues PeerSettings() const;
  int32_t LastProcessedStream() const { return FLastProcessedStream; }
  // Streams the peer opened that are not closed.
  uint32_t ConcurrentStreams() const;
  // Stream records held (open streams and pushes).
  size_t StreamCount() const;
  int64_t SendWindowSize(int32_t stream) const;
  // Whether the stream is open and no answer has begun on it.
  bool AwaitsAnswer(int32_t stream) const;
  // Octets of DATA queued on the stream that the peer's windows hold back.
  size_t PendingData(int32_t stream) const;

  // Every byte to send, whole frames.
  std::function<void(TzorHTTP2Session& session, std::span<const uint8_t> bytes)> OnHTTP2WriteBytes;
  TzorWSHTTP2RequestEvent OnHTTP2Request;
  TzorHTTP2ReadResponseEvent OnReadStreamResponse;
  TzorHTTP2ReadResponseFragmentEvent OnReadStreamResponseFragment;
  TzorHTTP2ReadCreatePostStreamEvent OnReadCreatePostStream;
  TzorHTTP2ReadDonePostStreamEvent OnReadDonePostStream;
  // A tunnel's DATA from the peer; END_STREAM ends the peer's direction.
  std::function<void(TzorHTTP2Session& session, int32_t stream, std::span<const uint8_t> bytes, bool endStream)>
      OnHTTP2TunnelData;
  // The peer reset a stream this side had not finished.
  std::function<void(TzorHTTP2Session& session, int32_t stream, Th2ErrorCodes errorCode)> OnHTTP2StreamReset;
  std::function<void(TzorHTTP2Session& session, const TzorHTTP2_Frame_GoAway& frame)> OnHTTP2GoAway;
  // GOAWAY has been sent: the owner drops the transport.
  std::function<void(TzorHTTP2Session& session)> OnHTTP2Disconnect;

 private:
  class Reader;
  class Hold;
  using Lock = std::lock_guard<std::recursive_mutex>;

  void WireReader();
  void ConsumePreface(std::span<const uint8_t>& bytes);
  void CheckFirstFrame() const;
  void ReadSettings(TzorHTTP2_Frame_Settings& frame);
  void ReadPing(TzorHTTP2_Frame_Ping& frame);
  void WritePing(bool ack, const std::array<uint8_t, 8>& payload);
  void ReadWindowUpdate(TzorHTTP2_Frame_WindowUpdate& frame);
  void ReadRSTStream(TzorHTTP2_Frame_RSTStream& frame);
  void ReadPriority(TzorHTTP2_Frame_Priority& frame);
  void ReadGoAway(TzorHTTP2_Frame_GoAway& frame);
  void ReadHeaders(TzorHTTP2_Frame_Headers& frame);
  void ReadData(TzorHTTP2_Frame_Data& frame);
  // A new stream from the peer's HEADERS; nothing when it is refused.
  TzorHTTP2_StreamResponse* OpenStream(TzorHTTP2_Frame_Headers& frame);
  // The peer's END_STREAM: state, content-length, delivery.
  void EndOfRequest(TzorHTTP2_StreamResponse& stream);
  // The whole request: its events, as the fragmented-data mode says.
  void DeliverRequest(TzorHTTP2_StreamResponse& stream);
  void DoReadStreamResponse(TzorHTTP2_StreamResponse& stream);
  void DoHTTP2PushRequest(int32_t promisedStream);
  // Credits the peer's windows for octets this side has taken in.
  void CreditWindows(TzorHTTP2_StreamResponse* stream, bool streamGoesOn);

  bool IsIdle(int32_t stream) const;
  TzorHTTP2_StreamResponse* Find(int32_t stream) const;
  bool ResetByThisSide(int32_t stream) const;
  // Stream error: RST_STREAM and the record is released.
  void StreamError(int32_t stream, Th2ErrorCodes errorCode);
  void PeerEnded(TzorHTTP2_StreamResponse& stream);
  void LocalEnded(int32_t stream);
  void ReleaseIfClosed(int32_t stream);
  std::unique_ptr<TzorHTTP2_StreamResponse> NewRecord(int32_t stream);
  int64_t InitialReceiveWindow() const;

  // Writing, under FLock. An answer's header list is built in the writer's
  // HEADERS object: BeginHeaders, the fields, then Respond.
  TzorHTTP2_HeaderList& BeginHeaders(int status);
  // Lines "name: value"; CR, LF or NUL resets the stream and raises.
  void AddHeaderLines(TzorHTTP2_HeaderList& headers, std::span<const std::string> lines, int32_t stream);
  bool Respond(int32_t stream, std::span<const uint8_t> body, bool withBody, bool keepOpen,
               const std::vector<std::string>* pushLinks, std::string_view authority);
  void WriteWindowUpdate(int32_t stream, int64_t increment);
  void SendData();
  // Local ends of the streams whose END_STREAM the DATA queue sent.
  void EndFinished();
  void Flush();

  TzorHTTP2ServerSettings FSettings;
  Th2FragmentedData FFragmentedData = h2fdOnlyBuffer;
  std::unique_ptr<Reader> FHTTP2FrameRead;
  std::unique_ptr<TzorHTTP2_Frame> FHTTP2FrameWrite;
  TzorHTTP2_StreamIdentifierCounter FPushCounter{h2frServerRead};
  size_t FPrefaceMatched = 0;
  std::atomic<bool> FSettingsReceived = false;
  std::atomic<bool> FSettingsSent = false;
  std::atomic<bool> FGoAwaySent = false;
  std::atomic<bool> FGoAwayReceived = false;
  std::atomic<int32_t> FLastProcessedStream = 0;

  mutable std::recursive_mutex FLock;
  std::unordered_map<int32_t, std::unique_ptr<TzorHTTP2_StreamResponse>> FStreams;
  std::vector<std::unique_ptr<TzorHTTP2_StreamResponse>> FSpareRecords;
  int32_t FHeld = 0;  // the record the reading thread works on
  int32_t FHighestStreamSeen = 0;
  uint32_t FPeerStreams = 0;  // records of streams the peer opened
  std::array<int32_t, 64> FResetByThisSide{};
  size_t FResetNext = 0;
  TzorHTTP2SettingsValues FPeerSettings;
  TzorHTTP2_Write_Data_Frames FWriteDataFrames;
  std::vector<int32_t> FFinished;  // filled by FWriteDataFrames, then EndFinished
  int64_t FBufferedBodies = 0;
  int64_t FReceiveWindow = 65535;  // the connection's, as this side allows
  int64_t FUnacknowledged = 0;
  uint64_t FPeerResets = 0, FStreamsAnswered = 0;
  TzorByteBuffer FOutput, FFlushing;
  bool FFlushingNow = false;
  std::atomic<std::thread::id> FReadingThread{};
  std::deque<int32_t> FHTTP2PushPromisePendingRequests;
  bool FHTTP2PushPromiseSending = false;
};

}  // namespace zor
