#pragma once
// Building frames and catching the reader's verdict, for the frame tests.
#include "base/bytes.h"
#include "http2/frame_reader.h"
#include "http2/http2_exception.h"

#include <optional>
#include <string>
#include <vector>

namespace zor::testing {

inline TBytes Frame(uint8_t type, uint8_t flags, uint32_t streamIdentifier, const TBytes& payload) {
  TBytes frame(9);
  WriteWireInteger(frame.data(), static_cast<uint32_t>(payload.size()), 3);
  frame[3] = type;
  frame[4] = flags;
  WriteWireInteger(frame.data() + 5, streamIdentifier, 4);
  frame.insert(frame.end(), payload.begin(), payload.end());
  return frame;
}

inline TBytes Concat(std::initializer_list<TBytes> parts) {
  TBytes all;
  for (const TBytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct TFailure {
  std::string message;
  Th2ErrorCodes code;
  Th2ErrorResponse response;
  int32_t stream;
};

inline std::optional<TFailure> ReadFailure(TzorHTTP2_Frame& reader, const TBytes& bytes) {
  try {
    reader.ReadBytes(bytes);
  } catch (const TzorHTTP2Exception& e) {
    return TFailure{e.Message(), e.ErrorCode(), e.ErrorResponse(), e.StreamIdentifier()};
  }
  return std::nullopt;
}

// A request header block made by a fresh encoder.
inline TBytes RequestBlock(std::initializer_list<std::pair<std::string, std::string>> fields) {
  TzorHTTP2_HPACK encoder;
  TzorHTTP2_HeaderList list;
  for (const auto& [name, value] : fields) list.Add(name, value);
  TzorByteBuffer block;
  encoder.Encode(list, block);
  return TBytes(block.Data(), block.Data() + block.Size());
}

inline TBytes GetRequestBlock() {
  return RequestBlock({{":method", "GET"}, {":scheme", "https"}, {":path", "/"}, {":authority", "example.com"}});
}

}  // namespace zor::testing
