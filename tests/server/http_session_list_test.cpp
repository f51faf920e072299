// HTTP sessions: ids, expiry after disuse, the bound on their number, and
// the start and end events.
#include "server/http_session_list.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

// A session list on a clock the test moves.
class ClockedSessions : public TzorHTTPSessionList {
 public:
  ClockedSessions(std::chrono::milliseconds timeOut, size_t maxSessions) : TzorHTTPSessionList(timeOut, maxSessions) {
    OnSessionStart = [this](TzorHTTPSession& s) { events.push_back("start " + s.SessionID()); };
    OnSessionEnd = [this](TzorHTTPSession& s) { events.push_back("end " + s.SessionID()); };
  }
  Clock::time_point now{};
  std::vector<std::string> events;

 protected:
  Clock::time_point Now() const override { return now; }
};

TEST(HTTPSessionList, SessionsEndAfterDisuseOnly) {
  ClockedSessions list(std::chrono::seconds(10), 100);
  auto a = list.CreateSession("1.2.3.4");
  EXPECT_EQ(a->SessionID().size(), 32u);
  EXPECT_EQ(a->RemoteHost(), "1.2.3.4");
  auto b = list.CreateSession("1.2.3.4");
  EXPECT_NE(a->SessionID(), b->SessionID());
  a->SetValue("k", "v");
  list.now += std::chrono::seconds(9);
  EXPECT_EQ(list.GetSession(a->SessionID())->Value("k"), "v");  // used now: its time starts again
  list.now += std::chrono::seconds(9);
  EXPECT_EQ(list.GetSession(a->SessionID()), a);
  EXPECT_EQ(list.GetSession(b->SessionID()), nullptr);  // unused for 18 s
  EXPECT_EQ(list.events, (std::vector<std::string>{"start " + a->SessionID(), "start " + b->SessionID(),
                                                   "end " + b->SessionID()}));
  EXPECT_EQ(list.GetSession(""), nullptr);
  EXPECT_EQ(list.GetSession(a->SessionID() + "0"), nullptr);
  EXPECT_TRUE(list.RemoveSession(a->SessionID()));
  EXPECT_FALSE(list.RemoveSession(a->SessionID()));
  EXPECT_EQ(list.events.back(), "end " + a->SessionID());
  EXPECT_EQ(list.Count(), 0u);
}

TEST(HTTPSessionList, AFullListEndsTheLeastRecentlyUsed) {
  ClockedSessions list(std::chrono::hours(1), 2);
  auto a = list.CreateSession("");
  list.now += std::chrono::seconds(1);
  auto b = list.CreateSession("");
  list.now += std::chrono::seconds(1);
  list.GetSession(a->SessionID());
  list.now += std::chrono::seconds(1);
  auto c = list.CreateSession("");
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.GetSession(b->SessionID()), nullptr);
  EXPECT_EQ(list.GetSession(a->SessionID()), a);
  EXPECT_EQ(list.GetSession(c->SessionID()), c);
  EXPECT_EQ(list.events.back(), "start " + c->SessionID());
}

}  // namespace
}  // namespace zor
