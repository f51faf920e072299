// The component base: the thread events run on, held messages, reporting,
// routing, the handshake event, connection lifetime and the watchdog timer.
#include "tests/base/main_thread_fixture.h"
#include "tests/websocket/ws_pair.h"
#include "websocket/ws_component.h"

#include <thread>

namespace zor::test {
namespace {

class Component : public TzorWSComponent {
 public:
  ~Component() override { BeginDestroy(); }
  using TzorWSComponent::Destroying;
  int destroyed = 0;
  std::atomic<int> watchdogTicks{0};

  // The owner's part: the connection's events become notifications.
  void Wire(TzorWSConnection& c) {
    c.OnMessage = [this](TzorWSConnection* conn, const std::string& text) { DoNotifyMessage(conn, text); };
    c.OnBinary = [this](TzorWSConnection* conn, const TzorStringStream& data) { DoNotifyBinary(conn, data); };
    c.OnFragmented = [this](TzorWSConnection* conn, const TzorStringStream& data, TOpcode op, bool more) {
      DoNotifyFragmented(conn, data, op, more);
    };
  }

 protected:
  void DoDestroyConnection(TzorWSConnection* c) override {
    ++destroyed;
    TzorWSComponent::DoDestroyConnection(c);
  }
  void DoWatchDog() override { ++watchdogTicks; }
};

class WSComponent : public MainThreadTest {
 protected:
  WSComponent() { component.Wire(*pair.server); }

  // The server's read loop on a thread of its own, as the server runs it.
  void ReadOnAnotherThread() {
    std::thread reader([this] { pair.server->ReadFrames(true); });
    reader.join();
  }

