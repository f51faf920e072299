#pragma once
// The server under test of the application-request interop tests: uploads
// saved under a folder of its own, a session per client, and a handler that
// echoes requests, bodies and uploads and keeps "/private" for "user:secret".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "server/ws_http_server.h"
#include "tests/interop/server/run_program.h"
#include "tests/net/test_pki.h"

namespace zor::test {

namespace fs = std::filesystem;

struct HTTPInterop : ::testing::Test {
  HTTPInterop() {
    dir = fs::temp_directory_path() / ("zor_http_interop_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "uploads");
    server.SetPort(0);
    server.SetAddress("127.0.0.1");
    server.SetThreadPoolSize(2);
    server.SetNotifyEvents(neNoSync);
    server.SetSessionState(true);
    server.HTTPUploadFiles().StreamType = pstFileStream;
    server.HTTPUploadFiles().SaveDirectory = (dir / "uploads").string();
    server.OnHTTPUploadReadInput = [this](TzorComponent_Base*, const std::string& name, const std::string& value) {
      std::lock_guard guard(lock);
      fields.push_back(name + "=" + value);
    };
    server.OnCommandGet = server.OnCommandOther = [this](TzorWSConnectionServer*, TzorHTTPServerRequest& request,
                                                         TzorHTTPServerResponse& response) {
      Answer(request, response);
    };
  }
  ~HTTPInterop() override {
    server.SetActive(false);
    fs::remove_all(dir);
  }

  void Answer(TzorHTTPServerRequest& request, TzorHTTPServerResponse& response) {
    response.ContentType = "text/plain";
    if (request.Document == "/echo") {
      std::string params;
      for (const auto& [name, value] : request.Params) params += name + "=" + value + ";";
      response.ContentText = request.Command + " " + params + " " + request.PostStream;
    } else if (request.Document == "/body") {
      response.ContentText = request.PostStream;
    } else if (request.Document == "/upload") {
      std::lock_guard guard(lock);
      for (const auto& entry : fs::directory_iterator(dir / "uploads")) response.ContentText += entry.path().filename().string() + ";";
      for (const auto& field : fields) response.ContentText += field + ";";
    } else if (request.Document == "/session") {
      if (!request.Session) server.StartSession(request, response);
      response.ContentText = request.Session->Value("visits");
      request.Session->SetValue("visits", response.ContentText + "+");
    } else if (request.Document == "/private") {
      const bool granted = request.AuthExists && request.AuthUsername == "user" && request.AuthPassword == "secret";
      if (granted) {
        response.ContentText = "granted";
      } else {
        response.SetStatus(401);
        response.CustomHeaders.push_back("WWW-Authenticate: Basic realm=\"test\"");
      }
    } else {
      response.SetStatus(404);
    }
  }

  std::string URL(const std::string& path, bool tls = false) {
    if (!server.Active()) server.SetActive(true);
    return std::string(tls ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(server.ListeningPort()) +
           path;
  }
  static std::string Run(std::vector<std::string> argv) { return RunProgram(std::move(argv)); }

  fs::path dir;
  TestPKI pki;
  TzorWSHTTPServer server;
  std::mutex lock;
  std::vector<std::string> fields;
};

}  // namespace zor::test
