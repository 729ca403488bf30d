#include "platform/WorkerThread.h"

#include <cstdio>
#include <exception>
#include <system_error>

namespace tarvell {

WorkerThread::~WorkerThread() { StopAndJoin(); }

bool WorkerThread::Start() {
    std::lock_guard<std::mutex> lock(threadMutex_);
    if (started_) return false;
    running_ = true;
    try {
        thread_ = std::thread(&WorkerThread::Main, this);
    } catch (const std::system_error&) {
        running_ = false;
        return false;
    }
    started_ = true;
    return true;
}

void WorkerThread::Main() {
    // An exception must not end the whole process: the thread ends and says why.
    try {
        Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "worker thread ended by an exception: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "worker thread ended by an unknown exception\n");
    }
    finished_ = true;
    running_ = false;
}

void WorkerThread::RequestStop() { stop_.Set(); }

void WorkerThread::Join() {
    std::lock_guard<std::mutex> lock(threadMutex_);
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
    thread_.join();
}

void WorkerThread::StopAndJoin() {
    RequestStop();
    Join();
}

}  // namespace tarvell
