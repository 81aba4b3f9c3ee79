#include "platform/AsyncLookup.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/SocketNotifier.h"

namespace tarnwick::platform {

namespace {

constexpr size_t kMaxWorkers = 4;

// Process-wide pool of lookup threads, started on demand and joined at program end.
class LookupWorkers {
  public:
    ~LookupWorkers() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (auto& t : threads_) t.join();
    }

    void Submit(std::function<void()> job) {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
        if (idle_ == 0 && threads_.size() < kMaxWorkers) {
            threads_.emplace_back([this] { Work(); });
        } else {
            wake_.notify_one();
        }
    }

  private:
    void Work() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ++idle_;
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            --idle_;
            if (jobs_.empty()) return;  // stopping and nothing left
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    size_t idle_ = 0;
    bool stopping_ = false;
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
    Workers().Submit([poster, target, msg, request, service, query = std::move(query)] {
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
    return EventLoop::Current().RevokeTicket(request);
}

}  // namespace tarnwick::platform
