#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace quillon {

// What one fetch may take: the whole answer within `timeLimit`, a body of at most `maxBytes`, at
// most `maxRedirects` redirects.
struct FetchLimits {
    std::chrono::milliseconds timeLimit{10'000};
    std::size_t maxBytes = 64 * 1024;
    int maxRedirects = 5;
};

struct FetchResult {
    std::string body;       // the whole body, when `error` is empty
    std::string error;      // why there is no body, in words for the user
    bool cancelled = false; // stopped on request: nobody is waiting for the answer
    bool ok() const { return error.empty() && !cancelled; }
};

// One HTTP GET of a web address, the body held in memory. Setting `stop` ends the fetch soon
// after, as cancelled.
class Fetcher {
public:
    virtual ~Fetcher() = default;
    virtual FetchResult Get(const std::string& address, const FetchLimits& limits, const std::atomic<bool>& stop) = 0;
};

} // namespace quillon
