#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "websocket/lb_link.h"

namespace zor {
namespace {

// Writes from any thread: each is serialised here, as the WebSocket client does.
class LockedTransport : public IzorLoadBalancerTransport {
 public:
  bool SendText(const std::string& aText) override {
    std::lock_guard lock(mutex);
    texts.push_back(aText);
    return true;
  }
  bool SendBinary(const std::string& aBytes) override {
    std::lock_guard lock(mutex);
    binaries.push_back(aBytes);
    return true;
  }
  std::mutex mutex;
  std::vector<std::string> texts, binaries;
};

TEST(LoadBalancerLinkThreads, MessagesSentFromManyThreadsKeepTheirOwnHeaders) {
  constexpr int kThreads = 4, kEach = 200;
  LockedTransport transport;
  TzorWSLoadBalancerLink link(transport);
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&link, t] {
      for (int i = 0; i < kEach; ++i) {
        const std::string tag = std::to_string(t) + "-" + std::to_string(i);
        link.WriteData("G" + tag, "text " + tag);
        link.Broadcast("all " + tag, "channel" + tag, "", "", "");
        TzorStringStream data("bytes " + tag);
        link.WriteData("B" + tag, data, 0, stmNone);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();

  ASSERT_EQ(transport.texts.size(), 2u * kThreads * kEach);
  ASSERT_EQ(transport.binaries.size(), 1u * kThreads * kEach);
  for (const std::string& text : transport.texts) {
    TzorWSLoadBalancerMessage message;
    message.Read(text);
    if (message.IsBroadcast()) {
      EXPECT_EQ("all " + message.FChannel.substr(7), message.FText);
    } else {
      EXPECT_EQ("text " + message.FGuid.substr(1), message.FText);
    }
  }
  for (const std::string& bytes : transport.binaries) {
    TzorStringStream stream(bytes);
    TzorWSLoadBalancerBinary header;
    header.Read(stream);
    EXPECT_EQ("bytes " + header.FGuid.substr(1), stream.DataString());
  }
}

}  // namespace
}  // namespace zor
