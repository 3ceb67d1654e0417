#pragma once

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

// Work on the file system done on a thread of its own, which the caller waits for only so
// long: a drive that does not answer in time is not ready, and a directory whose reading stops
// getting on for that long cannot be opened. The thread left waiting in a dead mount is never
// joined.
namespace forms {

// Tests set the wait, and a hook that runs on the worker thread with the path just before the
// file system is asked.
using FileSystemHook = std::function<void(const QByteArray& path)>;
void SetFileSystemHook(FileSystemHook hook);
void SetFileSystemWait(int milliseconds);  // 0: the usual wait

namespace jobs {

using Clock = std::chrono::steady_clock;

// How long the caller waits for a worker that makes no progress.
std::chrono::milliseconds FileSystemWait();
// The hook tests set; empty otherwise.
FileSystemHook Hook();

// Work on a thread of its own, shared with the thread that waits for it. The worker owns its
// share, so that it may outlive the wait: a thread stuck in a dead mount is left to itself and
// never joined, and does not hold up the end of the program.
template <typename Result>
struct Job {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::atomic<unsigned> progress{0};  // bumped by the worker as it gets on
    Result result;
};

template <typename Result, typename Work>
std::shared_ptr<Job<Result>> startJob(Work work) {
    auto job = std::make_shared<Job<Result>>();
    auto run = [job, work = std::move(work)] {
        Result result = work(job->progress);
        const std::lock_guard<std::mutex> lock(job->mutex);
        job->result = std::move(result);
        job->done = true;
        job->finished.notify_all();
    };
    try {
        std::thread(run).detach();
    } catch (const std::system_error&) {
        run();  // no thread to be had: the work is done here
    }
    return job;
}

// Waits for a job until it is done, or until it has made no progress for the file system's
// wait past `giveUpAt`. True when it is done.
template <typename Result>
bool await(Job<Result>& job, Clock::time_point giveUpAt) {
    unsigned seen = job.progress.load();
    std::unique_lock<std::mutex> lock(job.mutex);
    while (!job.done) {
        if (job.finished.wait_until(lock, giveUpAt) != std::cv_status::timeout) continue;
        const unsigned now = job.progress.load();
        if (job.done || now == seen) break;
        seen = now;
        giveUpAt = Clock::now() + FileSystemWait();
    }
    return job.done;
}

}  // namespace jobs
}  // namespace forms
