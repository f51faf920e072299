// HTTP/1.1 load on loopback with wrk (two threads, 100 kept-alive
// connections), each server a child process on two worker threads:
// - a small text answer from our server's OnCommandGet next to Boost.Beast's
//   asynchronous HTTP server answering the same text;
// - a static 16 KiB file from our server's document root next to nginx
//   serving the same folder (a configuration of its own, on a loopback port).
// Counters: requests per second and the server's CPU time per request for
// each, our rate as a ratio of the peer's, and the load average of the
// machine when the iteration ended (numbers are only comparable when it is
// low).
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

namespace {

namespace fs = std::filesystem;
using zor::bench::CPUSeconds;
using zor::bench::Here;
using zor::bench::Outcome;
using zor::bench::ProgramOutput;
using zor::bench::Report;
using zor::bench::ServerProcess;
using zor::bench::ZorServerProgram;

const char* kSeconds = "3s";
const char* kThreads = "2";

// wrk against the server's URL; every answer must have been a 2xx.
Outcome Load(const ServerProcess& server, const std::string& path) {
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + path;
  const double before = CPUSeconds(server.Pid());
  const std::string out = ProgramOutput({"wrk", "-t", kThreads, "-c", "100", "-d", kSeconds, "--timeout", "5s", url});
  const double cpu = CPUSeconds(server.Pid()) - before;
  const size_t rate = out.find("Requests/sec:");
  const size_t total = out.find(" requests in ");
  if (rate == std::string::npos || total == std::string::npos || out.find("Non-2xx") != std::string::npos)
    throw std::runtime_error("wrk failed on " + url + ":\n" + out);
  const double requests = std::strtod(out.c_str() + out.rfind('\n', total) + 1, nullptr);
  if (requests <= 0) throw std::runtime_error("no request answered by " + url);
  return {std::strtod(out.c_str() + rate + 13, nullptr), cpu * 1e6 / requests};
}

void BM_KeepAliveSmallAnswer(benchmark::State& state) {
  for (auto _ : state) try {
    Outcome ours, beast;
    {
      ServerProcess zor({ZorServerProgram(), "--threads", kThreads, "--hello"});
      ours = Load(zor, "/");
    }
    {
      ServerProcess peer({(Here() / "peer_beast_http").string(), kThreads});
      beast = Load(peer, "/");
    }
    Report(state, "beast", ours, beast);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}
BENCHMARK(BM_KeepAliveSmallAnswer)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// A folder with the 16 KiB file, and nginx's configuration serving it.
struct StaticFolder {
  StaticFolder() : dir(fs::temp_directory_path() / ("zor_http_bench_" + std::to_string(::getpid()))) {
    fs::create_directories(dir / "www");
    std::string bytes(16384, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
    std::ofstream(dir / "www" / "file16k.txt", std::ios::binary) << bytes;
    // Settled, as a site's files are: our server does not keep files in
    // memory that changed in the last seconds.
    std::this_thread::sleep_for(std::chrono::seconds(3));
  }
  ~StaticFolder() { fs::remove_all(dir); }
  std::string NginxConfig(uint16_t port) const {
    const std::string file = (dir / "nginx.conf").string();
    std::ofstream(file) << "daemon off;\nmaster_process on;\nworker_processes " << kThreads
                        << ";\nuser root;\npid " << (dir / "nginx.pid").string() << ";\nerror_log "
                        << (dir / "error.log").string()
                        << ";\nevents { worker_connections 1024; }\n"
                           "http {\n  access_log off;\n  sendfile on;\n  tcp_nopush on;\n"
                           "  keepalive_requests 1000000;\n  default_type text/plain;\n"
                           "  client_body_temp_path "
                        << dir.string() << ";\n  server {\n    listen 127.0.0.1:" << port << ";\n    root "
                        << (dir / "www").string() << ";\n  }\n}\n";
    return file;
  }
  fs::path dir;
};

void BM_StaticFile16KiB(benchmark::State& state) {
  const StaticFolder folder;
  for (auto _ : state) try {
    Outcome ours, nginx;
    {
      ServerProcess zor({ZorServerProgram(), "--threads", kThreads, "--document-root", (folder.dir / "www").string()});
      ours = Load(zor, "/file16k.txt");
    }
    {
      const uint16_t port = zor::test::FreeLoopbackPort();
      ServerProcess peer({"/usr/sbin/nginx", "-p", folder.dir.string(), "-e", (folder.dir / "error.log").string(), "-c",
                          folder.NginxConfig(port)},
                         port);
      nginx = Load(peer, "/file16k.txt");
    }
    Report(state, "nginx", ours, nginx);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}
BENCHMARK(BM_StaticFile16KiB)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
