#include "SnapshotWatch.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "ClientSession.h"

namespace qordb {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int64_t> g_idleMicroseconds{5000};

struct Watch {
  std::mutex mutex;
  std::condition_variable wake;
  std::vector<ClientSession*> sessions;  // holding a snapshot, or were when last looked at
  bool running = false;                  // the thread has been started
};

void Prepare();
void Parent();
void Child();

Watch*& Current() {
  static Watch* watch = [] {
    pthread_atfork(Prepare, Parent, Child);
    return new Watch;  // outlives every static destructor, as the thread does
  }();
  return watch;
}

// A fork leaves the watch as the thread left it, its mutex unlocked.
void Prepare() { Current()->mutex.lock(); }
void Parent() { Current()->mutex.unlock(); }
// The child has no thread, and its copies of the parent's sessions are not
// its own to end: it starts with a watch of its own.
void Child() { Current() = new Watch; }

void Run(Watch* w) {
  std::unique_lock<std::mutex> lock(w->mutex);
  for (;;) {
    const Clock::time_point now = Clock::now();
    Clock::time_point next = Clock::time_point::max();
    for (size_t i = 0; i < w->sessions.size();) {
      ClientSession* s = w->sessions[i];
      // A session in a call is looked at again once it could have gone idle.
      std::unique_lock<std::mutex> idle(s->mutex, std::try_to_lock);
      const Clock::time_point due = idle ? s->EndIdleSnapshot(now) : now + SnapshotIdleTime();
      if (due == Clock::time_point::max()) {
        w->sessions[i] = w->sessions.back();
        w->sessions.pop_back();
      } else {
        next = std::min(next, due);
        ++i;
      }
    }
    if (next == Clock::time_point::max())
      w->wake.wait(lock);
    else
      w->wake.wait_until(lock, next);
  }
}

}  // namespace

std::chrono::microseconds SnapshotIdleTime() {
  return std::chrono::microseconds(g_idleMicroseconds.load(std::memory_order_relaxed));
}

void SetSnapshotIdleTime(std::chrono::microseconds idle) {
  g_idleMicroseconds = idle.count();
  // The thread may be waiting for a time the old value gave.
  Watch* w = Current();
  std::lock_guard<std::mutex> lock(w->mutex);
  w->wake.notify_one();
}

void WatchSnapshot(ClientSession* s) {
  Watch* w = Current();
  std::lock_guard<std::mutex> lock(w->mutex);
  if (!w->running) {
    try {
      std::thread(Run, w).detach();
    } catch (const std::system_error&) {
      throw StatusError{kNoMemory};
    }
    w->running = true;
  }
  // With other sessions watched the thread wakes by their time anyway,
  // which is no later than this one's.
  if (w->sessions.empty()) w->wake.notify_one();
  w->sessions.push_back(s);
}

void ForgetSnapshot(ClientSession* s) {
  Watch* w = Current();
  std::lock_guard<std::mutex> lock(w->mutex);
  w->sessions.erase(std::remove(w->sessions.begin(), w->sessions.end(), s), w->sessions.end());
}

}  // namespace qordb
