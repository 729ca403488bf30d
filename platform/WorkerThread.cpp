#include "platform/WorkerThread.h"

#include <pthread.h>

#include <cstdio>
#include <exception>
#include <system_error>

#include "platform/EventLog.h"

namespace tarvell {

namespace {

void NameCurrentThread(const std::string& name) {
    if (name.empty()) return;
    // The system keeps 15 bytes and the terminator.
    const std::string shown = name.substr(0, 15);
    ::pthread_setname_np(::pthread_self(), shown.c_str());
}

}  // namespace

std::thread StartNamedThread(const std::string& name, std::function<void()> body) {
    return std::thread([name, body = std::move(body)] {
        NameCurrentThread(name);
        body();
    });
}

WorkerThread::~WorkerThread() { StopAndJoin(); }

bool WorkerThread::Start(std::string name) {
    std::lock_guard<std::mutex> lock(threadMutex_);
    if (started_) return false;
    name_ = std::move(name);
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
    NameCurrentThread(name_);
    const std::string who = name_.empty() ? std::string("worker thread") : "worker thread " + name_;
    // An exception must not end the whole process: the thread ends and says why.
    try {
        Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s ended by an exception: %s\n", who.c_str(),
                     PrintableLogText(e.what()).c_str());
    } catch (...) {
        std::fprintf(stderr, "%s ended by an unknown exception\n", who.c_str());
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
