#pragma once
// The values of the settings this system reads and writes, at the defaults
// RFC 7540 section 6.5.2 gives them.
#include <cstdint>

namespace zor {

// The six SETTINGS parameters of one side of a connection.
struct TzorHTTP2SettingsValues {
  bool EnableConnectProtocol = false;
  bool EnablePush = true;
  uint32_t HeaderTableSize = 4096;
  uint32_t InitialWindowSize = 65535;
  uint32_t MaxConcurrentStreams = 2147483647;
  uint32_t MaxFrameSize = 16384;
  uint32_t MaxHeaderListSize = 2147483647;
};

}  // namespace zor
