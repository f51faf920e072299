#include "websocket/lb_filter.h"

namespace zor {
namespace {

std::string_view Trimmed(std::string_view aText) {
  constexpr std::string_view kSpace = " \t\r\n";
  size_t first = aText.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return aText.substr(first, aText.find_last_not_of(kSpace) - first + 1);
}

}  // namespace

bool InGuidList(std::string_view aList, std::string_view aGuid) {
  if (aGuid.empty()) return false;
  while (!aList.empty()) {
    size_t comma = aList.find(',');
    if (Trimmed(aList.substr(0, comma)) == aGuid) return true;
    if (comma == std::string_view::npos) break;
    aList.remove_prefix(comma + 1);
  }
  return false;
}

bool MatchesBroadcast(const TzorWSLoadBalancerAddress& aBroadcast, std::string_view aGuid, std::string_view aProtocol) {
  if (!aBroadcast.FProtocol.empty() && aBroadcast.FProtocol != aProtocol) return false;
  if (!aBroadcast.FInclude.empty() && !InGuidList(aBroadcast.FInclude, aGuid)) return false;
  return !InGuidList(aBroadcast.FExclude, aGuid);
}

}  // namespace zor
