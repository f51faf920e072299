#include "websocket/load_balancer_choice.h"

#include <charconv>

#include "base/exceptions.h"
#include "base/random.h"
#include "base/url.h"
#include "json/json.h"

namespace zor {

std::string LoadBalancerBindingURL(bool tls, const std::string& host, int port) {
  return std::string(tls ? "https" : "http") + "://" + host + ":" + std::to_string(port) + "/" +
         kLoadBalancerBindingRequest;
}

TzorWSServerChoice ReadBindingAnswer(std::string_view body) {
  TzorJSON json;
  json.Read(body);
  TzorWSServerChoice choice;
  if (auto host = json.Node("host")) choice.Host = host->ValueText();
  if (auto port = json.Node("port")) {
    const std::string text = port->ValueText();
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), choice.Port);
    if (ec != std::errc() || end != text.data() + text.size())
      throw EConvertError("'" + text + "' is not a valid integer value");
  }
  if (auto ssl = json.Node("ssl")) choice.TLS = ssl->ValueText() == "true";
  return choice;
}

namespace {

// Uniform in [0, count) from the CSPRNG; rejection keeps it uniform when
// count does not divide 2^32.
size_t UniformIndex(size_t count) {
  const uint32_t limit = UINT32_MAX - UINT32_MAX % count;
  uint32_t random;
  do RandomBytes(reinterpret_cast<uint8_t*>(&random), sizeof random);
  while (random >= limit);
  return random % count;
}

}  // namespace

bool PickListedServer(const std::vector<std::string>& servers, TzorWSServerChoice& choice) {
  if (servers.empty()) return false;
  for (int pick = 0; pick < 10; ++pick)
    if (SplitWSEndpoint(servers[UniformIndex(servers.size())], choice.TLS, choice.Host, choice.Port)) return true;
  return false;
}

}  // namespace zor
