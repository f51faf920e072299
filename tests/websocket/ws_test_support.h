#pragma once
// Sinks and event recorders shared by the WebSocket codec tests.
#include "websocket/frame_reader.h"
#include "websocket/frame_writer.h"

#include <string>
#include <vector>

namespace zor::test {

inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

class RecordingSink : public TzorWSFrameSink {
 public:
  void WriteFrame(const uint8_t* data, size_t size) override {
    frames.emplace_back(reinterpret_cast<const char*>(data), size);
  }
  std::vector<std::string> frames;
};

struct Delivered {
  TOpcode op;
  std::string payload;
  bool fragmented;
  bool continuation;
  bool operator==(const Delivered&) const = default;
};

struct Disconnect {
  std::string message;
  int code;
  bool operator==(const Disconnect&) const = default;
};

class RecordingEvents : public TzorWSFrameEvents {
 public:
  void DoMessageComplete(TzorWSMsg& msg) override {
    delivered.push_back({msg.OpCode, msg.Stream, msg.Fragmented, msg.Continuation});
  }
  void DoDisconnect(const std::string& message, int closeCode) override {
    disconnects.push_back({message, closeCode});
  }
  std::vector<Delivered> delivered;
  std::vector<Disconnect> disconnects;
};

inline size_t Feed(TzorWSFrameReader& reader, const std::string& bytes) {
  return reader.Read(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// The payload of a masked frame with a 7- or 16-bit length, decoded by hand
// (independently of the reader); `key` receives the masking key.
inline std::string UnmaskedPayload(const std::string& frame, std::string* key = nullptr) {
  const auto* p = reinterpret_cast<const uint8_t*>(frame.data());
  size_t at = 2;
  size_t length = p[1] & 0x7F;
  if (length == 126) {
    length = static_cast<size_t>(p[2]) << 8 | p[3];
    at = 4;
  }
  const std::string k = frame.substr(at, 4);
  if (key) *key = k;
  std::string payload = frame.substr(at + 4);
  if (payload.size() != length) return "<length mismatch>";
  for (size_t i = 0; i < payload.size(); ++i) payload[i] ^= k[i % 4];
  return payload;
}

}  // namespace zor::test
