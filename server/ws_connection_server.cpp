#include "server/ws_connection_server.h"

#include <cassert>

#include "http2/session.h"
#include "server/http2_stream_transport.h"
#include "server/http_answers.h"
#include "server/request_classifier.h"

namespace zor {

void TzorWSConnectionServer::SendResponseHTTP(const std::string& aContent, const std::string& aContentType) {
  WriteHTTPResponseStream(aContent, aContentType, 0, {});
}

void TzorWSConnectionServer::WriteHTTPResponseStream(std::string_view aStream, const std::string& aContentType,
                                                     int aStreamId, const std::vector<std::string>& aHeaders) {
  if (Transport() == trpHTTP2) return SendHTTP2Answer(aStream, aContentType, aStreamId, aHeaders);
  zor::WriteHTTPResponseStream(*TCPConnection(), aStream, aContentType, FAltSvc, aHeaders);
}

void TzorWSConnectionServer::WriteHTTPStatus(int aCode, const std::string& aText,
                                             const std::vector<std::string>& aHeaders, int aStreamId) {
  if (Transport() == trpHTTP2) {
    HTTP2Session()->SendHTTP2Status(aCode, aText, AnswerStream(aStreamId));
    return;
  }
  zor::WriteHTTPStatus(*TCPConnection(), aCode, aText, aHeaders);
}

void TzorWSConnectionServer::WriteHTTPRedirect(const std::string& aURL, const std::vector<std::string>& aHeaders,
                                               int aStreamId) {
  if (Transport() == trpHTTP2) {
    HTTP2Session()->SendHTTP2Redirect(aURL, aHeaders, AnswerStream(aStreamId));
    return;
  }
  zor::WriteHTTPRedirect(*TCPConnection(), aURL, aHeaders);
}

void TzorWSConnectionServer::ReadHandshakeResponse() {
  assert(!Enabled());
  const auto& lines = HeadersRequest();
  const bool tunnel = Transport() == trpRFC8441;
  std::string key3;
  if (!tunnel && !HeaderValue(lines, "Sec-WebSocket-Key1").empty() &&
      !HeaderValue(lines, "Sec-WebSocket-Key2").empty())
    TCPConnection()->ReadFromBuffer(key3, 8);
  FHandshake = std::make_unique<TzorWSHandShakeServer>(lines, key3, tunnel);
  SetSpecification(FHandshake->Specification());
  SetProtocol(SelectProtocol(FHandshake->Protocols(), Protocol()));
  HeadersResponse().clear();
  CheckOrigin();
  DecodeExtensions();
  if (Transport() == trpUndefined) SetTransport(Specification() == spHixie76 ? trpHixie76 : trpRFC6455);

  std::vector<std::string> extensionLines;
  if (Specification() != spHixie76) Extensions().WriteHeader(extensionLines);
  if (tunnel) return AcceptTunnel(extensionLines);
  HeadersResponse() = BuildHandshakeAnswerLines(*FHandshake, Protocol(), extensionLines);
  if (OnHandshake) OnHandshake(this, HeadersResponse());
  {
    TzorWriteBufferScope scope(*TCPConnection());
    TCPConnection()->Write(HandshakeAnswerText(HeadersResponse(), *FHandshake));
    scope.End();
  }
  HandshakeAnswered();
}

void TzorWSConnectionServer::AcceptTunnel(const std::vector<std::string>& extensionLines) {
  HeadersResponse() = BuildTunnelAnswerLines(Protocol(), extensionLines);
  if (OnHandshake) OnHandshake(this, HeadersResponse());
  auto* stream = dynamic_cast<TzorHTTP2StreamTransport*>(TCPConnection().get());
  assert(stream);
  stream->Accept(HeadersResponse());
  HandshakeAnswered();
}

void TzorWSConnectionServer::HandshakeAnswered() {
  SetEnabled(true);
  if (OnUpdate) OnUpdate(this, 1);
  if (FAuth.AuthenticationCloseCode() != kCloseNormal) Close(FAuth.AuthenticationCloseCode());
}

void TzorWSConnectionServer::CheckOrigin() { zor::CheckOrigin(FServerOriginsAllowed, FHandshake->Origin()); }

void TzorWSConnectionServer::DecodeExtensions() { Extensions().DecodeExtensions(FHandshake->Extensions()); }

}  // namespace zor
