// test-labels: threaded
#include "ptz_queue.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "velmora_test.h"

namespace {

// Records callback and release events in the order they happen.
struct Journal {
  std::mutex mutex;
  std::vector<std::string> events;
  gboolean result = TRUE;

  void add(const char *what, gpointer item) {
    std::lock_guard<std::mutex> guard(mutex);
    events.push_back(std::string(what) + std::to_string(GPOINTER_TO_INT(item)));
  }
  size_t size() {
    std::lock_guard<std::mutex> guard(mutex);
    return events.size();
  }
};

Journal *release_journal = nullptr;

void release_item(gpointer item) { release_journal->add("rel", item); }

gboolean record_item(gpointer user_data, gpointer item) {
  auto *journal = static_cast<Journal *>(user_data);
  journal->add("cb", item);
  return journal->result;
}

class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    release_journal = &journal;
    context = g_main_context_new();
  }
  void TearDown() override {
    release_journal = nullptr;
    g_main_context_unref(context);
  }
  Journal journal;
  GMainContext *context = nullptr;
};

TEST_F(QueueTest, ReleasesEachItemRightAfterItsCallbackAndPopsInOrder) {
  PTZQueue *queue = ptz_queue_setup(context, release_item, G_PRIORITY_DEFAULT);
  EXPECT_EQ(ptz_queue_pop(queue), nullptr);

  EXPECT_TRUE(ptz_queue_push(queue, GINT_TO_POINTER(1)));
  EXPECT_TRUE(ptz_queue_push(queue, GINT_TO_POINTER(2)));
  // Popped items belong to the caller: no release for them.
  EXPECT_EQ(ptz_queue_pop(queue), GINT_TO_POINTER(1));

  ptz_queue_set_callback(queue, record_item, &journal);
  ptz_queue_push(queue, GINT_TO_POINTER(3));
  velmora::testing::iterate_until([&] { return journal.size() == 4; }, 5000, context);
  EXPECT_EQ(journal.events, (std::vector<std::string>{"cb2", "rel2", "cb3", "rel3"}));
  ptz_queue_free(queue);
  EXPECT_EQ(journal.size(), 4u);
}

TEST_F(QueueTest, FreeReleasesWhatRemains) {
  PTZQueue *queue = ptz_queue_setup(context, release_item, G_PRIORITY_DEFAULT);
  for (int i = 1; i <= 3; i++) ptz_queue_push(queue, GINT_TO_POINTER(i));
  ptz_queue_free(queue);
  EXPECT_EQ(journal.events, (std::vector<std::string>{"rel1", "rel2", "rel3"}));
}

TEST_F(QueueTest, ItemsDispatchedWithoutCallbackAreReleased) {
  PTZQueue *queue = ptz_queue_setup(context, release_item, G_PRIORITY_DEFAULT);
  ptz_queue_push(queue, GINT_TO_POINTER(7));
  ptz_queue_push(queue, GINT_TO_POINTER(8));
  velmora::testing::iterate_until([&] { return journal.size() == 2; }, 5000, context);
  EXPECT_EQ(journal.events, (std::vector<std::string>{"rel7", "rel8"}));
  ptz_queue_free(queue);
  EXPECT_EQ(journal.size(), 2u);
}

TEST_F(QueueTest, FalseForTheLastItemStopsDispatching) {
  PTZQueue *queue = ptz_queue_setup(context, release_item, G_PRIORITY_DEFAULT);
  ptz_queue_set_callback(queue, record_item, &journal);
  journal.result = FALSE;
  ptz_queue_push(queue, GINT_TO_POINTER(1));
  velmora::testing::iterate_until([&] { return journal.size() == 2; }, 5000, context);
  journal.result = TRUE;
  ptz_queue_push(queue, GINT_TO_POINTER(2));
  velmora::testing::iterate_for(100, context);
  EXPECT_EQ(journal.events, (std::vector<std::string>{"cb1", "rel1"}));
  // The undispatched item is still released when the queue goes.
  ptz_queue_free(queue);
  EXPECT_EQ(journal.events, (std::vector<std::string>{"cb1", "rel1", "rel2"}));
}

