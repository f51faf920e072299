// The HTTP/2 side of a server connection: the session it carries, the
// answers written on its streams, and the WebSocket streams (RFC 8441) whose
// DATA it hands to their own connections.
#include <map>
#include <mutex>

#include "http2/session.h"
#include "server/http2_stream_transport.h"
#include "server/server_options.h"
#include "server/ws_connection_server.h"

namespace zor {

struct TzorWSConnectionServer::HTTP2Side {
  TzorHTTP2Session session;
  THTTP2Request request;  // read and written on the reading thread only
  std::mutex tunnelsLock;
  std::map<int32_t, std::shared_ptr<TzorHTTP2StreamTransport>> tunnels;

  std::shared_ptr<TzorHTTP2StreamTransport> Tunnel(int32_t stream) {
    std::lock_guard guard(tunnelsLock);
    const auto found = tunnels.find(stream);
    return found == tunnels.end() ? nullptr : found->second;
  }
};

TzorWSConnectionServer::TzorWSConnectionServer() = default;
TzorWSConnectionServer::~TzorWSConnectionServer() = default;

TzorHTTP2Session& TzorWSConnectionServer::StartHTTP2(const TzorWSHTTP2Server_Options& options) {
  FHTTP2 = std::make_unique<HTTP2Side>();
  TzorHTTP2Session& session = FHTTP2->session;
  session.SetSettings(options.Settings);
  session.SetFragmentedData(options.FragmentedData);
  session.ExpectPreface = false;
  session.Scheme = ServerSSL() ? "https" : "http";
  const std::shared_ptr<TzorTransport> transport = TCPConnection();
  session.OnHTTP2WriteBytes = [transport](TzorHTTP2Session&, std::span<const uint8_t> bytes) {
    transport->Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  };
  session.OnHTTP2Disconnect = [transport](TzorHTTP2Session&) { transport->Disconnect(); };
  HTTP2Side* side = FHTTP2.get();
  session.OnHTTP2TunnelData = [side](TzorHTTP2Session&, int32_t stream, std::span<const uint8_t> bytes, bool end) {
    const auto tunnel = side->Tunnel(stream);
    if (!tunnel) return;
    if (!bytes.empty()) tunnel->Receive(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    // The peer's END_STREAM is a WebSocket's end of input: the stream ends.
    if (end) tunnel->End(true);
  };
  session.OnHTTP2StreamReset = [side](TzorHTTP2Session&, int32_t stream, Th2ErrorCodes) {
    if (const auto tunnel = side->Tunnel(stream)) tunnel->End(false);
  };
  SetTransport(trpHTTP2);
  session.StartHTTP2();
  SetEnabled(true);
  if (OnUpdate) OnUpdate(this, 1);
  return session;
}

TzorHTTP2Session* TzorWSConnectionServer::HTTP2Session() const { return FHTTP2 ? &FHTTP2->session : nullptr; }

const TzorWSConnectionServer::THTTP2Request& TzorWSConnectionServer::HTTP2Request() const {
  static const THTTP2Request none;
  return FHTTP2 ? FHTTP2->request : none;
}

void TzorWSConnectionServer::SetHTTP2Request(THTTP2Request request) {
  if (FHTTP2) FHTTP2->request = std::move(request);
}

int32_t TzorWSConnectionServer::AnswerStream(int aStreamId) const {
  return aStreamId > 0 ? aStreamId : HTTP2Request().Stream;
}

void TzorWSConnectionServer::SendHTTP2Answer(std::string_view aStream, const std::string& aContentType,
                                             int aStreamId, const std::vector<std::string>& aHeaders) {
  TzorHTTP2Session& session = FHTTP2->session;
  const int32_t stream = AnswerStream(aStreamId);
  const THTTP2Request& request = FHTTP2->request;
  TBytes content(aStream.begin(), aStream.end());
  if (stream != request.Stream || request.PushLinks.empty()) {
    session.SendHTTP2ResponseStream(std::move(content), aContentType, stream, aHeaders);
    return;
  }
  TzorHTTP2ResponseInfo response;
  response.RawHeaders = {"cache-control: no-cache", "content-type: " + aContentType};
  response.RawHeaders.insert(response.RawHeaders.end(), aHeaders.begin(), aHeaders.end());
  response.ContentStream = std::move(content);
  session.SendHTTP2Response(request.Authority, response, 0, stream, &request.PushLinks);
}

std::shared_ptr<TzorHTTP2StreamTransport> TzorWSConnectionServer::OpenHTTP2Tunnel(int32_t stream) {
  auto self = std::static_pointer_cast<TzorWSConnectionServer>(shared_from_this());
  auto tunnel = std::make_shared<TzorHTTP2StreamTransport>(self, stream);
  std::lock_guard guard(FHTTP2->tunnelsLock);
  FHTTP2->tunnels[stream] = tunnel;
  return tunnel;
}

void TzorWSConnectionServer::RemoveHTTP2Tunnel(int32_t stream) {
  if (!FHTTP2) return;
  std::lock_guard guard(FHTTP2->tunnelsLock);
  FHTTP2->tunnels.erase(stream);
}

void TzorWSConnectionServer::CloseHTTP2Tunnels() {
  if (!FHTTP2) return;
  decltype(FHTTP2->tunnels) tunnels;
  {
    std::lock_guard guard(FHTTP2->tunnelsLock);
    tunnels.swap(FHTTP2->tunnels);
  }
  for (const auto& [stream, tunnel] : tunnels) tunnel->End(false);
}

void TzorWSConnectionServer::ReadHTTP2Data(std::string_view bytes) {
  if (FHTTP2) FHTTP2->session.ReadHTTP2Data(bytes);
}

void TzorWSConnectionServer::WriteHTTP2Ping(const std::string& aText) {
  if (FHTTP2) FHTTP2->session.SendHTTP2Ping(aText);
}

void TzorWSConnectionServer::CloseHTTP2(int aCloseCode) {
  // A normal close is GOAWAY without an error, not the low octet of 1000.
  if (FHTTP2) FHTTP2->session.Close(aCloseCode == kCloseNormal ? 0 : aCloseCode);
}

}  // namespace zor
