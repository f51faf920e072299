// pinecone-local: runs the local Pinecone-compatible service until SIGINT or
// SIGTERM.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tools/pinecone-local/pinecone_local.h"
#include "tools/stop_signals.h"

namespace {

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: pinecone-local [--port N] [--api-key KEY] [--cert FILE --key FILE]\n"
               "  Serves an in-memory Pinecone-compatible REST interface over HTTPS on 127.0.0.1\n"
               "  (legacy and current API), with the certificate and key of the PEM files given\n"
               "  or a self-signed certificate. --port 0 (the default) picks a free port.\n"
               "  The key defaults to $PINECONE_LOCAL_API_KEY, else \"local\".\n"
               "  Point a client at it with connect-to: every *.pinecone.io host on port 443\n"
               "  goes to 127.0.0.1:<port>; the index project id is \"%s\".\n",
               zor::TzorPineconeLocal::kProjectId);
}

}  // namespace

int main(int argc, char** argv) {
  const char* env_key = std::getenv("PINECONE_LOCAL_API_KEY");
  std::string api_key = env_key ? env_key : "local";
  std::string cert_file, key_file;
  long port = 0;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (!std::strcmp(argv[i], "--port") && has_value) {
      char* end = nullptr;
      port = std::strtol(argv[++i], &end, 10);
      if (*end || port < 0 || port > 65535) {
        std::fprintf(stderr, "pinecone-local: bad port '%s'\n", argv[i]);
        return 2;
      }
    } else if (!std::strcmp(argv[i], "--api-key") && has_value) {
      api_key = argv[++i];
    } else if (!std::strcmp(argv[i], "--cert") && has_value) {
      cert_file = argv[++i];
    } else if (!std::strcmp(argv[i], "--key") && has_value) {
      key_file = argv[++i];
    } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      Usage(stdout);
      return 0;
    } else {
      Usage(stderr);
      return 2;
    }
  }

  const sigset_t stop = zor::tools::BlockStopSignals();
  zor::TzorPineconeLocal service;
  try {
    if (cert_file.empty() != key_file.empty()) throw std::runtime_error("--cert and --key go together");
    service.Start(api_key, static_cast<uint16_t>(port), cert_file, key_file);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pinecone-local: %s\n", e.what());
    return 1;
  }
  std::printf("pinecone-local listening on https://127.0.0.1:%u\n", service.Port());
  std::fflush(stdout);
  zor::tools::WaitForStopSignal(stop);
  service.Stop();
  return 0;
}
