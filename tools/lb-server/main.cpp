// zor-lb-server: a WebSocket server linked to the load balancer (tools/
// load-balancer) on 127.0.0.1, so that its clients reach the clients of every
// other linked server. Its clients speak in text messages:
//   "whoami"            answered with "you " and the client's guid
//   "to GUID TEXT"      TEXT goes to the client with that guid, on this server
//                       or another ("undelivered GUID" when this server holds
//                       no such client and its link is down)
//   "all TEXT"          TEXT goes to every client of every linked server
// Anything else is echoed.
//   zor-lb-server --balancer PORT [--port N] [--guid G] [--auto-restart S]
// Prints "listening on port N", then "link up" / "link down" / "link error: ..."
// as its link comes and goes, until SIGINT or SIGTERM.
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "tools/loopback_server.h"

namespace {

std::mutex output_lock;

void Say(const std::string& aLine) {
  std::lock_guard lock(output_lock);
  std::printf("%s\n", aLine.c_str());
  std::fflush(stdout);
}

// The text after the first space of aText from aStart on, and what precedes it.
std::pair<std::string, std::string> FirstWord(const std::string& aText, size_t aStart) {
  const size_t space = aText.find(' ', aStart);
  if (space == std::string::npos) return {aText.substr(aStart), ""};
  return {aText.substr(aStart, space - aStart), aText.substr(space + 1)};
}

int Usage() {
  std::fprintf(stderr, "usage: zor-lb-server --balancer PORT [--port N] [--guid G] [--auto-restart SECONDS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zor;
  TzorWSHTTPServer server;
  tools::ListenOnLoopback(server);
  server.SetNotifyEvents(neNoSync);
  server.LoadBalancer().SetEnabled(true);
  server.LoadBalancer().SetHost("127.0.0.1");
  server.LoadBalancer().SetAutoRestart(1);
  server.LoadBalancer().SetAutoRegisterBindings(true);
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const int number = std::atoi(argv[i + 1]);
    if (option == "--balancer") server.LoadBalancer().SetPort(number);
    else if (option == "--port") server.SetPort(static_cast<uint16_t>(number));
    else if (option == "--guid") server.LoadBalancer().SetGuid(argv[i + 1]);
    else if (option == "--auto-restart") server.LoadBalancer().SetAutoRestart(number);
    else return Usage();
  }
  if (argc % 2 == 0 || server.LoadBalancer().Port() <= 0) return Usage();

  server.OnLoadBalancerConnect = [](TzorComponent_Base*) { Say("link up"); };
  server.OnLoadBalancerDisconnect = [](TzorComponent_Base*) { Say("link down"); };
  server.OnLoadBalancerError = [](TzorComponent_Base*, const std::string& aError) { Say("link error: " + aError); };
  server.OnMessage = [&server](TzorWSConnection* c, const std::string& text) {
    if (text == "whoami") return c->WriteData("you " + c->Guid());
    if (text.starts_with("to ")) {
      const auto [guid, message] = FirstWord(text, 3);
      if (!server.WriteData(guid, message)) c->WriteData("undelivered " + guid);
      return;
    }
    if (text.starts_with("all ")) {
      server.Broadcast(text.substr(4), "", "", "", "");
      return;
    }
    c->WriteData(text);
  };

  tools::ServeUntilStopSignal(server, Say);
  return 0;
}
