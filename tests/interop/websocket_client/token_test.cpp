// Token authentication: the bearer token comes from the JWT client
// component, and a server of the test's own (Python `websockets` with PyJWT)
// accepts the connection only with a valid HS256 signature.
#include <gtest/gtest.h>

#include "auth/jwt_client.h"
#include "ws_client_peers.h"

namespace zor {
namespace {

using test::ClientEvents;

void UseToken(TzorWSClient& client, TzorHTTPComponentClient_JWT& jwt) {
  client.Authentication().SetEnabled(true);
  client.Authentication().Token().SetEnabled(true);
  client.Authentication().Token().SetJWT(&jwt);
}

TEST(WSClientToken, JWTSignedTokenIsAccepted) {
  auto peer = test::PythonServer(false, "off", {"--bearer-secret", "shared secret"});
  TzorHTTPComponentClient_JWT jwt;
  jwt.JWTOptions().Header().Setalg(jwtHS256);
  jwt.JWTOptions().Algorithms().HS().SetSecret("shared secret");
  jwt.JWTOptions().Payload().Setsub("websocket client");
  TzorWSClient client;
  ClientEvents events(client);
  test::PointAt(client, *peer, false);
  UseToken(client, jwt);
  ASSERT_TRUE(client.Connect(20000)) << peer->Output();
  EXPECT_TRUE(peer->WaitForOutput("token accepted websocket client"));
  EXPECT_EQ(client.Authentication().Token().AuthName(), "Bearer");
  client.WriteData("authorized");
  ASSERT_TRUE(events.WaitForMessages(1));
  client.SetActive(false);
}

TEST(WSClientToken, WrongSignatureIsRefused) {
  auto peer = test::PythonServer(false, "off", {"--bearer-secret", "shared secret"});
  TzorHTTPComponentClient_JWT jwt;
  jwt.JWTOptions().Header().Setalg(jwtHS256);
  jwt.JWTOptions().Algorithms().HS().SetSecret("another secret");
  TzorWSClient client;
  ClientEvents events(client);
  test::PointAt(client, *peer, false);
  UseToken(client, jwt);
  EXPECT_FALSE(client.Connect(20000));
  ASSERT_TRUE(events.WaitFor([&] { return !events.exceptions.empty(); }));
  EXPECT_EQ(events.Read(events.exceptions)[0], "Error Decoding Header: Switching Protocols [HTTP/1.1 401 Unauthorized]");
  EXPECT_TRUE(peer->WaitForOutput("token refused"));
}

}  // namespace
}  // namespace zor
