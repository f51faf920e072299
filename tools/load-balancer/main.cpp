// load-balancer: the balancer servers link to, on 127.0.0.1, until SIGINT or
// SIGTERM. Servers link on "/zor@load_balancer_client"; clients ask for a
// server with "GET /zor@lb@client@get@binding".
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/system/system_error.hpp>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "net/async_connection.h"
#include "net/cloexec_sockets.h"
#include "tools/load-balancer/balancer_session.h"
#include "tools/load-balancer/load_balancer_router.h"

namespace {

using namespace zor;
using boost::asio::ip::tcp;

// The router behind one lock; the sockets each on their own strand.
class TBalancer {
 public:
  TBalancer(boost::asio::io_context& aIO, uint16_t aPort) : FAcceptor(aIO) {
    boost::system::error_code error;
    ListenCloseOnExec(FAcceptor, tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), aPort), error);
    if (error) throw boost::system::system_error(error, "listen");
    FRouter.OnLog = [](TzorLinkId aLink, const std::string& aText) {
      std::fprintf(stderr, "link %llu: %s\n", static_cast<unsigned long long>(aLink), aText.c_str());
    };
    Accept();
  }

  uint16_t Port() const { return FAcceptor.local_endpoint().port(); }

 private:
  template <class F>
  auto Locked(F&& aWork) {
    std::lock_guard lock(FLock);
    return aWork();
  }

  void Accept() {
    auto accepted = [this](const boost::system::error_code& aError, tcp::socket aSocket) {
      if (aError) return;  // the acceptor was closed
      Open(std::move(aSocket));
      Accept();
    };
    AsyncAcceptCloseOnExec(FAcceptor, FAcceptor.get_executor(), accepted);
  }

  void Open(tcp::socket aSocket) {
    const TzorLinkId link = ++FLastLink;
    auto connection = TzorAsyncConnection::Create(std::move(aSocket));
    std::weak_ptr<TzorAsyncConnection> weak = connection;
    auto session = std::make_shared<TzorBalancerSession>(TzorBalancerSession::Owner{
        .Write = [weak](std::string_view aBytes) {
          auto c = weak.lock();
          if (!c) return;
          try {
            c->Write(aBytes);
          } catch (const std::exception&) {
            c->Abort();  // a peer that stopped reading: its queue is full
          }
        },
        .Close = [weak] {
          if (auto c = weak.lock()) c->Disconnect();
        },
        .BindingAnswer = [this] { return Locked([&] { return FRouter.BindingAnswer(); }); },
        .LinkOpened = [this, link] { Locked([&] { FRouter.LinkOpened(link); }); },
        .TextReceived = [this, link](std::string_view aText) {
          Perform(Locked([&] { return FRouter.TextReceived(link, aText); }));
        },
        .BinaryReceived = [this, link](std::string_view aBytes) {
          Perform(Locked([&] { return FRouter.BinaryReceived(link, aBytes); }));
        }});
    Locked([&] { FSessions.emplace(link, TOpen{connection, session}); });
    connection->Start({.OnReady = {},
                       .OnData = [session](TzorAsyncConnection& aConnection) {
                         std::string bytes;
                         aConnection.ReadFromBuffer(bytes, aConnection.InputBufferSize());
                         session->Received(bytes);
                       },
                       .OnClosed = [this, link](TzorAsyncConnection&, std::exception_ptr) {
                         Locked([&] {
                           FRouter.LinkClosed(link);
                           FSessions.erase(link);
                         });
                       }});
  }

  // Sends outside the lock: a session's writes only queue on its connection.
  void Perform(const std::vector<TzorLinkAction>& aActions) {
    for (const TzorLinkAction& action : aActions) {
      std::shared_ptr<TzorBalancerSession> target = Locked([&] {
        auto found = FSessions.find(action.FLink);
        return found == FSessions.end() ? nullptr : found->second.FSession;
      });
      if (!target) continue;
      switch (action.FKind) {
        case TzorLinkAction::laSendText:
          target->SendText(action.FData);
          break;
        case TzorLinkAction::laSendBinary:
          target->SendBinary(action.FData);
          break;
        case TzorLinkAction::laClose:
          std::fprintf(stderr, "link %llu: %s\n", static_cast<unsigned long long>(action.FLink), action.FData.c_str());
          target->Close(1000);
          break;
      }
    }
  }

  struct TOpen {
    std::shared_ptr<TzorAsyncConnection> FConnection;
    std::shared_ptr<TzorBalancerSession> FSession;
  };

  tcp::acceptor FAcceptor;
  std::mutex FLock;
  TzorLoadBalancerRouter FRouter;
  std::map<TzorLinkId, TOpen> FSessions;
  TzorLinkId FLastLink = 0;
};

}  // namespace

int main(int argc, char** argv) {
  char* end = nullptr;
  const long port = argc == 2 ? std::strtol(argv[1], &end, 10) : -1;
  if (argc != 2 || *end || port < 0 || port > 65535) {
    std::fprintf(stderr,
                 "usage: load-balancer PORT\n"
                 "  Listens on 127.0.0.1:PORT (0 picks a free port) for servers' links and\n"
                 "  clients' binding requests, until SIGINT or SIGTERM.\n");
    return 2;
  }
  boost::asio::io_context io;
  TBalancer balancer(io, static_cast<uint16_t>(port));
  boost::asio::signal_set stop(io, SIGINT, SIGTERM);
  stop.async_wait([&](boost::system::error_code, int) { io.stop(); });
  std::printf("load balancer listening on 127.0.0.1:%u\n", static_cast<unsigned>(balancer.Port()));
  std::fflush(stdout);
  std::thread second([&] { io.run(); });
  io.run();
  second.join();
  return 0;
}
