// test-labels: threaded
#include "ptz_queue.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "velmora_test.h"

using velmora::testing::iterate_until;

namespace {

// Callback and release events in the order they happen, all on the thread
// that iterates the context. The release function has no user data, so it
// finds the events of the running test in a global.
std::vector<std::string> *events = nullptr;
gboolean callback_result = TRUE;

void note(const char *what, gpointer item) { events->push_back(what + std::to_string(GPOINTER_TO_INT(item))); }
void release_item(gpointer item) { note("rel", item); }
gboolean record_item(gpointer, gpointer item) {
  note("cb", item);
  return callback_result;
}

class QueueTest : public ::testing::Test {
 protected:
  QueueTest() { events = &journal; }
  ~QueueTest() override {
    g_main_context_unref(context);
    events = nullptr;
  }
  bool dispatched(size_t n) {
    return iterate_until([&] { return journal.size() == n; }, 5000, context);
  }
  std::vector<std::string> journal;
  GMainContext *context = g_main_context_new();
  PTZQueue *queue = ptz_queue_setup(context, release_item, G_PRIORITY_DEFAULT);
};

}  // namespace

// Popped items become the caller's; every other item is released once, right
// after its callback (or without one when none is set), or when the queue is
// freed; a callback returning FALSE stops all further dispatching.
TEST_F(QueueTest, EveryItemIsReleasedOnceAndFalseStopsDispatching) {
  EXPECT_EQ(ptz_queue_pop(queue), nullptr);
  EXPECT_TRUE(ptz_queue_push(queue, GINT_TO_POINTER(1)));
  ptz_queue_push(queue, GINT_TO_POINTER(2));
  EXPECT_EQ(ptz_queue_pop(queue), GINT_TO_POINTER(1));
  EXPECT_TRUE(dispatched(1));

  ptz_queue_set_callback(queue, record_item, nullptr);
  ptz_queue_push(queue, GINT_TO_POINTER(3));
  ptz_queue_push(queue, GINT_TO_POINTER(4));
  EXPECT_TRUE(dispatched(5));
  callback_result = FALSE;
  ptz_queue_push(queue, GINT_TO_POINTER(5));
  EXPECT_TRUE(dispatched(7));
  ptz_queue_push(queue, GINT_TO_POINTER(6));
  velmora::testing::iterate_for(100, context);
  ptz_queue_free(queue);
  EXPECT_EQ(journal, (std::vector<std::string>{"rel2", "cb3", "rel3", "cb4", "rel4", "cb5", "rel5", "rel6"}));
}

// Another thread may pop the item between the context's prepare and its
// dispatch; the empty pass must not detach the queue.
TEST_F(QueueTest, EmptyPassKeepsTheQueueAttached) {
  ptz_queue_set_callback(queue, record_item, nullptr);
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

  ptz_queue_push(queue, GINT_TO_POINTER(2));
  EXPECT_TRUE(dispatched(2));
  ptz_queue_free(queue);
  EXPECT_EQ(journal, (std::vector<std::string>{"cb2", "rel2"}));
}

// The consumer thread blocks in its poll with nothing else to wake it; every
// push from the producers must wake it and arrive in each producer's order.
TEST_F(QueueTest, PushesFromThreadsWakeASleepingContext) {
  constexpr int kProducers = 4, kPerProducer = 2000;
  struct Seen {
    std::vector<int> next = std::vector<int>(kProducers, 0);
    std::atomic<int> total{0}, out_of_order{0};
  } seen;
  ptz_queue_set_callback(
      queue,
      [](gpointer data, gpointer item) -> gboolean {
        auto *s = static_cast<Seen *>(data);
        int value = GPOINTER_TO_INT(item) - 1, producer = value / kPerProducer, number = value % kPerProducer;
        if (number != s->next[producer]++) s->out_of_order++;
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
  g_usleep(50000);  // the consumer reaches its poll before anything is queued
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; p++)
    producers.emplace_back([this, p] {
      for (int i = 0; i < kPerProducer; i++) {
        ptz_queue_push(queue, GINT_TO_POINTER(p * kPerProducer + i + 1));
        if (i % 500 == 0) g_usleep(2000);
      }
    });
  for (auto &t : producers) t.join();
  gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (seen.total < kProducers * kPerProducer && g_get_monotonic_time() < deadline) g_usleep(1000);
  EXPECT_EQ(seen.total.load(), kProducers * kPerProducer);
  EXPECT_EQ(seen.out_of_order.load(), 0);
  stop = true;
  g_main_context_wakeup(context);
  consumer.join();
  ptz_queue_free(queue);
}

TEST(QueueDeathTest, NullContextIsAProgrammingError) {
  EXPECT_DEATH(ptz_queue_setup(nullptr, nullptr, G_PRIORITY_DEFAULT), "context != NULL");
}
