#include "websocket/lb_messages.h"

#include <charconv>
#include <cstdio>

#include "base/utf16.h"
#include "json/json.h"
#include "json/json_escape.h"

namespace zor {
namespace {

constexpr size_t kTextLengthDigits = 3;
constexpr size_t kBinaryLengthDigits = 10;
constexpr size_t kMaxTextHeader = 999;

[[noreturn]] void Refuse(const std::string& aWhy) { throw TzorWSLoadBalancerProtocolError("Load balancer: " + aWhy); }

// Compact JSON written member by member; every string is escaped, so no value
// can end its string early or read as raw JSON.
class THeaderText {
 public:
  THeaderText& Text(std::string_view aName, std::string_view aValue) {
    Name(aName);
    FText += '"';
    FText += EscapeJSONText(aValue);
    FText += '"';
    return *this;
  }
  THeaderText& Number(std::string_view aName, int32_t aValue) {
    Name(aName);
    FText += std::to_string(aValue);
    return *this;
  }
  THeaderText& Boolean(std::string_view aName, bool aValue) {
    Name(aName);
    FText += aValue ? "true" : "false";
    return *this;
  }
  std::string Finish() { return std::move(FText) + '}'; }

 private:
  void Name(std::string_view aName) {
    FText += FText.size() > 1 ? ",\"" : "\"";
    FText += aName;
    FText += "\":";
  }
  std::string FText = "{";
};

// A JSON object read from a peer, with checked access to its members.
class THeaderReader {
 public:
  explicit THeaderReader(std::string_view aText) {
    if (aText.size() < 2 || aText.front() != '{' || aText.back() != '}') Refuse("header is not a JSON object");
    FJSON.Read(aText);
  }
  std::string Text(std::string_view aName) const {
    IzorObjectJSON node = Member(aName, zorJSONString, "a string");
    std::string text;
    if (!UnescapeJSONText(node->ValueText(), text)) Refuse("malformed escape in member \"" + std::string(aName) + "\"");
    return text;
  }
  // The member into aValue; the same calls as THeaderText's, so that one
  // list of members serves both.
  const THeaderReader& Text(std::string_view aName, std::string& aValue) const {
    aValue = Text(aName);
    return *this;
  }
  const THeaderReader& Number(std::string_view aName, int32_t& aValue) const {
    std::string text = Member(aName, zorJSONNumber, "a number")->ValueText();
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), aValue);
    if (ec != std::errc() || end != text.data() + text.size())
      Refuse("member \"" + std::string(aName) + "\" is not a 32-bit integer");
    return *this;
  }
  const THeaderReader& Boolean(std::string_view aName, bool& aValue) const {
    aValue = Member(aName, zorJSONBoolean, "true or false")->ValueText() == "true";
    return *this;
  }

 private:
  IzorObjectJSON Member(std::string_view aName, TzorJSONtype aKind, const char* aKindName) const {
    IzorObjectJSON node = FJSON.Node(aName);
    if (!node) Refuse("header lacks the member \"" + std::string(aName) + "\"");
    if (node->JSONType() != aKind) Refuse("member \"" + std::string(aName) + "\" is not " + aKindName);
    return node;
  }
  TzorJSON FJSON;
};

// The members of each header, in the order they are written; M is
// THeaderText (writing) or THeaderReader (reading into the fields).
template <class M, class Address>
auto& AddressMembers(M& aMembers, Address& a) {
  return aMembers.Text("guid", a.FGuid).Text("channel", a.FChannel).Text("protocol", a.FProtocol)
      .Text("include", a.FInclude).Text("exclude", a.FExclude);
}

template <class M, class Connection>
auto& ConnectionMembers(M& aMembers, Connection& c) {
  return aMembers.Boolean("active", c.FActive).Text("guid", c.FGuid).Text("ip", c.FIP)
      .Text("channel", c.FChannel).Text("protocol", c.FProtocol);
}

template <class M, class Binding>
auto& BindingMembers(M& aMembers, Binding& b) {
  return aMembers.Text("host", b.FHost).Number("port", b.FPort).Boolean("ssl", b.FSSL);
}

template <class M, class Data>
auto& ServerDataMembers(M& aMembers, Data& d) {
  return aMembers.Text("guid", d.FGuid);
}

// The decimal number in the first aDigits bytes.
size_t ReadLength(std::string_view aBytes, size_t aDigits) {
  if (aBytes.size() < aDigits) Refuse("message shorter than its " + std::to_string(aDigits) + "-digit header length");
  size_t length = 0;
  for (char c : aBytes.substr(0, aDigits)) {
    if (c < '0' || c > '9') Refuse("header length is not " + std::to_string(aDigits) + " decimal digits");
    length = length * 10 + static_cast<size_t>(c - '0');
  }
  return length;
}

