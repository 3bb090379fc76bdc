#pragma once

#include "update/UpdateCheck.h"

#include <optional>
#include <string>
#include <vector>

namespace quillon {

// libcurl's global set-up and clean-up: one object at the start of main, before any other thread.
struct CurlLibrary {
    CurlLibrary();
    ~CurlLibrary();
    CurlLibrary(const CurlLibrary&) = delete;
    CurlLibrary& operator=(const CurlLibrary&) = delete;
};

// Fetches over http and https with libcurl: proxies from the environment as curl takes them,
// "Cache-Control: no-cache" sent, redirects followed to http and https addresses only, any status
// outside 2xx a failure, a chunked answer taken only when its last chunk came. A body or headers
// beyond the limits end the transfer at once, and so does `stop`, seen within 0.1 s.
class CurlFetcher final : public Fetcher {
public:
    FetchResult Get(const std::string& address, const FetchLimits& limits, const std::atomic<bool>& stop) override;
};

// Why an answer's Content-Length values (in order) cannot be taken; none when they can: none at
// all, or one length of at most `maxBytes`, given once or repeated.
std::optional<Problem> ContentLengthProblem(const std::vector<std::string>& values, std::size_t maxBytes);

} // namespace quillon
