#pragma once
// Raw deflate and inflate contexts for message compression. A context lives
// as long as its connection direction, so with context takeover each message
// is compressed against the window of the earlier ones without reloading a
// dictionary. zlib stays out of this header.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zor {

// Which part of a message one inflate step gets: the bytes of the data from
// `From` on, the message's first frame or not, its last or not. The default
// is a whole message. The frames of a message arriving one by one are
// inflated by one stream, each as it comes.
struct TzorMessagePart {
  size_t From = 0;
  bool First = true;
  bool Last = true;
};

// A raw deflate context for compressing messages.
class TzorDeflater {
 public:
  // windowBits 8..15 (8 runs as 9, whose matches never reach further than
  // 256 bytes, so a peer with a 256-byte window inflates it).
  TzorDeflater(int level, int windowBits, int memLevel);
  ~TzorDeflater();
  TzorDeflater(const TzorDeflater&) = delete;
  TzorDeflater& operator=(const TzorDeflater&) = delete;

  // Replaces `data` by its compressed form: deflate blocks ended by a sync
  // flush whose 00 00 FF FF marker is cut off. Without `keepContext` the
  // stream starts afresh for this message.
  void Compress(std::string& data, bool keepContext);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A raw inflate context for decompressing messages.
class TzorInflater {
 public:
  explicit TzorInflater(int windowBits);
  ~TzorInflater();
  TzorInflater(const TzorInflater&) = delete;
  TzorInflater& operator=(const TzorInflater&) = delete;

  // Replaces the `part` of `data` (the compressed bytes of a message, or of
  // one of its frames, whose 00 00 FF FF marker was cut off) by the
  // plaintext they complete. A message's first part starts afresh without
  // `keepContext`; its last part puts the marker back. More than `maxSize`
  // bytes of output throw EzorWSMessageTooBig; corrupt input throws
  // zor::Exception with zlib's message.
  void Decompress(std::string& data, bool keepContext, uint64_t maxSize, TzorMessagePart part = {});

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zor
