#pragma once
// Choosing the server a load-balanced client connects to: the balancer's
// binding answer, or else a random entry of the client's own server list.
#include <string>
#include <string_view>
#include <vector>

namespace zor {

inline constexpr const char* kLoadBalancerBindingRequest = "zor@lb@client@get@binding";

// The server a load balancer or the server list picked for the client.
struct TzorWSServerChoice {
  std::string Host;
  int Port = 0;
  bool TLS = false;
};

// The binding request's address: scheme by `tls`, the balancer, the request.
std::string LoadBalancerBindingURL(bool tls, const std::string& host, int port);

// A JSON object with members "host", "port" and "ssl". Raises on text that is
// no JSON object or a port that is no number.
TzorWSServerChoice ReadBindingAnswer(std::string_view body);

// Up to 10 picks of a uniformly random entry ("scheme:host:port"); the first
// with three parts is taken. False when none was. A port that is no number
// raises EConvertError.
bool PickListedServer(const std::vector<std::string>& servers, TzorWSServerChoice& choice);

}  // namespace zor
