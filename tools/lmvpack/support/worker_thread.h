// Threads for the authoring tool: one function run on a thread of its own, and the number of
// cores. std::thread where the runtime has it; the Windows build's runtime (mingw-w64 in its
// win32 threading model) has none, so there the system's own threads do the same job behind the
// same interface.
#pragma once

#include <exception>
#include <functional>
#include <memory>

// Starts `work` on a new thread at once. An exception that escapes `work` is kept and thrown
// again by Join(). The destructor waits for the thread; it never leaves it running.
class WorkerThread {
  public:
    // Throws std::runtime_error when the system will not start another thread.
    explicit WorkerThread(std::function<void()> work);
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Waits at most `milliseconds` for `work` to return; true once it has.
    bool WaitFor(int milliseconds);
    // Waits for `work` to return, then throws what escaped it, if anything.
    void Join();

    struct State; // each system's own, defined beside its code

  private:
    std::unique_ptr<State> state_;
};

// The processors this process may run on; at least 1.
unsigned CoreCount();
