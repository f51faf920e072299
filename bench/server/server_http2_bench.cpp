// HTTP/2 load on loopback with h2load (200,000 requests over 100 connections,
// 100 streams at once on each), against our server and nghttpd, each a child
// process on two worker threads serving the same small file from a document
// root of the same folder.
// Both over TLS, HTTP/2 chosen by ALPN: that is how clients reach HTTP/2
// servers (browsers speak it over TLS only), and both servers use the same
// OpenSSL, so the record layer costs the same on each side; what differs is
// the HTTP/2 work and how answers are gathered into records and writes.
// Counters: requests per second and the server's CPU time per request for
// each, our rate as a ratio of nghttpd's, and the load average of the machine
// when the iteration ended (numbers are only comparable when it is low).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench/server/peer_comparison.h"
#include "bench/server/server_process.h"
#include "tests/net/test_pki.h"

namespace zor::bench {
namespace {

namespace fs = std::filesystem;

const char* kRequests = "200000";
const char* kThreads = "2";
const char* kFile = "/hello.txt";

// The number just before `label` in h2load's output ("200000 succeeded").
double NumberBefore(const std::string& out, const std::string& label) {
  const size_t at = out.find(label);
  if (at == std::string::npos || at == 0) return -1;
  const size_t start = out.find_last_of(" \n", at - 1);
  return std::strtod(out.c_str() + (start == std::string::npos ? 0 : start + 1), nullptr);
}

// h2load against the server's file over TLS; every request must have been
// answered 2xx on HTTP/2.
Outcome Load(const ServerProcess& server) {
  const std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + kFile;
  const double before = CPUSeconds(server.Pid());
  const std::string out = ProgramOutput({"h2load", "-n", kRequests, "-c", "100", "-m", "100", url});
  const double cpu = CPUSeconds(server.Pid()) - before;
  const double requests = std::strtod(kRequests, nullptr);
  if (out.find("Application protocol: h2\n") == std::string::npos || NumberBefore(out, " succeeded") != requests ||
      NumberBefore(out, " 2xx") != requests)
    throw std::runtime_error("h2load failed on " + url + ":\n" + out);
  return {NumberBefore(out, " req/s"), cpu * 1e6 / requests};
}

// A document root with the small file, and the certificate both servers use.
// The file is left to settle as a site's files are: our server does not keep
// files in memory that changed in the last seconds.
struct Site {
  Site() : dir(fs::temp_directory_path() / ("zor_http2_bench_" + std::to_string(::getpid()))) {
    fs::create_directories(dir);
    std::ofstream(dir / fs::path(kFile).relative_path(), std::ios::binary) << "Hello, World!";
    std::this_thread::sleep_for(std::chrono::seconds(3));
  }
  ~Site() { fs::remove_all(dir); }
  fs::path dir;
  test::TestPKI pki;
};

void BM_SmallFileOverTLS(benchmark::State& state) {
  const Site site;
  for (auto _ : state) try {
    Outcome ours, nghttpd;
    {
      ServerProcess zor({ZorServerProgram(), "--threads", kThreads, "--http2", "--tls", site.pki.ServerCertFile(),
                         site.pki.ServerKeyFile(), "--document-root", site.dir.string()});
      ours = Load(zor);
    }
    {
      const uint16_t port = test::FreeLoopbackPort();
      ServerProcess peer({"/usr/sbin/nghttpd", "-a", "127.0.0.1", "-n", kThreads, "-d", site.dir.string(),
                          std::to_string(port), site.pki.ServerKeyFile(), site.pki.ServerCertFile()},
                         port);
      nghttpd = Load(peer);
    }
    Report(state, "nghttpd", ours, nghttpd);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}
BENCHMARK(BM_SmallFileOverTLS)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace zor::bench
