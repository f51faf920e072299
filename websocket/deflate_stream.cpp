#include "websocket/deflate_stream.h"

#include "base/format.h"
#include "websocket/ws_types.h"

#include <zlib.h>

#include <algorithm>

namespace zor {

namespace {

constexpr uint8_t kFlushMarker[4] = {0x00, 0x00, 0xFF, 0xFF};
constexpr size_t kMinOutputBlock = 1024;

[[noreturn]] void ThrowZlib(const z_stream& zs, int code, const char* call) {
  throw Exception(zs.msg ? zs.msg : Format("%s failed (%d)", call, code));
}

void SetInput(z_stream& zs, const std::string& in) {
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  zs.avail_in = static_cast<uInt>(in.size());
}

// Output goes to `out` after the `produced` bytes already there.
void SetOutput(z_stream& zs, std::string& out, size_t produced) {
  zs.next_out = reinterpret_cast<Bytef*>(out.data()) + produced;
  zs.avail_out = static_cast<uInt>(out.size() - produced);
}

}  // namespace

struct TzorDeflater::Impl {
  z_stream zs{};
  std::string out;
  bool used = false;
};

TzorDeflater::TzorDeflater(int level, int windowBits, int memLevel) : impl_(std::make_unique<Impl>()) {
  const int bits = windowBits == 8 ? 9 : windowBits;  // zlib's raw deflate refuses 8
  const int rc = deflateInit2(&impl_->zs, level, Z_DEFLATED, -bits, memLevel, Z_DEFAULT_STRATEGY);
  if (rc != Z_OK) ThrowZlib(impl_->zs, rc, "deflateInit2");
}

TzorDeflater::~TzorDeflater() { deflateEnd(&impl_->zs); }

void TzorDeflater::Compress(std::string& data, bool keepContext) {
  z_stream& zs = impl_->zs;
  if (impl_->used && !keepContext) {
    const int rc = deflateReset(&zs);
    if (rc != Z_OK) ThrowZlib(zs, rc, "deflateReset");
  }
  impl_->used = true;
  if (data.size() > UINT32_MAX) throw Exception("Message too large to compress");
  std::string& out = impl_->out;
  // Compressed text is rarely longer than its input plus a few bytes per block.
  out.resize(deflateBound(&zs, data.size()) + 16);
  SetInput(zs, data);
  size_t produced = 0;
  for (;;) {
    SetOutput(zs, out, produced);
    const int rc = deflate(&zs, Z_SYNC_FLUSH);
    if (rc != Z_OK && rc != Z_BUF_ERROR) ThrowZlib(zs, rc, "deflate");
    produced = out.size() - zs.avail_out;
    if (zs.avail_out != 0) break;
    out.resize(out.size() * 2);
  }
  // A sync flush always ends in the empty stored block 00 00 FF FF.
  if (produced >= 4 && out.compare(produced - 4, 4, reinterpret_cast<const char*>(kFlushMarker), 4) == 0)
    produced -= 4;
  data.assign(out.data(), produced);
}

struct TzorInflater::Impl {
  z_stream zs{};
  std::string out;
  bool ended = false;  // the peer ended the deflate stream inside this message
};

TzorInflater::TzorInflater(int windowBits) : impl_(std::make_unique<Impl>()) {
  const int rc = inflateInit2(&impl_->zs, -windowBits);
  if (rc != Z_OK) ThrowZlib(impl_->zs, rc, "inflateInit2");
}

TzorInflater::~TzorInflater() { inflateEnd(&impl_->zs); }

void TzorInflater::Decompress(std::string& data, bool keepContext, uint64_t maxSize, TzorMessagePart part) {
  z_stream& zs = impl_->zs;
  if (part.First) {
    impl_->ended = false;
    if (!keepContext) {
      const int rc = inflateReset(&zs);
      if (rc != Z_OK) ThrowZlib(zs, rc, "inflateReset");
    }
  }
  const size_t from = std::min(part.From, data.size());
  if (impl_->ended) {
    data.resize(from);
    return;
  }
  if (data.size() - from > UINT32_MAX - sizeof kFlushMarker) throw Exception("Message too large to inflate");
  if (part.Last) data.append(reinterpret_cast<const char*>(kFlushMarker), sizeof kFlushMarker);
  std::string& out = impl_->out;
  out.resize(std::max(kMinOutputBlock, (data.size() - from) * 4));
  zs.next_in = reinterpret_cast<Bytef*>(data.data() + from);
  zs.avail_in = static_cast<uInt>(data.size() - from);
  size_t produced = 0;
  for (;;) {
    SetOutput(zs, out, produced);
    const int rc = inflate(&zs, Z_SYNC_FLUSH);
    produced = out.size() - zs.avail_out;
    if (produced > maxSize)
      throw EzorWSMessageTooBig(Format("Message too big: more than %llu bytes once inflated",
                                       static_cast<unsigned long long>(maxSize)));
    if (rc == Z_STREAM_END) {
      // The peer ended the deflate stream (a final block): the next message
      // starts a new one, and whatever follows the end is ignored.
      inflateReset(&zs);
      impl_->ended = !part.Last;
      break;
    }
    if (rc == Z_BUF_ERROR || (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0)) break;
    if (rc != Z_OK) ThrowZlib(zs, rc, "inflate");
    if (zs.avail_out == 0) out.resize(static_cast<size_t>(std::min<uint64_t>(out.size() * 2, maxSize + 1)));
  }
  data.replace(from, std::string::npos, out.data(), produced);
}

}  // namespace zor
