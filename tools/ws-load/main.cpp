// zor-ws-load: echo load against a WebSocket server.
//   zor-ws-load --port 8080 [--host 127.0.0.1] [--path /] [--connections 100]
//               [--size 512] [--seconds 5] [--threads 1] [--in-flight 1]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/ws-load/ws_load.h"

int main(int argc, char** argv) {
  zor::TzorWSLoadOptions options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--host") options.Host = value;
    else if (name == "--port") options.Port = static_cast<uint16_t>(std::atoi(value));
    else if (name == "--path") options.Path = value;
    else if (name == "--connections") options.Connections = std::atoi(value);
    else if (name == "--size") options.MessageSize = static_cast<size_t>(std::atoll(value));
    else if (name == "--seconds") options.Seconds = std::atoi(value);
    else if (name == "--threads") options.Threads = std::atoi(value);
    else if (name == "--in-flight") options.InFlight = std::atoi(value);
    else {
      std::fprintf(stderr, "unknown option %s\n", name.c_str());
      return 2;
    }
  }
  if (options.Port == 0) {
    std::fprintf(stderr, "usage: zor-ws-load --port N [--host H] [--path P] [--connections C] [--size B] "
                         "[--seconds S] [--threads T] [--in-flight N]\n");
    return 2;
  }
  const zor::TzorWSLoadResult r = zor::RunWSLoad(options);
  std::printf("connections %d/%d, failures %llu, messages %llu in %.2f s: %.0f messages/s\n", r.Connected,
              options.Connections, static_cast<unsigned long long>(r.Failures),
              static_cast<unsigned long long>(r.Messages), r.Seconds, r.MessagesPerSecond());
  return r.Failures == 0 ? 0 : 1;
}
