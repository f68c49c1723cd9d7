// A time bound for the blocking calls into the smart-card service. pcsc-lite's client waits
// without limit for the service's answer (and retries a transaction forever while another
// application holds the card), so a call that outlives its bound is cut off by shutting down
// the connections this session opened to the service: the waiting call then fails at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>

namespace ddd {

class ServiceCallBound {
public:
    explicit ServiceCallBound(std::chrono::milliseconds limit);
    ~ServiceCallBound();
    ServiceCallBound(const ServiceCallBound&) = delete;
    ServiceCallBound& operator=(const ServiceCallBound&) = delete;

    // Runs one call under the bound. Once a call has been cut off, every later call of the
    // session fails quickly, because its connection is gone.
    template <typename Call>
    auto run(Call&& call) {
        arm();
        auto result = std::forward<Call>(call)();
        disarm();
        return result;
    }

    bool expired() const;

private:
    void arm();
    void disarm();
    void watch();
    void cutConnections();

    const std::chrono::milliseconds limit_;
    std::set<std::pair<int, unsigned long>> connectionsBefore_; // descriptor and socket inode
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    bool expired_ = false;
    bool stopping_ = false;
    std::thread watcher_;
};

} // namespace ddd
