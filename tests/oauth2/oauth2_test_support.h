#pragma once
// What the OAuth2 tests over sockets share: a log of events raised on other
// threads, our server with the authorization server in front of it, and a
// plain GET as a browser sends it to the client's listener.
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "net/connection.h"
#include "oauth2/oauth2_server_hook.h"

namespace zor::test {

// Events recorded from any thread and waited for by the test.
class EventLog {
 public:
  void Record(const std::string& event) {
    std::lock_guard guard(lock_);
    events_.push_back(event);
    changed_.notify_all();
  }
  // Waits (without a limit of its own: ctest's applies) for `count` events.
  std::vector<std::string> Wait(size_t count) {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [&] { return events_.size() >= count; });
    return events_;
  }
  std::vector<std::string> Now() {
    std::lock_guard guard(lock_);
    return events_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
};

// Lets `user` sign in with `password`, nobody else.
inline void AcceptUser(TzorHTTPComponentServer_OAuth2& oauth, const std::string& user, const std::string& password) {
  oauth.OnOAuth2Authentication = [user, password](TzorWSConnection*, const TzorHTTPOAuth2Request&,
                                                  const std::string& u, const std::string& p, bool& ok) {
    ok = u == user && p == password;
  };
}

// Starts the server on a free loopback port with the OAuth2 server in front
// of an application that answers "protected data"; TLS when `tls` is given.
inline void ServeOAuth2(TzorWSHTTPServer& server, TzorHTTPComponentServer_OAuth2& oauth,
                        const TzorTLSSettings* tls = nullptr) {
  server.SetPort(0);
  server.SetAddress("127.0.0.1");
  server.SetThreadPoolSize(2);
  server.SetNotifyEvents(neNoSync);
  if (tls) {
    server.SetSSL(true);
    server.SSLOptions() = *tls;
  }
  AttachOAuth2Server(server, oauth, [](TzorWSConnectionServer* c, const std::vector<std::string>& lines,
                                       const std::string&) { c->SendResponseHTTP("protected data " + lines[0], "text/plain"); });
  server.SetActive(true);
}

// Sends the bytes to a plain loopback port and answers what comes back, up
// to the end of the connection (or of the head only: an upgraded connection
// stays open).
inline std::string Exchange(uint16_t port, const std::string& request, bool headOnly = false) {
  TzorConnection c;
  c.Options().Host = "127.0.0.1";
  c.Options().Port = port;
  c.Options().ConnectTimeout = c.Options().ReadTimeout = c.Options().WriteTimeout = 20000;
  c.Connect();
  c.Write(request);
  std::string all;
  try {
    while ((!headOnly || all.find("\r\n\r\n") == std::string::npos) && c.ReadSome(all, 1 << 16) > 0) {
    }
  } catch (const Exception&) {
  }
  return all;
}

// A browser's GET of "http://127.0.0.1:<port><path>": the status line, "|"
// and the body; "not a listener address" for anything else.
inline std::string Visit(const std::string& address) {
  const std::string prefix = "http://127.0.0.1:";
  if (address.rfind(prefix, 0) != 0) return "not a listener address: " + address;
  const size_t end = address.find_first_of("/?", prefix.size());
  const std::string port = address.substr(prefix.size(), end - prefix.size());
  std::string path = end == std::string::npos ? "" : address.substr(end);
  if (path.empty() || path.front() == '?') path.insert(0, "/");
  const std::string all = Exchange(static_cast<uint16_t>(std::stoi(port)),
                                   "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  return all.substr(0, all.find("\r\n")) + "|" + all.substr(all.find("\r\n\r\n") + 4);
}

}  // namespace zor::test
