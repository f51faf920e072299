// The frame reader in both masking modes, with and without compression: any
// input must be read without fault, and reading it in pieces must give the
// same messages and failures as reading it whole.
#include "websocket/extensions.h"
#include "websocket/frame_reader.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace zor;

constexpr uint64_t kMaxMessage = 1 << 20;

struct Session : TzorWSFrameEvents {
  Session(uint8_t mode) : reader(*this, &extensions) {
    reader.SetRequireMask(mode & 1);
    reader.SetValidateUTF8(mode & 8);
    reader.SetMaxMessageSize(kMaxMessage);
    if (mode & 2) {
      extensions.SetMode(mode & 1 ? appServer : appClient);
      extensions.PerMessage_Deflate().SetEnabled(true);
      extensions.DecodeExtensions(mode & 4 ? "permessage-deflate; client_no_context_takeover; server_no_context_takeover"
                                           : "permessage-deflate; client_max_window_bits=9");
    }
  }

  // What a connection does with a completed frame: inflate and decode whole messages.
  void DoMessageComplete(TzorWSMsg& msg) override {
    std::string record = std::to_string(msg.OpCode) + (msg.Fragmented ? "+" : ".") + (msg.Continuation ? "c" : "");
    if (!msg.Fragmented && !IsControlOpCode(msg.OpCode)) {
      try {
        extensions.ReadStream(msg.Stream, kMaxMessage);
      } catch (const Exception& e) {
        record += std::string("inflate failed: ") + e.what();
      }
      std::string text;
      if (msg.OpCode == opText && reader.DecodeTextPayload(msg.Stream, text)) record += text;
    }
    log.push_back(record + msg.Stream);
  }
  void DoDisconnect(const std::string& message, int closeCode) override {
    log.push_back("disconnect " + std::to_string(closeCode) + " " + message + " after close " +
                  std::to_string(reader.CloseCode()) + " " + reader.CloseReason());
  }

  TzorWSExtensions extensions;
  TzorWSFrameReader reader;
  std::vector<std::string> log;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t mode = data[0];
  const size_t step = 1 + data[1] % 64;
  data += 2;
  size -= 2;

  Session whole(mode), pieces(mode);
  const size_t used = whole.reader.Read(data, size);
  if (used > size) std::abort();
  size_t at = 0;
  while (at < size && !pieces.reader.Stopped()) {
    const size_t n = std::min(step, size - at);
    const size_t consumed = pieces.reader.Read(data + at, n);
    at += consumed;
    if (consumed < n) break;
  }
  if (whole.log != pieces.log || at != used) std::abort();
  return 0;
}
