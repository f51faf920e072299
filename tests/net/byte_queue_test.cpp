// The ciphertext queue against a plain string doing the same: appends,
// reads into free room with partial commits, takes of any size (which make
// the queue move its rest forward now and then) and hand-overs.
#include "net/byte_queue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace zor {
namespace {

TEST(ByteQueue, KeepsOrderThroughRoomCommitTakeAndHandOver) {
  TzorByteQueue queue;
  std::string model;  // what the queue must hold
  uint8_t next = 0;
  auto bytes = [&](size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(next++);
    return s;
  };
  char taken[5000];
  for (size_t round = 0; round < 400; ++round) {
    const size_t size = (round * 7919) % 3000 + 1;
    if (round % 3 == 0) {
      const std::string s = bytes(size);
      queue.Append(s);
      model += s;
    } else {
      // A socket read that fills only part of the room it was given.
      const std::span<char> room = queue.Room(size);
      ASSERT_GE(room.size(), size);
      const std::string s = bytes(size / 2);
      std::memcpy(room.data(), s.data(), s.size());
      queue.Commit(s.size());
      model += s;
    }
    ASSERT_EQ(queue.Size(), model.size());
    const size_t n = queue.Take(taken, (round * 104729) % 4000);
    ASSERT_EQ(std::string(taken, n), model.substr(0, n)) << "round " << round;
    model.erase(0, n);
    if (round % 50 == 49) {
      std::string all = round % 100 == 99 ? std::string() : std::string("x");
      const std::string before = all;
      queue.TakeAll(all);
      ASSERT_EQ(all, before + model);
      model.clear();
      ASSERT_EQ(queue.Size(), 0u);
    }
  }
  // The last round handed the storage over: the queue starts afresh.
  EXPECT_EQ(queue.Take(taken, sizeof taken), 0u);
  queue.Append("abc");
  EXPECT_EQ(std::string(taken, queue.Take(taken, sizeof taken)), "abc");
}

// A socket fills the room while another thread may take the whole front
// (the engine reading under its lock): what is committed afterwards must be
// the bytes written into that room.
TEST(ByteQueue, RoomStaysPutWhileTheFrontIsTaken) {
  TzorByteQueue queue;
  queue.Append("front");
  const std::span<char> room = queue.Room(4);
  char taken[16];
  ASSERT_EQ(std::string(taken, queue.Take(taken, sizeof taken)), "front");
  std::memcpy(room.data(), "next", 4);
  queue.Commit(4);
  ASSERT_EQ(queue.Size(), 4u);
  EXPECT_EQ(std::string(taken, queue.Take(taken, sizeof taken)), "next");
  // Emptied, the queue reuses its storage from the start.
  EXPECT_EQ(queue.Room(1).data(), room.data() - 5);
}

}  // namespace
}  // namespace zor
