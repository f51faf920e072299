// The tcp scheme: no handshake, no framing; bytes go out as written and what
// arrives is delivered as binary messages.
#include <gtest/gtest.h>

#include "ws_client_peers.h"

namespace zor {
namespace {

// Echoes every chunk it receives; "ready" once it listens.
const char* kTCPEcho = R"(
import socket, sys, threading
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", int(sys.argv[1])))
listener.listen(4)
print("ready", flush=True)
def echo(conn):
    with conn:
        while data := conn.recv(65536):
            conn.sendall(data)
while True:
    threading.Thread(target=echo, args=(listener.accept()[0],), daemon=True).start()
)";

TEST(WSClientPlainTCP, BytesGoAndComeBackUnframed) {
  test::WSPeer echo("tcp-echo", [](uint16_t port, const test::TestPKI&) {
    return std::vector<std::string>{"/usr/bin/python3", "-c", kTCPEcho, std::to_string(port)};
  });
  TzorWSClient client;
  test::ClientEvents events(client);
  client.SetURL("tcp://127.0.0.1:" + std::to_string(echo.Port()));
  ASSERT_TRUE(client.Connect(20000));  // enabled at once: no handshake
  client.WriteData("raw bytes");
  ASSERT_TRUE(events.WaitFor([&] { return !events.binaries.empty(); }));
  EXPECT_EQ(events.Read(events.binaries)[0], "raw bytes");
  EXPECT_EQ(events.Read(events.connects), 1);
  client.SetActive(false);
}

}  // namespace
}  // namespace zor
