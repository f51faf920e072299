// A WebSocket client: connects, sends a text and a binary message, prints
// what the server sends back, and closes.
//   ws_echo_client ws://127.0.0.1:8080/ [TEXT]
#include <zor/websocket/ws_client.h>

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ws_echo_client URL [TEXT]\n");
    return 2;
  }
  const std::string text = argc > 2 ? argv[2] : "hello from zor";

  zor::TzorWSClient client;
  // Events run on the client's IO thread; the main thread waits for them.
  client.SetNotifyEvents(zor::neNoSync);
  std::mutex lock;
  std::condition_variable answered;
  int answers = 0;
  client.OnMessage = [&](zor::TzorWSConnection*, const std::string& echo) {
    std::printf("text echo: %s\n", echo.c_str());
    std::lock_guard guard(lock);
    ++answers;
    answered.notify_all();
  };
  client.OnBinary = [&](zor::TzorWSConnection*, const zor::TzorStringStream& echo) {
    std::printf("binary echo: %zu bytes\n", echo.Size());
    std::lock_guard guard(lock);
    ++answers;
    answered.notify_all();
  };
  client.OnError = [](zor::TzorWSConnection*, const std::string& error) {
    std::fprintf(stderr, "error: %s\n", error.c_str());
  };

  try {
    client.SetURL(argv[1]);
    client.Extensions().PerMessage_Deflate().SetEnabled(true);
    if (!client.Connect(10000)) {
      std::fprintf(stderr, "ws_echo_client: cannot connect to %s\n", argv[1]);
      return 1;
    }
    client.WriteData(text);
    client.WriteData(zor::TzorStringStream(std::string(1000, '\x7f')));
    std::unique_lock wait(lock);
    const bool both = answered.wait_for(wait, std::chrono::seconds(10), [&] { return answers == 2; });
    wait.unlock();
    client.Disconnect(5000);
    if (!both) {
      std::fprintf(stderr, "ws_echo_client: no echo within 10 s\n");
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ws_echo_client: %s\n", e.what());
    return 1;
  }
}
