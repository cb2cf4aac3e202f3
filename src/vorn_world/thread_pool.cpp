// ThreadPool: workers that each take fixed chunks of a range, woken by a generation counter.
// Which thread runs a chunk never changes a result: the World's loops write each index's
// outputs from that index's inputs only.
#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "vorn_world.hpp"

namespace vorn_world {

ParallelFor serialFor() {
    return [](std::size_t count, const RangeBody& body) { body(0, count); };
}

struct ThreadPool::Shared {
    unsigned threads = 1;
    std::size_t chunk = 0;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    std::vector<std::thread> workers;
    // The current job, valid for one generation.
    const RangeBody* body = nullptr;
    std::size_t count = 0;
    std::size_t chunk_size = 0;
    std::size_t next_chunk = 0;  // the next chunk to hand out
    std::size_t chunks = 0;
    std::size_t finished = 0;
    unsigned long long generation = 0;
    bool stopping = false;
    std::exception_ptr error;

    // Takes chunks of the current job until none is left; called with the lock held.
    void work(std::unique_lock<std::mutex>& lock) {
        while (next_chunk < chunks) {
            const std::size_t c = next_chunk++;
            const std::size_t begin = c * chunk_size;
            const std::size_t end = begin + std::min(chunk_size, count - begin);
            lock.unlock();
            std::exception_ptr caught;
            try {
                (*body)(begin, end);
            } catch (...) {
                caught = std::current_exception();
            }
            lock.lock();
            if (caught && !error) error = caught;
            if (++finished == chunks) done.notify_all();
        }
    }

    // Tells every worker to stop and waits for them.
    void stopWorkers() {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        for (std::thread& worker : workers) worker.join();
    }

    void workerLoop() {
        std::unique_lock<std::mutex> lock(mutex);
        unsigned long long seen = generation;
        while (true) {
            wake.wait(lock, [&] { return stopping || generation != seen; });
            if (stopping) return;
            seen = generation;
            work(lock);
        }
    }
};

ThreadPool::ThreadPool(unsigned threads, std::size_t chunk) : shared_(std::make_unique<Shared>()) {
    if (threads == 0) throw std::invalid_argument("ThreadPool: at least one thread is needed");
    shared_->threads = threads;
    shared_->chunk = chunk;
    shared_->workers.reserve(threads - 1);
    try {
        for (unsigned t = 1; t < threads; ++t)
            shared_->workers.emplace_back([s = shared_.get()] { s->workerLoop(); });
    } catch (...) {
        shared_->stopWorkers();
        throw;
    }
}

ThreadPool::~ThreadPool() { shared_->stopWorkers(); }

void ThreadPool::run(std::size_t count, const RangeBody& body) {
    Shared& s = *shared_;
    if (count == 0) return;
    if (s.workers.empty()) {
        body(0, count);
        return;
    }
    std::unique_lock<std::mutex> lock(s.mutex);
    s.body = &body;
    s.count = count;
    s.chunk_size = s.chunk != 0 ? s.chunk : (count + s.threads - 1) / s.threads;
    s.chunks = count / s.chunk_size + (count % s.chunk_size != 0 ? 1 : 0);  // no overflow near 2^64
    s.next_chunk = 0;
    s.finished = 0;
    s.error = nullptr;
    ++s.generation;
    s.wake.notify_all();
    s.work(lock);
    s.done.wait(lock, [&] { return s.finished == s.chunks; });
    s.body = nullptr;
    if (s.error) std::rethrow_exception(s.error);
}

ParallelFor ThreadPool::parallelFor() {
    return [this](std::size_t count, const RangeBody& body) { run(count, body); };
}

unsigned ThreadPool::threads() const { return shared_->threads; }

}  // namespace vorn_world
