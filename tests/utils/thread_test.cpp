// Worker threads: created suspended, the parameter handed through, joins that
// wait, and a join from the thread itself that must not.
#include <gtest/gtest.h>

#include <atomic>

#include "utils/thread.h"

namespace {

TEST(Thread, StartsSuspendedAndRunsOnceResumed) {
  std::atomic<int> runs{0};
  int parameter = 41;
  Utils::Thread t(&parameter, L"ABDEF", [&](void* p) -> unsigned {
    ++*static_cast<int*>(p);
    ++runs;
    return 0;
  });
  ASSERT_TRUE(t.Started());
  EXPECT_NE(0xFFFFFFFFu, t.Id());
  Sleep(100);
  EXPECT_EQ(0, runs.load()) << "nothing runs before the creator resumes it";
  ASSERT_TRUE(t.Resume());
  t.Join();
  EXPECT_EQ(1, runs.load());
  EXPECT_EQ(42, parameter);
  EXPECT_FALSE(t.Started()) << "joined: handle closed";
  EXPECT_EQ(0xFFFFFFFFu, t.Id());
}

TEST(Thread, DestructionWaitsForTheWork) {
  std::atomic<bool> done{false};
  {
    Utils::Thread t(nullptr, L"", [&](void*) -> unsigned {
      Sleep(200);
      done = true;
      return 0;
    });
    t.Resume();
  }
  EXPECT_TRUE(done.load());
}

TEST(Thread, JoinFromTheThreadItselfDoesNotWait) {
  std::unique_ptr<Utils::Thread> t;
  std::atomic<bool> returned{false};
  t = std::make_unique<Utils::Thread>(nullptr, L"ABDEF", [&](void*) -> unsigned {
    t->Join();  // as a worker that restarts its owner from its own callback
    returned = true;
    return 0;
  });
  t->Resume();
  for (int i = 0; i < 200 && !returned; ++i) Sleep(10);
  EXPECT_TRUE(returned.load()) << "a self-join would never return";
  t.reset();
}

TEST(Thread, LaunchRunsAtOnce) {
  std::atomic<bool> ran{false};
  auto t = Utils::Thread::Launch(nullptr, L"ABDEF", [&](void*) -> unsigned {
    ran = true;
    return 0;
  });
  ASSERT_TRUE(t->Started());
  t->Join();
  EXPECT_TRUE(ran.load());
}

}  // namespace