// The byte offset after aUnits UTF-16 code units from aStart: a peer that
// does not escape counts its header in characters, not bytes.
size_t SkipUTF16Units(std::string_view aText, size_t aStart, size_t aUnits) {
  size_t pos = aStart;
  size_t units = 0;
  while (units < aUnits && pos < aText.size()) units += DecodeUTF8(aText, pos) >= 0x10000 ? 2 : 1;
  if (units < aUnits) Refuse("header length " + std::to_string(aUnits) + " runs past the end of the message");
  if (units > aUnits) Refuse("header length " + std::to_string(aUnits) + " ends inside a character");
  return pos;
}

std::string PaddedLength(size_t aLength, size_t aDigits) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%0*zu", static_cast<int>(aDigits), aLength);
  return digits;
}

}  // namespace

std::string TzorWSLoadBalancerMessage::Write() const {
  THeaderText members;
  std::string header = AddressMembers(members, *this).Finish();
  if (header.size() > kMaxTextHeader)
    throw TzorWSException("Load balancer: message header of " + std::to_string(header.size()) +
                          " characters does not fit its 3-digit length (at most 999)");
  return PaddedLength(header.size(), kTextLengthDigits) + header + FText;
}

void TzorWSLoadBalancerMessage::Read(std::string_view aMessage) {
  Clear();
  size_t length = ReadLength(aMessage, kTextLengthDigits);
  size_t end = SkipUTF16Units(aMessage, kTextLengthDigits, length);
  const THeaderReader header(aMessage.substr(kTextLengthDigits, end - kTextLengthDigits));
  AddressMembers(header, *this);
  FText.assign(aMessage.substr(end));
}

void TzorWSLoadBalancerBinary::Write(TzorStringStream& aStream) const {
  // The guid alone where it cannot be taken for a JSON header.
  std::string header;
  if (IsBroadcast() ? HasFilter() : FGuid.front() == '{') {
    THeaderText members;
    header = AddressMembers(members, *this).Finish();
  } else {
    header = FGuid;
  }
  TzorStringStream framed(PaddedLength(header.size(), kBinaryLengthDigits) + header + aStream.DataString());
  aStream = std::move(framed);
}

void TzorWSLoadBalancerBinary::Read(TzorStringStream& aStream) {
  Clear();
  std::string_view bytes = aStream.DataString();
  size_t length = ReadLength(bytes, kBinaryLengthDigits);
  if (length > bytes.size() - kBinaryLengthDigits)
    Refuse("header length " + std::to_string(length) + " runs past the end of the message");
  std::string_view header = bytes.substr(kBinaryLengthDigits, length);
  if (!header.empty() && header.front() == '{') {
    const THeaderReader members(header);
    AddressMembers(members, *this);
  } else {
    FGuid.assign(header);
  }
  aStream = TzorStringStream(std::string(bytes.substr(kBinaryLengthDigits + length)));
}

std::string TzorWSLoadBalancerClientConnection::Write() const {
  THeaderText header;
  header.Text("method", kLBMethodClientConnection);
  return ConnectionMembers(header, *this).Finish();
}

void TzorWSLoadBalancerClientConnection::Read(std::string_view aText) {
  const THeaderReader header(aText);
  Clear();
  ConnectionMembers(header, *this);
}

std::string TzorWSLoadBalancerServerBinding::Write() const {
  THeaderText header;
  header.Text("method", kLBMethodServerBinding);
  return BindingMembers(header, *this).Finish();
}

std::string TzorWSLoadBalancerServerBinding::WriteAnswer() const {
  THeaderText header;
  return BindingMembers(header, *this).Finish();
}

void TzorWSLoadBalancerServerBinding::Read(std::string_view aText) {
  const THeaderReader header(aText);
  Clear();
  BindingMembers(header, *this);
}

std::string TzorWSLoadBalancerServerData::Write() const {
  THeaderText header;
  header.Text("method", kLBMethodServerData);
  return ServerDataMembers(header, *this).Finish();
}

void TzorWSLoadBalancerServerData::Read(std::string_view aText) {
  const THeaderReader header(aText);
  Clear();
  ServerDataMembers(header, *this);
}

TzorWSLoadBalancerTextMessage ReadLoadBalancerText(std::string_view aText) {
  if (aText == kLBServerReady) return TzorWSLoadBalancerReady{};
  if (aText.empty() || aText.front() != '{') {
    TzorWSLoadBalancerMessage message;
    message.Read(aText);
    return message;
  }
  std::string method = THeaderReader(aText).Text("method");
  auto read = [&](auto control) -> TzorWSLoadBalancerTextMessage {
    control.Read(aText);
    return control;
  };
  if (method == kLBMethodServerData) return read(TzorWSLoadBalancerServerData{});
  if (method == kLBMethodServerBinding) return read(TzorWSLoadBalancerServerBinding{});
  if (method == kLBMethodClientConnection) return read(TzorWSLoadBalancerClientConnection{});
  Refuse("unknown method \"" + method + "\"");
}

}  // namespace zor
