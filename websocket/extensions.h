#pragma once
// Compression extensions: permessage-deflate and the older deflate-frame. A
// component holds one set with the user's settings; each connection gets a
// copy (Assign), negotiates it in the opening handshake and then compresses
// outgoing and inflates incoming messages through it.
#include "base/persistent.h"
#include "websocket/deflate_stream.h"
#include "websocket/ws_types.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

// The zlib streams of one connection, one per direction, created on first use
// and kept between messages (context takeover without preset dictionaries).
class TzorWSDeflateContext {
 public:
  TzorWSDeflateContext();
  ~TzorWSDeflateContext();
  void Deflate(std::string& data, int level, int windowBits, int memLevel, bool keepContext);
  void Inflate(std::string& data, int windowBits, bool keepContext, uint64_t maxSize, TzorMessagePart part);

 private:
  std::unique_ptr<TzorDeflater> deflater_;
  std::unique_ptr<TzorInflater> inflater_;
};

// Base of the WebSocket compression extensions.
class TzorWSExtension_Base : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSExtension_Base"; }
  void Assign(const TPersistent& source) override;

  bool Active() const { return FActive; }
  void SetActive(bool value) { FActive = value; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  TwsApplicationMode Mode() const { return FMode; }
  void SetMode(TwsApplicationMode value) { FMode = value; }
  bool MessageCompressed() const { return FMessageCompressed; }

  // The header line: "Sec-WebSocket-Extensions: " and the extension's value.
  virtual std::string GetHeaderExtension() const;
  // True when the item of the peer's extension header names this extension.
  virtual bool DecodeExtension(std::string_view item);
  virtual std::string GetName() const = 0;
  // Records RSV1 of a message's first frame.
  void DecodeHeader(uint8_t firstByte) { FMessageCompressed = (firstByte & 0x40) != 0; }
  // Sets RSV1 of a compressed message's first frame.
  void EncodeHeader(uint8_t& firstByte) const { firstByte |= 0x40; }

  // Compress a non-empty outgoing message / inflate (a part of) a received
  // one in place.
  virtual void DeflateFrame(std::string& data) = 0;
  virtual void InflateFrame(std::string& data, uint64_t maxSize, TzorMessagePart part) = 0;

 protected:
  bool FActive = false;
  bool FEnabled = false;
  TwsApplicationMode FMode = appNone;
  std::string FHeaderExtension;
  bool FMessageCompressed = false;
  TzorWSDeflateContext FContext;
};

// The deflate-frame compression extension.
class TzorWSExtension_DeflateFrame : public TzorWSExtension_Base {
 public:
  TzorWSExtension_DeflateFrame() { FHeaderExtension = "x-webkit-deflate-frame"; }
  const char* ClassName() const override { return "TzorWSExtension_DeflateFrame"; }
  void Assign(const TPersistent& source) override;

  int WindowBits() const { return FWindowBits; }
  void SetWindowBits(int value);

  bool DecodeExtension(std::string_view item) override;
  std::string GetName() const override { return "x-webkit-deflate-frame"; }
  void DeflateFrame(std::string& data) override;
  void InflateFrame(std::string& data, uint64_t maxSize, TzorMessagePart part) override;

 private:
  int FWindowBits = 15;
};

// The permessage-deflate compression extension.
class TzorWSExtension_PerMessage_Deflate : public TzorWSExtension_Base {
 public:
  TzorWSExtension_PerMessage_Deflate() { FHeaderExtension = "permessage-deflate"; }
  const char* ClassName() const override { return "TzorWSExtension_PerMessage_Deflate"; }
  void Assign(const TPersistent& source) override;

