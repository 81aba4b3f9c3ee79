#include "platform/AsyncLookup.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "platform/SocketNotifier.h"

namespace tarnwick::platform {

namespace {

// Lookups answered at the same time.
constexpr size_t kMaxWorkers = 4;
// Threads in all, counting those still stuck in a query whose request was cancelled (a
// name server that never answers holds its thread until the resolver gives up).
constexpr size_t kMaxThreads = 32;

struct Job {
    LookupRequest request = 0;
    std::function<void()> run;
};

// What the pool's threads share. The threads are detached and each holds the state, so a
// thread stuck in a query never keeps the process from exiting and never outlives what it
// touches.
struct PoolState {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    // Requests being answered that are still wanted: each holds one of the kMaxWorkers
    // slots. A cancelled one leaves the set and frees its slot at once.
    std::unordered_set<LookupRequest> running;
    size_t threads = 0;
    size_t idle = 0;
    bool stopping = false;
};

void Work(const std::shared_ptr<PoolState>& pool);

// Under the pool's lock: gets a waiting job going, waking an idle thread or starting one.
void Dispatch(const std::shared_ptr<PoolState>& pool) {
    if (pool->jobs.empty() || pool->running.size() >= kMaxWorkers) return;
    if (pool->idle > 0) {
        pool->wake.notify_one();
        return;
    }
    if (pool->threads >= kMaxThreads) return;
    ++pool->threads;
    std::thread([pool] { Work(pool); }).detach();
}

void Work(const std::shared_ptr<PoolState>& pool) {
    std::unique_lock<std::mutex> lock(pool->mutex);
    for (;;) {
        ++pool->idle;
        pool->wake.wait(lock, [&] {
            return pool->stopping || (!pool->jobs.empty() && pool->running.size() < kMaxWorkers);
        });
        --pool->idle;
        if (pool->stopping) break;
        Job job = std::move(pool->jobs.front());
        pool->jobs.pop_front();
        pool->running.insert(job.request);
        lock.unlock();
        job.run();
        job.run = nullptr;  // the answer's captures go before the lock is taken again
        lock.lock();
        pool->running.erase(job.request);
        // Threads beyond the usual number were started past stuck ones: they end here,
        // handing what waits to another.
        if (pool->threads > kMaxWorkers) {
            --pool->threads;
            Dispatch(pool);
            return;
        }
    }
    --pool->threads;
}

// The process-wide pool: at program end the threads are told to stop, and none is
// waited for.
class LookupWorkers {
  public:
    ~LookupWorkers() {
        std::lock_guard<std::mutex> lock(pool_->mutex);
        pool_->stopping = true;
        pool_->jobs.clear();
        pool_->wake.notify_all();
    }

    void Submit(LookupRequest request, std::function<void()> run) {
        std::lock_guard<std::mutex> lock(pool_->mutex);
        if (pool_->stopping) return;
        pool_->jobs.push_back(Job{request, std::move(run)});
        Dispatch(pool_);
    }

    // A waiting request is dropped; a running one gives its slot up to the next.
    void Cancel(LookupRequest request) {
        std::lock_guard<std::mutex> lock(pool_->mutex);
        auto& jobs = pool_->jobs;
        jobs.erase(std::remove_if(jobs.begin(), jobs.end(),
                                  [request](const Job& j) { return j.request == request; }),
                   jobs.end());
        if (pool_->running.erase(request) != 0) Dispatch(pool_);
    }

  private:
    std::shared_ptr<PoolState> pool_ = std::make_shared<PoolState>();
};

LookupWorkers& Workers() {
    static LookupWorkers workers;
    return workers;
}

LookupRequest Start(TargetId target, uint32_t msg, std::function<NameAnswer(NameService&)> query) {
    EventLoop& loop = EventLoop::Current();
    const LookupRequest request = loop.NewTicket();
    CrossThreadPoster poster = loop.Poster();
    // The service is taken here, on the calling thread: the worker touches no process-wide
    // state of the name service, which may be gone when a late query ends at program exit.
    std::shared_ptr<NameService> service = CurrentNameService();
    Workers().Submit(request, [poster, target, msg, request, service, query = std::move(query)] {
        auto answer = std::make_shared<NameAnswer>(query(*service));
        Message m;
        m.target = target;
        m.msg = msg;
        m.wParam = static_cast<uintptr_t>(request);
        m.lParam = MakeSelectReply(0, static_cast<uint16_t>(answer->error));
        m.payload = std::move(answer);
        m.ticket = request;
        poster.Post(std::move(m));
    });
    return request;
}

}  // namespace

LookupRequest StartHostLookup(TargetId target, uint32_t msg, const std::string& name) {
    return Start(target, msg, [name](NameService& s) { return s.ByName(name); });
}

LookupRequest StartAddrLookup(TargetId target, uint32_t msg, uint32_t addressNetworkOrder) {
    return Start(target, msg, [addressNetworkOrder](NameService& s) {
        return s.ByAddress(addressNetworkOrder);
    });
}

bool CancelLookup(LookupRequest request) {
    if (request == 0) return false;
    const bool pending = EventLoop::Current().RevokeTicket(request);
    if (pending) Workers().Cancel(request);
    return pending;
}

}  // namespace tarnwick::platform
