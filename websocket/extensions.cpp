#include "websocket/extensions.h"

#include "base/exceptions.h"
#include "base/format.h"
#include "base/text.h"
#include "websocket/deflate_stream.h"

#include <charconv>

namespace zor {

namespace {

constexpr const char* kHeaderName = "Sec-WebSocket-Extensions: ";
// Compression levels: permessage-deflate favours speed, deflate-frame zlib's default.
constexpr int kPerMessageLevel = 1;
constexpr int kDeflateFrameLevel = -1;
constexpr int kDeflateFrameMemLevel = 1;

int CheckWindowBits(int value) {
  if (value < 8 || value > 15) throw Exception(Format("Invalid Value for WindowBits %d", value));
  return value;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A parameter's number; RFC 7230 also allows it as a quoted string.
int ParameterNumber(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  int n = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
  if (ec != std::errc() || end != value.data() + value.size() || value.empty())
    throw EConvertError(Format("'%s' is not a valid integer value", std::string(value).c_str()));
  return n;
}

std::vector<std::string_view> Split(std::string_view text, char delimiter) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(delimiter, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

TzorWSDeflateContext::TzorWSDeflateContext() = default;
TzorWSDeflateContext::~TzorWSDeflateContext() = default;

void TzorWSDeflateContext::Deflate(std::string& data, int level, int windowBits, int memLevel, bool keepContext) {
  if (!deflater_) deflater_ = std::make_unique<TzorDeflater>(level, windowBits, memLevel);
  deflater_->Compress(data, keepContext);
}

void TzorWSDeflateContext::Inflate(std::string& data, int windowBits, bool keepContext, uint64_t maxSize,
                                   TzorMessagePart part) {
  if (!inflater_) inflater_ = std::make_unique<TzorInflater>(windowBits);
  inflater_->Decompress(data, keepContext, maxSize, part);
}

// --- base -------------------------------------------------------------------

void TzorWSExtension_Base::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TzorWSExtension_Base*>(&source)) {
    FEnabled = s->FEnabled;
    return;
  }
  TPersistent::Assign(source);
}

std::string TzorWSExtension_Base::GetHeaderExtension() const { return kHeaderName + FHeaderExtension; }

bool TzorWSExtension_Base::DecodeExtension(std::string_view) { return false; }

// --- deflate-frame ----------------------------------------------------------

void TzorWSExtension_DeflateFrame::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TzorWSExtension_DeflateFrame*>(&source)) {
    FMode = s->FMode;
    FEnabled = s->FEnabled;
    FWindowBits = s->FWindowBits;
    return;
  }
  TzorWSExtension_Base::Assign(source);
}

void TzorWSExtension_DeflateFrame::SetWindowBits(int value) { FWindowBits = CheckWindowBits(value); }

bool TzorWSExtension_DeflateFrame::DecodeExtension(std::string_view item) {
  return ContainsText(item, "x-webkit-deflate-frame");
}

void TzorWSExtension_DeflateFrame::DeflateFrame(std::string& data) {
  FContext.Deflate(data, kDeflateFrameLevel, FWindowBits, kDeflateFrameMemLevel, true);
}

void TzorWSExtension_DeflateFrame::InflateFrame(std::string& data, uint64_t maxSize, TzorMessagePart part) {
  FContext.Inflate(data, FWindowBits, true, maxSize, part);
}

// --- permessage-deflate -----------------------------------------------------

void TzorWSExtension_PerMessage_Deflate::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TzorWSExtension_PerMessage_Deflate*>(&source)) {
    FMode = s->FMode;
    FEnabled = s->FEnabled;
    FServerMaxWindowBits = s->FServerMaxWindowBits;
    FServerNoContextTakeOver = s->FServerNoContextTakeOver;
    FClientMaxWindowBits = s->FClientMaxWindowBits;
    FClientNoContextTakeOver = s->FClientNoContextTakeOver;
    FMemLevel = s->FMemLevel;
    return;
  }
  TzorWSExtension_Base::Assign(source);
}

void TzorWSExtension_PerMessage_Deflate::SetServerMaxWindowBits(int value) {
  FServerMaxWindowBits = CheckWindowBits(value);
}

void TzorWSExtension_PerMessage_Deflate::SetClientMaxWindowBits(int value) {
  FClientMaxWindowBits = CheckWindowBits(value);
}

std::string TzorWSExtension_PerMessage_Deflate::NameForMode() const {
  return FMode == appClient ? "permessage-deflate; client_max_window_bits" : "permessage-deflate";
}

std::string TzorWSExtension_PerMessage_Deflate::GetHeaderExtension() const {
  if (FMode != appClient) return TzorWSExtension_Base::GetHeaderExtension();
  std::string offer = NameForMode();
  if (FClientMaxWindowBits != 15) offer += Format(";client_max_window_bits=%d", FClientMaxWindowBits);
  if (FClientNoContextTakeOver) offer += ";client_no_context_takeover";
  if (FServerMaxWindowBits != 15) offer += Format(";server_max_window_bits=%d", FServerMaxWindowBits);
  if (FServerNoContextTakeOver) offer += ";server_no_context_takeover";
  return kHeaderName + offer;
}

