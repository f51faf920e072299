// Several servers' links talking to the balancer at once: the input is a
// sequence of records separated by a zero byte, each a command byte (which of
// four links, and whether it opens, closes, sends text or binary, or a client
// asks for a server) and the message. Whatever the servers send, the router
// neither faults nor forwards to a link that is not open.
#include <cstdlib>
#include <set>
#include <string_view>

#include "tools/load-balancer/load_balancer_router.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  zor::TzorLoadBalancerRouter router;
  std::set<zor::TzorLinkId> open;
  while (!rest.empty()) {
    const size_t end = rest.find('\0');
    std::string_view record = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (record.empty()) continue;
    const auto command = static_cast<uint8_t>(record[0]);
    const zor::TzorLinkId link = command & 3;
    std::string_view message = record.substr(1);
    std::vector<zor::TzorLinkAction> actions;
    switch ((command >> 2) % 5) {
      case 0:
        router.LinkOpened(link);
        open.insert(link);
        break;
      case 1:
        router.LinkClosed(link);
        open.erase(link);
        break;
      case 2:
        if (open.count(link)) actions = router.TextReceived(link, message);
        break;
      case 3:
        if (open.count(link)) actions = router.BinaryReceived(link, message);
        break;
      default:
        router.BindingAnswer();
    }
    for (const zor::TzorLinkAction& action : actions) {
      if (action.FKind == zor::TzorLinkAction::laClose) {
        open.erase(action.FLink);
      } else if (!open.count(action.FLink)) {
        std::abort();
      }
    }
  }
  return 0;
}
