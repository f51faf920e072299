#include "tools/load-balancer/balancer_session.h"

#include <algorithm>
#include <cctype>

#include "websocket/handshake.h"
#include "websocket/lb_messages.h"

namespace zor {
namespace {

std::string Lower(std::string_view aText) {
  std::string lower(aText);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return lower;
}

std::string_view Trimmed(std::string_view aText) {
  while (!aText.empty() && (aText.front() == ' ' || aText.front() == '\t')) aText.remove_prefix(1);
  while (!aText.empty() && (aText.back() == ' ' || aText.back() == '\t')) aText.remove_suffix(1);
  return aText;
}

// The request line's method and target, and the headers the balancer reads.
struct TRequestHead {
  std::string Method, Target, Upgrade, Key;
};

TRequestHead ParseHead(std::string_view aHead) {
  TRequestHead head;
  size_t lineEnd = aHead.find("\r\n");
  std::string_view requestLine = aHead.substr(0, lineEnd);
  size_t firstSpace = requestLine.find(' ');
  size_t secondSpace = requestLine.find(' ', firstSpace + 1);
  if (firstSpace != std::string_view::npos && secondSpace != std::string_view::npos) {
    head.Method = requestLine.substr(0, firstSpace);
    head.Target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
  }
  while (lineEnd != std::string_view::npos) {
    size_t start = lineEnd + 2;
    lineEnd = aHead.find("\r\n", start);
    std::string_view line = aHead.substr(start, lineEnd - start);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string name = Lower(Trimmed(line.substr(0, colon)));
    std::string_view value = Trimmed(line.substr(colon + 1));
    if (name == "upgrade") head.Upgrade = Lower(value);
    if (name == "sec-websocket-key") head.Key = value;
  }
  return head;
}

}  // namespace

TzorBalancerSession::TzorBalancerSession(Owner aOwner) : FOwner(std::move(aOwner)) {
  FReader.SetRequireMask(true);
  FReader.SetValidateUTF8(true);
  FReader.SetMaxMessageSize(kMaxMessageSize);
}

void TzorBalancerSession::Received(std::string_view aBytes) {
  if (FState == sFrames) {
    FReader.Read(reinterpret_cast<const uint8_t*>(aBytes.data()), aBytes.size());
    return;
  }
  if (FState != sHead) return;
  FHead.append(aBytes);
  size_t end = FHead.find("\r\n\r\n");
  if (end == std::string::npos || end + 4 > kMaxHeadSize) {
    if (FHead.size() > kMaxHeadSize) Answer("431 Request Header Fields Too Large", "", "");
    return;
  }
  std::string rest = FHead.substr(end + 4);
  FHead.resize(end + 4);
  HeadComplete(FHead);
  std::string().swap(FHead);
  if (FState == sFrames && !rest.empty()) Received(rest);
}

void TzorBalancerSession::HeadComplete(std::string_view aHead) {
  TRequestHead head = ParseHead(aHead);
  if (head.Method != "GET") return Answer("400 Bad Request", "", "");
  if (head.Target == kLBBindingPath) {
    return Answer("200 OK", "Content-Type: application/json\r\n", FOwner.BindingAnswer());
  }
  if (head.Target != kLBLinkPath) return Answer("404 Not Found", "", "");
  if (head.Upgrade != "websocket" || head.Key.empty()) return Answer("400 Bad Request", "", "");
  FOwner.Write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
               "Sec-WebSocket-Accept: " + GetAcceptKey(head.Key) + "\r\n\r\n");
  FState = sFrames;
  FOwner.LinkOpened();
}

void TzorBalancerSession::Answer(std::string_view aStatus, std::string_view aHeaders, std::string_view aBody) {
  FState = sClosed;
  FOwner.Write("HTTP/1.1 " + std::string(aStatus) + "\r\n" + std::string(aHeaders) +
               "Content-Length: " + std::to_string(aBody.size()) + "\r\nConnection: close\r\n\r\n" +
               std::string(aBody));
  FOwner.Close();
}

void TzorBalancerSession::DoMessageComplete(TzorWSMsg& aMessage) {
  if (aMessage.Fragmented) return;  // the rest of the message is still to come
  switch (aMessage.OpCode) {
    case opText: {
      std::string text;
      if (FReader.DecodeTextPayload(aMessage.Stream, text)) FOwner.TextReceived(text);
      break;
    }
    case opBinary:
      FOwner.BinaryReceived(aMessage.Stream);
      break;
    case opPing:
      FWriter.WriteStreamFrame(aMessage.Stream, opPong, false);
      break;
    default:
      break;
  }
}

void TzorBalancerSession::DoDisconnect(const std::string&, int aCloseCode) { Close(aCloseCode); }

void TzorBalancerSession::SendText(std::string_view aText) {
  if (FState == sFrames) FWriter.DoWriteText(aText, 0, stmNone);
}

void TzorBalancerSession::SendBinary(std::string_view aBytes) {
  if (FState == sFrames) FWriter.DoWriteStream(aBytes, 0, stmNone);
}

void TzorBalancerSession::Close(int aCloseCode) {
  TState was = FState.exchange(sClosed);
  if (was == sClosed) return;
  if (was == sFrames) FWriter.WriteCloseFrame(aCloseCode);
  FOwner.Close();
}

void TzorBalancerSession::WriteFrame(const uint8_t* aData, size_t aSize) {
  FOwner.Write(std::string_view(reinterpret_cast<const char*>(aData), aSize));
}

}  // namespace zor
