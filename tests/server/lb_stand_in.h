#pragma once
// A load balancer's side of a link, played by a server component on a
// loopback port: it records every message a link sends it, in order ("T:" or
// "B:" and the message), and the links that connected, to write to them.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/ws_http_server.h"

namespace zor::test {

// Collects what event handlers hand over from other threads.
template <class T>
class Mailbox {
 public:
  void Put(T aItem) {
    std::lock_guard guard(lock_);
    items_.push_back(std::move(aItem));
    changed_.notify_all();
  }
  // Waits (a delivery wait, not a measurement) until `count` items came;
  // what came.
  std::vector<T> WaitFor(size_t count) {
    std::unique_lock guard(lock_);
    changed_.wait_for(guard, std::chrono::seconds(20), [&] { return items_.size() >= count; });
    return items_;
  }
  std::vector<T> Now() { return WaitFor(0); }
  void Clear() {
    std::lock_guard guard(lock_);
    items_.clear();
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<T> items_;
};

class StandInBalancer {
 public:
  using Link = std::shared_ptr<TzorWSConnectionServer>;

  StandInBalancer() {
    server.SetPort(0);
    server.SetAddress("127.0.0.1");
    server.SetThreadPoolSize(2);
    server.SetNotifyEvents(neNoSync);
    server.OnConnect = [this](TzorWSConnection* c) {
      links.Put(std::static_pointer_cast<TzorWSConnectionServer>(c->shared_from_this()));
    };
    server.OnMessage = [this](TzorWSConnection*, const std::string& text) { received.Put("T:" + text); };
    server.OnBinary = [this](TzorWSConnection*, const TzorStringStream& data) {
      received.Put("B:" + data.DataString());
    };
    server.SetActive(true);
  }
  ~StandInBalancer() { Stop(); }

  // A connection must not outlive the event loop of the server that made
  // it: the links held here go first.
  void Stop() {
    links.Clear();
    server.SetActive(false);
  }

  uint16_t Port() const { return server.ListeningPort(); }
  // The `count`th link once it connected, or none.
  Link WaitForLink(size_t count = 1) {
    const std::vector<Link> all = links.WaitFor(count);
    return all.size() >= count ? all[count - 1] : nullptr;
  }

  TzorWSHTTPServer server;
  Mailbox<std::string> received;
  Mailbox<Link> links;
};

}  // namespace zor::test
