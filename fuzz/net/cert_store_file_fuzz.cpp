// Store files are read from folders any program of the user may write to:
// PEM or PKCS#12 bytes of any shape yield certificates or nothing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/cert_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (const auto& certificate : zor::ReadStoreFile(input)) {
    certificate->UsableForClientAuth();
    certificate->IssuedBy(input.substr(0, 16));
  }
  zor::ImportPFX(input, "secret");
  return 0;
}
