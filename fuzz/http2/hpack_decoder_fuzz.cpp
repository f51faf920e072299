// Header blocks in sequence through one decoding context. Every list that
// decodes is encoded again and must decode to the same fields.
#include "http2/hpack.h"
#include "http2/http2_exception.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  zor::TzorHTTP2_HPACK decoder, encoder, checker;
  decoder.SetMaxHeaderListSize(16384);
  decoder.SetDynamicTableSizeLimit(uint32_t{data[0]} * 64);
  encoder.SetHuffmanStrategy(static_cast<zor::TzorHPackHuffmanStrategy>(data[1] % 3));
  data += 2;
  size -= 2;
  zor::TzorHTTP2_HeaderList headers, again;
  zor::TzorByteBuffer block;
  // Each block: one length octet, then that many octets.
  while (size > 0) {
    const size_t length = data[0] < size - 1 ? data[0] : size - 1;
    try {
      decoder.Decode({data + 1, length}, headers);
    } catch (const zor::TzorHTTP2Exception&) {
      return 0;  // the context is lost after a failure
    }
    block.Clear();
    encoder.EncodeHeaders(headers, block);
    checker.Decode(block.Span(), again);
    if (!(again == headers)) std::abort();
    data += 1 + length;
    size -= 1 + length;
  }
  return 0;
}