// Another thread may pop the item between the context's prepare and its
// dispatch; the empty pass must not detach the queue.
TEST_F(QueueTest, EmptyPassKeepsTheQueueAttached) {
  PTZQueue *queue = ptz_queue_setup(context, release_item, G_PRIORITY_DEFAULT);
  ptz_queue_set_callback(queue, record_item, &journal);
  ptz_queue_push(queue, GINT_TO_POINTER(1));

  ASSERT_TRUE(g_main_context_acquire(context));
  gint priority = 0;
  ASSERT_TRUE(g_main_context_prepare(context, &priority));
  EXPECT_EQ(ptz_queue_pop(queue), GINT_TO_POINTER(1));
  GPollFD fds[8];
  gint timeout = 0;
  gint nfds = g_main_context_query(context, priority, &timeout, fds, G_N_ELEMENTS(fds));
  g_main_context_check(context, priority, fds, nfds);
  g_main_context_dispatch(context);
  g_main_context_release(context);
  EXPECT_EQ(journal.size(), 0u);

  ptz_queue_push(queue, GINT_TO_POINTER(2));
  EXPECT_TRUE(velmora::testing::iterate_until([&] { return journal.size() == 2; }, 5000, context));
  EXPECT_EQ(journal.events, (std::vector<std::string>{"cb2", "rel2"}));
  ptz_queue_free(queue);
}

// The consumer thread blocks in its poll with nothing else to wake it; every
// push from the producers must wake it and arrive in each producer's order.
TEST_F(QueueTest, PushesFromThreadsWakeASleepingContext) {
  constexpr int kProducers = 4;
  constexpr int kPerProducer = 2000;
  PTZQueue *queue = ptz_queue_setup(context, nullptr, G_PRIORITY_DEFAULT);
  struct Seen {
    std::vector<int> next = std::vector<int>(kProducers, 0);
    std::atomic<int> total{0};
    std::atomic<int> out_of_order{0};
  } seen;
  ptz_queue_set_callback(
      queue,
      [](gpointer data, gpointer item) -> gboolean {
        auto *s = static_cast<Seen *>(data);
        int value = GPOINTER_TO_INT(item) - 1;
        int producer = value / kPerProducer;
        if (value % kPerProducer != s->next[producer]) s->out_of_order++;
        s->next[producer] = value % kPerProducer + 1;
        s->total++;
        return TRUE;
      },
      &seen);

  std::atomic<bool> stop{false};
  std::thread consumer([&] {
    g_main_context_push_thread_default(context);
    while (!stop) g_main_context_iteration(context, TRUE);
    g_main_context_pop_thread_default(context);
  });
  // Let the consumer reach its poll before anything is queued.
  g_usleep(50000);
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; p++)
    producers.emplace_back([queue, p] {
      for (int i = 0; i < kPerProducer; i++) {
        ptz_queue_push(queue, GINT_TO_POINTER(p * kPerProducer + i + 1));
        if (i % 500 == 0) g_usleep(2000);
      }
    });
  for (auto &t : producers) t.join();
  gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (seen.total < kProducers * kPerProducer && g_get_monotonic_time() < deadline)
    g_usleep(1000);
  EXPECT_EQ(seen.total.load(), kProducers * kPerProducer);
  EXPECT_EQ(seen.out_of_order.load(), 0);

  // A single late push while the consumer is asleep in its poll.
  int before = seen.total;
  g_usleep(50000);
  ptz_queue_push(queue, GINT_TO_POINTER(1));
  deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (seen.total == before && g_get_monotonic_time() < deadline) g_usleep(1000);
  EXPECT_EQ(seen.total.load(), before + 1);

  stop = true;
  g_main_context_wakeup(context);
  consumer.join();
  ptz_queue_free(queue);
}

TEST(QueueDeathTest, NullContextIsAProgrammingError) {
  EXPECT_DEATH(ptz_queue_setup(nullptr, nullptr, G_PRIORITY_DEFAULT), "context != NULL");
}

}  // namespace