  WSPair pair;
  Component component;
  std::vector<std::string> log;
};

TEST_F(WSComponent, AsynchronousEventsRunOnTheMainThreadInOrderWithTheirOwnData) {
  component.SetNotifyEvents(neAsynchronous);
  std::vector<std::thread::id> threads;
  component.OnMessage = [&](TzorWSConnection*, const std::string& text) {
    log.push_back(text);
    threads.push_back(std::this_thread::get_id());
  };
  component.OnBinary = [&](TzorWSConnection*, const TzorStringStream& data) { log.push_back("bin:" + data.DataString()); };
  for (const char* text : {"one", "two", "three"}) pair.client->WriteData(text);
  pair.client->WriteData(TzorStringStream(std::string("four")));
  ReadOnAnotherThread();
  EXPECT_TRUE(log.empty());
  FDispatcher->Pump();
  EXPECT_EQ(log, (std::vector<std::string>{"one", "two", "three", "bin:four"}));
  for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(WSComponent, SynchronousEventsHoldTheReaderAndNoSyncRunsOnIt) {
  component.SetNotifyEvents(neSynchronous);
  std::thread::id handlerThread;
  component.OnMessage = [&](TzorWSConnection*, const std::string& text) {
    log.push_back(text);
    handlerThread = std::this_thread::get_id();
  };
  pair.client->WriteData("sync");
  std::atomic<bool> readerDone{false};
  std::thread reader([&] {
    pair.server->ReadFrames(true);
    readerDone = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return !log.empty(); }));
  reader.join();
  EXPECT_TRUE(readerDone);
  EXPECT_EQ(handlerThread, std::this_thread::get_id());

  component.SetNotifyEvents(neNoSync);
  pair.client->WriteData("nosync");
  std::thread::id readerId;
  std::thread noSync([&] {
    readerId = std::this_thread::get_id();
    pair.server->ReadFrames(true);
  });
  noSync.join();
  EXPECT_EQ(log.back(), "nosync");
  EXPECT_EQ(handlerThread, readerId);
}

TEST_F(WSComponent, HeldMessagesAreReleasedTextsFirstThenBinaries) {
  component.SetNotifyEvents(neNoSync);
  component.OnMessage = [&](TzorWSConnection*, const std::string& text) { log.push_back(text); };
  component.OnBinary = [&](TzorWSConnection*, const TzorStringStream& data) { log.push_back("bin:" + data.DataString()); };
  component.SetQueueMessages(true);
  pair.client->WriteData("a");
  pair.client->WriteData(TzorStringStream(std::string("b")));
  pair.client->WriteData("c");
  pair.server->ReadFrames(true);
  EXPECT_TRUE(log.empty());
  component.SetQueueMessages(false);
  EXPECT_EQ(log, (std::vector<std::string>{"a", "c", "bin:b"}));

  component.SetQueueMessages(true);
  pair.client->WriteData("dropped");
  pair.server->ReadFrames(true);
  component.QueueClear();
  component.SetQueueMessages(false);
  EXPECT_EQ(log.size(), 3u);
}

TEST_F(WSComponent, ReportingRaisesTheEventAndDropsTheConnection) {
  component.SetNotifyEvents(neNoSync);
  component.ReportException(pair.server.get(), "no handler", std::make_exception_ptr(TzorWSException("x")));
  EXPECT_EQ(pair.serverTransport->Disconnects(), 1);  // dropped without an event

  WSPair other;
  std::string seen;
  component.OnException = [&](TzorWSConnection* c, const std::exception& e) {
    seen = std::string(e.what()) + "|" + c->MsgException();
  };
  component.ReportException(other.server.get(), "Read failed", std::make_exception_ptr(TzorWSException("bad frame")));
  EXPECT_EQ(seen, "bad frame|Read failed");
  EXPECT_EQ(other.serverTransport->Disconnects(), 1);
  EXPECT_EQ(other.clientTransport->InputBufferSize(), 0u);  // no close frame

  WSPair third;
  component.OnError = [&](TzorWSConnection* c, const std::string& error) {
    seen = error + "|" + c->MsgError();
    throw std::runtime_error("handler fails");  // swallowed by the report
  };
  component.ReportError(third.server.get(), "Write failed");
  EXPECT_EQ(seen, "Write failed|Write failed");
  EXPECT_EQ(third.serverTransport->Disconnects(), 1);
}

TEST_F(WSComponent, AQueuedDisconnectKeepsItsConnectionAliveAndFreesIt) {
  component.SetNotifyEvents(neAsynchronous);
  int code = 0;
  std::string protocolSeen;
  component.OnDisconnect = [&](TzorWSConnection* c, int closeCode) {
    code = closeCode;
    protocolSeen = c->Guid();  // touches the connection: must still be there
    throw std::runtime_error("a failing handler");
  };
  pair.client->Close(4000);
  pair.server->ReadFrames(true);
  TzorWSConnection* raw = pair.server.get();
  component.DoNotifyDisconnect(raw);
  std::weak_ptr<OpenConnection> watch = pair.server;
  pair.server.reset();  // the owner lets go before the event runs
  EXPECT_FALSE(watch.expired());
  EXPECT_THROW(FDispatcher->Pump(), std::runtime_error);
  EXPECT_EQ(code, 4000);
  EXPECT_EQ(protocolSeen.size(), 32u);
  EXPECT_EQ(component.destroyed, 1);
  EXPECT_TRUE(watch.expired());
}

TEST_F(WSComponent, ADisconnectWithoutNotificationOnlyFreesTheConnection) {
  component.SetNotifyEvents(neNoSync);
  component.OnDisconnect = [&](TzorWSConnection*, int) { log.push_back("disconnect"); };
  pair.server->SetNotifyDisconnection(false);
  component.DoNotifyDisconnect(pair.server.get());
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(component.destroyed, 1);
  EXPECT_TRUE(pair.server->Freed());
}

TEST_F(WSComponent, EventsQueuedForADestroyedComponentNeverRun) {
  auto doomed = std::make_unique<Component>();
  doomed->SetNotifyEvents(neAsynchronous);
  doomed->OnConnect = [&](TzorWSConnection*) { log.push_back("connect"); };
  doomed->DoNotifyConnect(pair.server.get());
  EXPECT_EQ(FDispatcher->PendingCount(), 1u);
  doomed.reset();
  EXPECT_EQ(FDispatcher->PendingCount(), 0u);
  FDispatcher->Pump();
  EXPECT_TRUE(log.empty());
}

struct Chat : TzorWSProtocol {
  std::string ProtocolName() const override { return "chat, echo"; }
  std::string Guid() const override { return "G1"; }
  void DoNotifyMessage(TzorWSConnection*, const std::string& text) override { got.push_back("chat:" + text); }
  void DoNotifyDisconnect(TzorWSConnection*, int) override { got.push_back("chat:gone"); }
  std::vector<std::string> got;
};

struct Broker : TzorWSProtocol {
  std::string ProtocolName() const override { return kBrokerProtocol; }
  bool IsBroker() const override { return true; }
};

struct Api : TzorWSAPI {
  void DoRawMessage(TzorWSConnection*, const std::string& text) override { got.push_back("raw:" + text); }
  void DoNotifyMessage(TzorWSConnection*, const std::string& text) override { got.push_back("api:" + text); }
  std::vector<std::string> got;
};

TEST_F(WSComponent, RoutingToSubprotocolAndAPIComponents) {
  component.SetNotifyEvents(neNoSync);
  component.OnMessage = [&](TzorWSConnection*, const std::string& text) { log.push_back(text); };
  Chat chat;
  Broker broker;
  Api api;
  component.RegisterProtocol(&chat);
  component.RegisterProtocol(&broker);
  EXPECT_EQ(component.RegisteredProtocols(), std::string(kBrokerProtocol) + ",G1.chat,G1.echo");

  pair.server->SetProtocol("g1.ECHO");
  component.DoNotifyMessage(pair.server.get(), "routed");
  pair.server->SetProtocol("other");  // no component of its own: the component's event
  component.DoNotifyMessage(pair.server.get(), "own");
  EXPECT_EQ(chat.got, (std::vector<std::string>{"chat:routed"}));
  EXPECT_EQ(log, (std::vector<std::string>{"own"}));

  pair.server->SetProtocol("");
  component.SetAPI(&api);
  component.DoNotifyMessage(pair.server.get(), "m1");
  api.SetRawMessages(true);
  component.DoNotifyMessage(pair.server.get(), "m2");
  EXPECT_EQ(api.got, (std::vector<std::string>{"raw:m1", "api:m1", "raw:m2", "api:m2"}));
  EXPECT_EQ(log, (std::vector<std::string>{"own", "m2"}));

  pair.server->SetProtocol("chat");
  component.DoNotifyDisconnect(pair.server.get());
  EXPECT_EQ(chat.got.back(), "chat:gone");
  EXPECT_EQ(component.destroyed, 1);
}

TEST_F(WSComponent, TheHandshakeEventRunsOnTheMainThreadWhileTheConnectingThreadWaits) {
  component.SetNotifyEvents(neAsynchronous);
  std::thread::id handlerThread;
  component.OnHandshake = [&](TzorWSConnection*, std::vector<std::string>& headers) {
    headers.push_back("X-Added: 1");
    handlerThread = std::this_thread::get_id();
  };
  pair.client->HeadersResponse() = {"GET / HTTP/1.1"};
  std::atomic<bool> done{false};
  std::thread connecting([&] {
    component.DoHandshake(pair.client.get());
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  connecting.join();
  EXPECT_EQ(handlerThread, std::this_thread::get_id());
  EXPECT_EQ(pair.client->HeadersResponse().back(), "X-Added: 1");
}

TEST_F(WSComponent, TheWatchdogStopsAfterItsAttempts) {
  component.SetNotifyEvents(neNoSync);
  component.WatchDog().SetEnabled(true);
  component.WatchDog().SetInterval(0);  // fires at every step of the timer
  component.WatchDog().SetAttempts(2);
  component.StartWatchDog();
  while (component.WatchDogAttempts() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  // Stopped: more steps of the timer bring no more ticks.
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(component.watchdogTicks, 2);
  EXPECT_EQ(component.Version(), "2023.6.0");
}

}  // namespace
}  // namespace zor::test