  int ServerMaxWindowBits() const { return FServerMaxWindowBits; }
  void SetServerMaxWindowBits(int value);
  bool ServerNoContextTakeOver() const { return FServerNoContextTakeOver; }
  void SetServerNoContextTakeOver(bool value) { FServerNoContextTakeOver = value; }
  int ClientMaxWindowBits() const { return FClientMaxWindowBits; }
  void SetClientMaxWindowBits(int value);
  bool ClientNoContextTakeOver() const { return FClientNoContextTakeOver; }
  void SetClientNoContextTakeOver(bool value) { FClientNoContextTakeOver = value; }
  int MemLevel() const { return FMemLevel; }
  void SetMemLevel(int value) { FMemLevel = value; }

  // A client offers its settings; a server answers with the parameters it
  // adopted from the client's offer.
  std::string GetHeaderExtension() const override;
  bool DecodeExtension(std::string_view item) override;
  std::string GetName() const override { return "permessage-deflate"; }
  void DeflateFrame(std::string& data) override;
  void InflateFrame(std::string& data, uint64_t maxSize, TzorMessagePart part) override;

 private:
  std::string NameForMode() const;

  int FServerMaxWindowBits = 15;
  bool FServerNoContextTakeOver = false;
  int FClientMaxWindowBits = 15;
  bool FClientNoContextTakeOver = false;
  int FMemLevel = 9;
};

// The compression extensions of a component or connection.
class TzorWSExtensions : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSExtensions"; }
  // Copies the mode and both extensions' settings; never Active or contexts.
  void Assign(const TPersistent& source) override;

  bool ExtensionNegotiated() const { return FExtensionNegotiated; }
  TzorWSExtension_DeflateFrame& DeflateFrame() { return FDeflateFrame; }
  TzorWSExtension_PerMessage_Deflate& PerMessage_Deflate() { return FPerMessage_Deflate; }
  TwsApplicationMode Mode() const { return FMode; }
  void SetMode(TwsApplicationMode value);
  // Either extension is active.
  bool Compression() const { return FPerMessage_Deflate.Active() || FDeflateFrame.Active(); }
  // Names of the active extensions, permessage-deflate first.
  std::vector<std::string> List() const;

  // Client: one offer line per enabled extension; other modes: one answer
  // line per active extension. permessage-deflate comes first.
  void WriteHeader(std::vector<std::string>& lines) const;
  // Activates extensions from the peer's Sec-WebSocket-Extensions value.
  void DecodeExtensions(std::string_view extensions);

  // Inline, as they run for every message: most connections compress nothing.
  void DecodeHeader(uint8_t firstByte) {
    if (FPerMessage_Deflate.Active()) FPerMessage_Deflate.DecodeHeader(firstByte);
    if (FDeflateFrame.Active()) FDeflateFrame.DecodeHeader(firstByte);
  }
  void EncodeHeader(uint8_t& firstByte) const;
  // The message being received carries compressed data (RSV1 of its first frame).
  bool MessageCompressed() const {
    const TzorWSExtension_Base* e = Compressor();
    return e && e->MessageCompressed();
  }
  // Inflates a received message in place when its first frame carried RSV1;
  // true when it did. Output above `maxSize` throws EzorWSMessageTooBig.
  bool ReadStream(std::string& data, uint64_t maxSize = kDefaultMaxMessageSize);
  // The same for one frame's part of a message (the bytes of `data` from
  // `part.From` on), inflated as it arrives; `maxSize` bounds that part's
  // output.
  bool ReadStream(std::string& data, TzorMessagePart part, uint64_t maxSize);
  // Compresses a non-empty outgoing message in place; true when it did.
  bool WriteStream(std::string& data);

 private:
  TzorWSExtension_Base* Compressor() {
    if (FPerMessage_Deflate.Active()) return &FPerMessage_Deflate;
    if (FDeflateFrame.Active()) return &FDeflateFrame;
    return nullptr;
  }
  const TzorWSExtension_Base* Compressor() const { return const_cast<TzorWSExtensions*>(this)->Compressor(); }

  bool FExtensionNegotiated = false;
  TzorWSExtension_DeflateFrame FDeflateFrame;
  TwsApplicationMode FMode = appNone;
  TzorWSExtension_PerMessage_Deflate FPerMessage_Deflate;
};

}  // namespace zor
