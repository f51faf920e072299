// HEADERS, PUSH_PROMISE and CONTINUATION: the frames that carry header blocks.
#include "base/format.h"
#include "http2/frames.h"
#include "http2/http2_exception.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace zor {

namespace {

[[noreturn]] void Malformed(const std::string& message) { throw TzorHTTP2Exception(message, h2erPROTOCOL_ERROR); }

template <class Number>
Number ParseNumber(std::string_view text) {
  Number value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

bool IsInteger(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// What an octet may be in a field: CR, LF and NUL would split or cut the
// field wherever it becomes an HTTP/1.1 header line or a C string; upper
// case and, beyond it, what RFC 9113 section 8.2.1 rules out of a name.
enum : uint8_t { kForbidden = 1, kUpper = 2, kNonToken = 4 };
constexpr std::array<uint8_t, 256> kOctetClass = [] {
  std::array<uint8_t, 256> table{};
  for (int c = 0; c <= 0x20; ++c) table[c] = kNonToken;
  for (int c = 0x7F; c < 256; ++c) table[c] = kNonToken;
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = kUpper;
  table['\r'] = table['\n'] = table[0] = kForbidden | kNonToken;
  return table;
}();

uint8_t OctetClasses(std::string_view octets) {
  uint8_t classes = 0;
  for (const char c : octets) classes |= kOctetClass[static_cast<unsigned char>(c)];
  return classes;
}

bool IsConnectionSpecific(std::string_view name) {
  return std::find(Th2ConnectionHeaderNames.begin(), Th2ConnectionHeaderNames.end(), name) !=
         Th2ConnectionHeaderNames.end();
}

}  // namespace

void TzorHTTP2_Frame_Headers::Assign(const TPersistent& source) {
  const auto* headers = dynamic_cast<const TzorHTTP2_Frame_Headers*>(&source);
  if (!headers) return TzorHTTP2_Frame_Base::Assign(source);
  FEndHeaders = headers->FEndHeaders;
  FEndStream = headers->FEndStream;
  FPadded = headers->FPadded;
  FPriority = headers->FPriority;
}

void TzorHTTP2_Frame_Headers::DoClear() {
  FHeaders.Clear();
  FHeaderBlock.Clear();
  FPadLength = FStreamDependency = FWeight = 0;
}

void TzorHTTP2_Frame_Headers::DoReadFlags(uint8_t flags) {
  FEndStream = flags & h2flags::END_STREAM;
  FEndHeaders = flags & h2flags::END_HEADERS;
  FPadded = flags & h2flags::PADDED;
  FPriority = flags & h2flags::PRIORITY;
}

void TzorHTTP2_Frame_Headers::DoCheckPayload(std::span<const uint8_t> payload) {
  UnpaddedPayload(payload, FPadded, FPriority ? 5 : 0, FPadLength);
  if (FPriority) {
    const uint32_t dependency = ReadWireInteger(payload.data() + (FPadded ? 1 : 0), 4) & 0x7FFFFFFF;
    if (dependency > 0 && dependency == static_cast<uint32_t>(FStreamIdentifier))
      Malformed("Stream cannot depends on itself.");
  }
}

void TzorHTTP2_Frame_Headers::DoReadPayload(std::span<const uint8_t> payload) {
  const std::span<const uint8_t> fragment = UnpaddedPayload(payload, FPadded, FPriority ? 5 : 0, FPadLength);
  if (FPriority) {
    const uint8_t* fields = payload.data() + (FPadded ? 1 : 0);
    FStreamDependency = ReadWireInteger(fields, 4) & 0x7FFFFFFF;
    FWeight = fields[4];
  }
  ReadHeaderBlock(fragment);
}

void TzorHTTP2_Frame_Headers::DoWriteBytes() {
  if (FStreamIdentifier == 0) FStreamIdentifier = NewStreamIdentifier();
  WriteHeaderBlock(h2ftHEADERS, FEndStream ? h2flags::END_STREAM : 0, FStreamIdentifier, {});
}

void TzorHTTP2_Frame_Headers::DoValidateHeaders() {
  bool regularSeen = false;
  bool connect = false;
  bool nonToken = false;
  std::string_view pseudo[8];
  std::string trimmedPseudo[8];  // only for names that had blanks
  size_t pseudoCount = 0;
  for (size_t i = 0; i < FHeaders.Count(); ++i) {
    const std::string_view rawName = FHeaders.Name(i);
    const std::string_view rawValue = FHeaders.Value(i);
    const uint8_t nameClasses = OctetClasses(rawName);
    if ((nameClasses | OctetClasses(rawValue)) & kForbidden) Malformed("HEADER field cannot contain CR, LF or NUL.");
    nonToken |= (nameClasses & kNonToken) != 0;
    const std::string_view value = Trim(rawValue);
    const bool isPseudo = rawName.front() == ':';
    if (isPseudo && regularSeen) Malformed("PSEUDO-HEADERS cannot appear in a Header Block AFTER a REGULAR field.");
    // Blanks around a name must not let it pass for another one.
    std::string_view name = isPseudo ? rawName.substr(1) : rawName;
    if (nameClasses & kNonToken) name = Trim(name);
    if (isPseudo && name.size() + 1 != rawName.size()) {
      trimmedPseudo[pseudoCount % 8] = ":" + std::string(name);
      name = trimmedPseudo[pseudoCount % 8];
    } else if (isPseudo) {
      name = rawName;
    }
    if (!isPseudo && IsConnectionSpecific(name)) Malformed("CONNECTION HEADER fields are not allowed.");
    if (nameClasses & kUpper) Malformed("HEADER name cannot contain UPPERCASE letters.");
    if (!isPseudo && name == "te" && value != "trailers")
      Malformed("TE HEADER must not contain any value other than \"trailers\".");
    if (!isPseudo) {
      regularSeen = true;
      continue;
    }
    const bool valid = name == ":method" ? std::find(Th2MethodNames.begin(), Th2MethodNames.end(), value) !=
                                               Th2MethodNames.end()
                       : name == ":status" ? IsInteger(value)
                       : name == ":scheme" || name == ":path" || name == ":authority" || name == ":protocol"
                           ? !value.empty()
                           : true;
    if (!valid)
      Malformed(Format("PSEUDO-HEADER %s value \"%s\" is invalid.", std::string(name).c_str(),
                       std::string(value).c_str()));
    if (name == ":method" && value == "CONNECT") connect = true;
    if (pseudoCount == std::size(pseudo)) Malformed("PSEUDO-HEADER field cannot be duplicated.");
    pseudo[pseudoCount++] = name;
  }
  CheckPseudoHeaders(std::span(pseudo, pseudoCount), connect);
  // Beyond the checks above: a name is a token, never blanks or control octets.
  if (nonToken) Malformed("HEADER name contains an invalid character.");
}

void TzorHTTP2_Frame_Headers::CheckPseudoHeaders(std::span<std::string_view> collected, bool connect) const {
  static constexpr std::string_view kRequest[] = {":method", ":scheme", ":path", ":authority"};
  static constexpr std::string_view kResponse[] = {":status"};
  // RFC 8441: an extended CONNECT names its protocol; RFC 7540 section 8.3:
  // a plain CONNECT has only a method and an authority.
  static constexpr std::string_view kExtendedConnect[] = {":authority", ":method", ":path", ":protocol", ":scheme"};
  static constexpr std::string_view kConnect[] = {":authority", ":method"};
  std::span<const std::string_view> required;
  if (!FTrailer && FFrameRole == h2frServerRead) required = kRequest;
  if (!FTrailer && FFrameRole == h2frClientRead) required = kResponse;
  const auto has = [&](std::string_view name) {
    return std::find(collected.begin(), collected.end(), name) != collected.end();
  };
  std::span<const std::string_view> allowed = required;
  if (connect && FFrameRole == h2frServerRead) {
    const bool extended = FEnableConnectProtocol && has(":protocol");
    allowed = extended ? std::span<const std::string_view>(kExtendedConnect) : kConnect;
    required = allowed;
  }
  // The usual block has each allowed name once and nothing else: all the
  // checks below pass.
  if (collected.size() == allowed.size() && required.size() == allowed.size()) {
    uint32_t seen = 0;
    for (const std::string_view name : collected) {
      const auto found = std::find(allowed.begin(), allowed.end(), name);
      if (found == allowed.end()) break;
      seen |= 1u << (found - allowed.begin());
    }
    if (seen + 1 == 1u << allowed.size()) return;
  }
  for (const std::string_view name : required)
    if (!has(name)) Malformed(Format("PSEUDO-HEADER %s not found.", std::string(name).c_str()));
  std::sort(collected.begin(), collected.end());
  for (size_t i = 0; i < collected.size(); ++i) {
    if (i > 0 && collected[i] == collected[i - 1]) Malformed("PSEUDO-HEADER field cannot be duplicated.");
    if (std::find(allowed.begin(), allowed.end(), collected[i]) == allowed.end())
      Malformed("PSEUDO-HEADER field is Unknown.");
  }
}

std::string TzorHTTP2_Frame_Headers::Text(std::string_view name) const {
  return std::string(FHeaders.Find(name).value_or(std::string_view()));
}

int TzorHTTP2_Frame_Headers::Status() const { return ParseNumber<int>(Trim(Text(":status"))); }
std::string TzorHTTP2_Frame_Headers::Method() const { return Text(":method"); }
std::string TzorHTTP2_Frame_Headers::Location() const { return Text("location"); }
std::string TzorHTTP2_Frame_Headers::ContentType() const { return Text("content-type"); }
int64_t TzorHTTP2_Frame_Headers::ContentLength() const { return ParseNumber<int64_t>(Trim(Text("content-length"))); }

std::string TzorHTTP2_Frame_Headers::Charset() const {
  const std::string type = ContentType();
  std::string lower = type;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  const size_t at = lower.find("charset=");
  if (at == std::string::npos) return {};
  std::string_view charset = std::string_view(type).substr(at + 8);
  charset = Trim(charset.substr(0, charset.find(';')));
  if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"')
    charset = charset.substr(1, charset.size() - 2);
  return std::string(charset);
}

void TzorHTTP2_Frame_PushPromise::Assign(const TPersistent& source) {
  const auto* promise = dynamic_cast<const TzorHTTP2_Frame_PushPromise*>(&source);
  if (!promise) return TzorHTTP2_Frame_Base::Assign(source);
  FEndHeaders = promise->FEndHeaders;
  FPadded = promise->FPadded;
}

void TzorHTTP2_Frame_PushPromise::DoClear() {
  FPadLength = 0;
  FPromisedStreamid = 0;
  FHeaders.Clear();
  FHeaderBlock.Clear();
}

void TzorHTTP2_Frame_PushPromise::DoReadFlags(uint8_t flags) {
  FEndHeaders = flags & h2flags::END_HEADERS;
  FPadded = flags & h2flags::PADDED;
}

void TzorHTTP2_Frame_PushPromise::DoCheckPayload(std::span<const uint8_t> payload) {
  UnpaddedPayload(payload, FPadded, 4, FPadLength);
}

void TzorHTTP2_Frame_PushPromise::DoReadPayload(std::span<const uint8_t> payload) {
  const std::span<const uint8_t> fragment = UnpaddedPayload(payload, FPadded, 4, FPadLength);
  FPromisedStreamid = static_cast<int32_t>(ReadWireInteger(payload.data() + (FPadded ? 1 : 0), 4) & 0x7FFFFFFF);
  ReadHeaderBlock(fragment);
}

void TzorHTTP2_Frame_PushPromise::DoWriteBytes() {
  int32_t promised = 0;
  if (OnRequestPromisedStreamId) OnRequestPromisedStreamId(*this, promised);
  FPromisedStreamid = promised;
  uint8_t prefix[4];
  WriteWireInteger(prefix, static_cast<uint32_t>(promised) & 0x7FFFFFFF, 4);
  WriteHeaderBlock(h2ftPUSH_PROMISE, 0, FStreamIdentifier, prefix);
}

std::string TzorHTTP2_Frame_PushPromise::URL() const {
  return std::string(FHeaders.Find(":path").value_or(std::string_view()));
}

Th2Methods TzorHTTP2_Frame_PushPromise::Method() const {
  const std::string_view method = FHeaders.Find(":method").value_or(std::string_view());
  const auto found = std::find(Th2MethodNames.begin(), Th2MethodNames.end(), method);
  return found == Th2MethodNames.end() ? h2meHead : static_cast<Th2Methods>(found - Th2MethodNames.begin());
}

void TzorHTTP2_Frame_Continuation::Assign(const TPersistent& source) {
  const auto* continuation = dynamic_cast<const TzorHTTP2_Frame_Continuation*>(&source);
  if (!continuation) return TzorHTTP2_Frame_Base::Assign(source);
  FEndHeaders = continuation->FEndHeaders;
}

}  // namespace zor