bool TzorWSExtension_PerMessage_Deflate::DecodeExtension(std::string_view item) {
  if (!ContainsText(item, "permessage-deflate")) return false;
  FHeaderExtension = NameForMode();
  for (std::string_view parameter : Split(item, ';')) {
    const size_t eq = parameter.find('=');
    const std::string_view name = Trim(parameter.substr(0, eq));
    const bool hasValue = eq != std::string_view::npos;
    const std::string_view value = hasValue ? Trim(parameter.substr(eq + 1)) : std::string_view();
    if (name == "client_max_window_bits") {
      if (hasValue) SetClientMaxWindowBits(ParameterNumber(value));
      FHeaderExtension += Format(";client_max_window_bits=%d", FClientMaxWindowBits);
    } else if (name == "server_max_window_bits" || name == "serv_max_window_bits") {
      // The second spelling is what older peers of this library send.
      if (hasValue) SetServerMaxWindowBits(ParameterNumber(value));
      FHeaderExtension += Format(";server_max_window_bits=%d", FServerMaxWindowBits);
    } else if (name == "client_no_context_takeover") {
      FClientNoContextTakeOver = true;
      FHeaderExtension += ";client_no_context_takeover";
    } else if (name == "server_no_context_takeover") {
      FServerNoContextTakeOver = true;
      FHeaderExtension += ";server_no_context_takeover";
    }
  }
  return true;
}

void TzorWSExtension_PerMessage_Deflate::DeflateFrame(std::string& data) {
  const bool server = FMode == appServer;
  FContext.Deflate(data, kPerMessageLevel, server ? FServerMaxWindowBits : FClientMaxWindowBits, FMemLevel,
                   !(server ? FServerNoContextTakeOver : FClientNoContextTakeOver));
}

void TzorWSExtension_PerMessage_Deflate::InflateFrame(std::string& data, uint64_t maxSize, TzorMessagePart part) {
  const bool server = FMode == appServer;
  FContext.Inflate(data, server ? FClientMaxWindowBits : FServerMaxWindowBits,
                   !(server ? FClientNoContextTakeOver : FServerNoContextTakeOver), maxSize, part);
}

// --- the set ----------------------------------------------------------------

void TzorWSExtensions::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TzorWSExtensions*>(&source)) {
    FMode = s->FMode;
    FDeflateFrame.Assign(s->FDeflateFrame);
    FPerMessage_Deflate.Assign(s->FPerMessage_Deflate);
    return;
  }
  TPersistent::Assign(source);
}

void TzorWSExtensions::SetMode(TwsApplicationMode value) {
  FMode = value;
  FDeflateFrame.SetMode(value);
  FPerMessage_Deflate.SetMode(value);
}

std::vector<std::string> TzorWSExtensions::List() const {
  std::vector<std::string> names;
  if (FPerMessage_Deflate.Active()) names.push_back(FPerMessage_Deflate.GetName());
  if (FDeflateFrame.Active()) names.push_back(FDeflateFrame.GetName());
  return names;
}

void TzorWSExtensions::WriteHeader(std::vector<std::string>& lines) const {
  const bool client = FMode == appClient;
  for (const TzorWSExtension_Base* e : {static_cast<const TzorWSExtension_Base*>(&FPerMessage_Deflate),
                                        static_cast<const TzorWSExtension_Base*>(&FDeflateFrame)})
    if (client ? e->Enabled() : e->Active()) lines.push_back(e->GetHeaderExtension());
}

void TzorWSExtensions::DecodeExtensions(std::string_view extensions) {
  for (std::string_view item : Split(extensions, ',')) {
    if (FPerMessage_Deflate.Enabled() && !FPerMessage_Deflate.Active() && FPerMessage_Deflate.DecodeExtension(item))
      FPerMessage_Deflate.SetActive(true);
    if (FDeflateFrame.Enabled() && !FPerMessage_Deflate.Active())
      FDeflateFrame.SetActive(FDeflateFrame.DecodeExtension(item));
  }
  FExtensionNegotiated = Compression();
}

void TzorWSExtensions::EncodeHeader(uint8_t& firstByte) const {
  if (FPerMessage_Deflate.Active()) FPerMessage_Deflate.EncodeHeader(firstByte);
  if (FDeflateFrame.Active()) FDeflateFrame.EncodeHeader(firstByte);
}

bool TzorWSExtensions::ReadStream(std::string& data, uint64_t maxSize) {
  if (data.empty()) return false;
  return ReadStream(data, TzorMessagePart{}, maxSize);
}

bool TzorWSExtensions::ReadStream(std::string& data, TzorMessagePart part, uint64_t maxSize) {
  TzorWSExtension_Base* e = Compressor();
  if (!e || !e->MessageCompressed()) return false;
  e->InflateFrame(data, maxSize, part);
  return true;
}

bool TzorWSExtensions::WriteStream(std::string& data) {
  TzorWSExtension_Base* e = Compressor();
  if (!e || data.empty()) return false;
  e->DeflateFrame(data);
  return true;
}

}  // namespace zor
