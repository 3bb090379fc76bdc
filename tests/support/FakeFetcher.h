#pragma once

#include "update/UpdateCheck.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Answers fetches without a network: with `canned`, or through `forward` (a real fetcher on a local
// address, say). `Hold` keeps each fetch waiting until `Release` or until it is told to stop, so a
// test can act while a check is under way. Fetches run on the caller's thread, often not the test's.
class FakeFetcher final : public quillon::Fetcher {
public:
    using Forward =
        std::function<quillon::FetchResult(const std::string&, const quillon::FetchLimits&, const std::atomic<bool>&)>;
    struct Call {
        std::string address;
        quillon::FetchLimits limits;
    };

    quillon::FetchResult Get(const std::string& address, const quillon::FetchLimits& limits,
                             const std::atomic<bool>& stop) override {
        std::unique_lock lock(m_mutex);
        m_calls.push_back(Call{address, limits});
        m_changed.notify_all();
        while (m_held && !stop.load()) {
            m_changed.wait_for(lock, std::chrono::milliseconds(10));
        }
        if (stop.load()) {
            return quillon::FetchResult{{}, {}, true};
        }
        const Forward forward = m_forward;
        const quillon::FetchResult canned = m_canned;
        lock.unlock();
        return forward ? forward(address, limits, stop) : canned;
    }

    void SetCanned(quillon::FetchResult result) {
        const std::lock_guard lock(m_mutex);
        m_canned = std::move(result);
    }
    void SetForward(Forward forward) {
        const std::lock_guard lock(m_mutex);
        m_forward = std::move(forward);
    }
    void Hold() {
        const std::lock_guard lock(m_mutex);
        m_held = true;
    }
    void Release() {
        const std::lock_guard lock(m_mutex);
        m_held = false;
        m_changed.notify_all();
    }
    // Waits until `count` fetches have begun; false after `limit`.
    bool WaitForCalls(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_calls.size() >= count; });
    }
    std::vector<Call> Calls() const {
        const std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Call> m_calls;
    quillon::FetchResult m_canned{"2125", {}, false};
    Forward m_forward;
    bool m_held = false;
};
