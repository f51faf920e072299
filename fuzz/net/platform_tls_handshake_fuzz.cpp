// What a server sends during the handshake reaches the platform engine's
// record splitting and handshake loop before anything is verified: any bytes,
// cut into any segments, end the handshake with a result, never a crash.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/schannel_engine.h"

namespace {

// Hands the input out in segments whose sizes the input's first byte picks.
class FuzzSocket : public zor::TzorSChannelSocket {
 public:
  explicit FuzzSocket(std::string_view input) : segment_(input.empty() ? 1 : (input[0] & 0x3F) + 1), input_(input) {}
  int Send(const char*, int size) override { return size; }
  int Recv(char* buffer, int size) override {
    if (input_.empty()) return 0;
    const size_t n = std::min({input_.size(), static_cast<size_t>(size), segment_});
    input_.copy(buffer, n);
    input_.remove_prefix(n);
    return static_cast<int>(n);
  }
  int Select(int) override { return input_.empty() ? 0 : 1; }
  int LastError() const override { return ECONNRESET; }

 private:
  size_t segment_;
  std::string_view input_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSocket socket(std::string_view(reinterpret_cast<const char*>(data), size));
  zor::TzorSChannelSettings settings;
  settings.TLSVersion = zor::tlsUndefined;
  zor::TzorSChannelEngine engine(socket, "localhost", settings);
  if (engine.Connect() == 1) {
    char buffer[256];
    while (engine.Read(buffer, sizeof buffer) > 0) {
    }
  }
  return 0;
}
