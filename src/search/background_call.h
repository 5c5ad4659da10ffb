// A call to the system that may never return (a network folder that does not answer), made on a
// thread of its own so that the caller can stop waiting for it. The thread is detached and owns
// everything it uses: the call (which must hold its arguments by value) and the state it writes
// its result to, which the caller shares. A caller that gives up simply lets go; a call that
// returns later finds no one waiting and ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace tarn::search {

template <class T>
class TBackgroundCall {
 public:
  // Starts the call. Raises std::system_error when the system gives no thread.
  explicit TBackgroundCall(std::function<T()> call) : state_(std::make_shared<State>()) {
    std::thread([state = state_, call = std::move(call)] {
      // A call that fails gives no result, as one that never returns.
      try {
        state->Set(call());
      } catch (...) {
      }
    }).detach();
  }

  // Waits up to patience for the result; true when it is there.
  bool Wait(std::chrono::milliseconds patience) const {
    std::unique_lock lock(state_->Mutex);
    return state_->Done.wait_for(lock, patience, [this] { return state_->Result.has_value(); });
  }
  bool Ready() const { return Wait(std::chrono::milliseconds{0}); }
  // The result, once Ready.
  T Take() {
    const std::lock_guard lock(state_->Mutex);
    return std::move(*state_->Result);
  }

 private:
  struct State {
    std::mutex Mutex;
    std::condition_variable Done;
    std::optional<T> Result;
    void Set(T result) {
      {
        const std::lock_guard lock(Mutex);
        Result.emplace(std::move(result));
      }
      Done.notify_all();
    }
  };
  std::shared_ptr<State> state_;
};

// The call on another thread, waited for up to patience; made here when the system gives no
// thread. answer holds the result when it came in time; else the call still running is returned.
template <class T>
std::optional<TBackgroundCall<T>> CallWithPatience(std::function<T()> call, std::chrono::milliseconds patience,
                                                   std::optional<T>& answer) {
  try {
    TBackgroundCall<T> background(call);
    if (!background.Wait(patience)) return background;
    answer = background.Take();
  } catch (const std::system_error&) {
    answer = call();
  }
  return std::nullopt;
}

}  // namespace tarn::search
