#pragma once
// A recording stand-in for the WebSocket client under a load-balancer link.
#include <string>
#include <vector>

#include "websocket/lb_link.h"

namespace zor::test {

class RecordingLinkTransport : public IzorLoadBalancerTransport {
 public:
  bool SendText(const std::string& aText) override { return Record("T:" + aText); }
  bool SendBinary(const std::string& aBytes) override { return Record("B:" + aBytes); }

  bool connected = true;
  std::vector<std::string> sent;  // "T:" or "B:" and the message

 private:
  bool Record(std::string aMessage) {
    if (!connected) return false;
    sent.push_back(std::move(aMessage));
    return true;
  }
};

}  // namespace zor::test
