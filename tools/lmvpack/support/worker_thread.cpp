#include "tools/lmvpack/support/worker_thread.h"

#include <stdexcept>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sched.h>
#include <thread>
#endif

#ifdef _WIN32

struct WorkerThread::State {
    std::function<void()> work;
    std::exception_ptr failure;
    HANDLE handle = nullptr;
    bool joined = false;
};

namespace {

DWORD WINAPI RunWork(LPVOID parameter) {
    auto& state = *static_cast<WorkerThread::State*>(parameter);
    try {
        state.work();
    } catch (...) {
        state.failure = std::current_exception();
    }
    return 0;
}

} // namespace

WorkerThread::WorkerThread(std::function<void()> work) : state_(std::make_unique<State>()) {
    state_->work = std::move(work);
    state_->handle = CreateThread(nullptr, 0, RunWork, state_.get(), 0, nullptr);
    if (state_->handle == nullptr) throw std::runtime_error("cannot start a thread");
}

WorkerThread::~WorkerThread() {
    if (!state_->joined) WaitForSingleObject(state_->handle, INFINITE);
    CloseHandle(state_->handle);
}

bool WorkerThread::WaitFor(int milliseconds) {
    if (state_->joined) return true;
    return WaitForSingleObject(state_->handle, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
}

void WorkerThread::Join() {
    if (!state_->joined) WaitForSingleObject(state_->handle, INFINITE);
    state_->joined = true;
    if (std::exception_ptr failure = std::exchange(state_->failure, nullptr))
        std::rethrow_exception(failure);
}

unsigned CoreCount() {
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        unsigned count = 0;
        for (; process != 0; process &= process - 1)
            ++count;
        return count;
    }
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

#else

struct WorkerThread::State {
    std::function<void()> work;
    std::exception_ptr failure;
    std::mutex lock;
    std::condition_variable finished_signal;
    bool finished = false;
    std::thread thread;
};

WorkerThread::WorkerThread(std::function<void()> work) : state_(std::make_unique<State>()) {
    state_->work = std::move(work);
    State* const state = state_.get();
    try {
        state_->thread = std::thread([state] {
            try {
                state->work();
            } catch (...) {
                state->failure = std::current_exception();
            }
            const std::lock_guard<std::mutex> hold(state->lock);
            state->finished = true;
            state->finished_signal.notify_all();
        });
    } catch (const std::system_error&) {
        throw std::runtime_error("cannot start a thread");
    }
}

WorkerThread::~WorkerThread() {
    if (state_->thread.joinable()) state_->thread.join();
}

bool WorkerThread::WaitFor(int milliseconds) {
    std::unique_lock<std::mutex> hold(state_->lock);
    return state_->finished_signal.wait_for(hold, std::chrono::milliseconds(milliseconds),
                                            [this] { return state_->finished; });
}

void WorkerThread::Join() {
    if (state_->thread.joinable()) state_->thread.join();
    if (std::exception_ptr failure = std::exchange(state_->failure, nullptr))
        std::rethrow_exception(failure);
}

unsigned CoreCount() {
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        const int count = CPU_COUNT(&allowed);
        if (count > 0) return static_cast<unsigned>(count);
    }
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? count : 1;
}

#endif
