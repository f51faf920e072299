// Bytes into a frame reader of either side, cut into two calls where the first
// octet says. Stream errors are skipped as a connection would; a connection
// error ends the input.
#include "http2/frame_reader.h"
#include "http2/http2_exception.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  zor::TzorHTTP2_Frame reader(data[0] & 0x80 ? zor::h2frClientRead : zor::h2frServerRead);
  reader.HPACK().SetMaxHeaderListSize(16384);
  size_t events = 0;
  reader.OnReadFrameHeaders = [&](zor::TzorHTTP2_Frame&, zor::TzorHTTP2_Frame_Headers& frame) {
    events += frame.Headers().Count();
  };
  reader.OnReadFrameData = [&](zor::TzorHTTP2_Frame&, zor::TzorHTTP2_Frame_Data& frame) {
    events += frame.Data().size();
  };
  const size_t cut = 1 + (size - 1) * (data[0] & 0x7F) / 127;
  const std::span<const uint8_t> parts[] = {{data + 1, cut - 1}, {data + cut, size - cut}};
  try {
    for (const auto& part : parts) {
      std::span<const uint8_t> input = part;
      for (int streamErrors = 0; streamErrors < 64; ++streamErrors) {
        try {
          reader.ReadBytes(input);
          break;
        } catch (const zor::TzorHTTP2Exception& e) {
          if (e.ErrorResponse() != zor::h2errRST_STREAM) throw;
          input = {};  // go on with what is buffered
        }
      }
    }
  } catch (const zor::TzorHTTP2Exception&) {
  }
  // Touches what the events handed out, so that ASan sees every read.
  volatile size_t sink = events;
  (void)sink;
  return 0;
}
