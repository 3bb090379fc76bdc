#include "update/CurlFetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>
#include <utility>

namespace quillon {

namespace {

// Headers of every answer together, redirects included; a real one needs a few hundred bytes.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
// The longest wait for the network before the transfer looks at `stop` again.
constexpr int kPollMilliseconds = 100;

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    return first == std::string_view::npos ? std::string_view()
                                           : text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

Problem FetchProblem(ProblemKind kind, std::uintmax_t limit = 0, std::string detail = {}) {
    return Problem{kind, {}, limit, {}, std::move(detail)};
}

// What one transfer has seen; the callbacks fill it.
struct Transfer {
    const FetchLimits& limits;
    const std::atomic<bool>& stop;
    std::string body{};
    std::optional<Problem> problem{}; // why a callback ended the transfer
    std::size_t headerBytes = 0;
    std::string statusLine{}; // of the latest answer (a redirect, or "100 Continue", starts another)
    std::string location{};
    std::vector<std::string> lengths{}; // its Content-Length values
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::string_view line(data, size * count);
    if ((transfer.headerBytes += line.size()) > kMaxHeaderBytes) {
        transfer.problem = FetchProblem(ProblemKind::FetchHeadersTooLarge);
    } else if (line.starts_with("HTTP/")) {
        transfer.statusLine = Trim(line);
        transfer.location.clear();
        transfer.lengths.clear();
    } else if (StartsWithNoCase(line, "content-length:")) {
        transfer.lengths.emplace_back(Trim(line.substr(15)));
    } else if (StartsWithNoCase(line, "location:")) {
        transfer.location = Trim(line.substr(9));
    } else if (Trim(line).empty()) { // the end of the answer's headers
        transfer.problem = ContentLengthProblem(transfer.lengths, transfer.limits.maxBytes);
    }
    return transfer.problem ? 0 : line.size();
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    if (size * count > transfer.limits.maxBytes - transfer.body.size()) {
        transfer.problem = FetchProblem(ProblemKind::FetchTooLarge, transfer.limits.maxBytes);
        return 0;
    }
    transfer.body.append(data, size * count);
    return size * count;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->stop.load() ? 1 : 0;
}

// The status and its words ("Not Found"), from "HTTP/1.1 404 Not Found".
Problem StatusProblem(std::string_view statusLine, long status) {
    const std::string_view words =
        Trim(statusLine.substr(std::min(statusLine.size(), statusLine.find(' ', statusLine.find(' ') + 1))));
    return FetchProblem(ProblemKind::FetchStatus, static_cast<std::uintmax_t>(status), std::string(words));
}

// The failures that need no detail of the transfer.
constexpr std::pair<CURLcode, ProblemKind> kFailureKinds[] = {
    {CURLE_COULDNT_RESOLVE_HOST, ProblemKind::FetchNameNotFound},
    {CURLE_COULDNT_RESOLVE_PROXY, ProblemKind::FetchProxyNameNotFound},
    {CURLE_COULDNT_CONNECT, ProblemKind::FetchNoConnection},
    {CURLE_WEIRD_SERVER_REPLY, ProblemKind::FetchNotUnderstood},
    {CURLE_PARTIAL_FILE, ProblemKind::FetchIncomplete},
    {CURLE_GOT_NOTHING, ProblemKind::FetchConnectionBroke},
    {CURLE_RECV_ERROR, ProblemKind::FetchConnectionBroke},
};

Problem FailureProblem(CURLcode code, const Transfer& transfer, const char* details, long status) {
    for (const auto& [known, kind] : kFailureKinds) {
        if (code == known) {
            return FetchProblem(kind);
        }
    }
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return FetchProblem(ProblemKind::FetchTimedOut, static_cast<std::uintmax_t>(transfer.limits.timeLimit.count()));
    case CURLE_HTTP_RETURNED_ERROR:
        return StatusProblem(transfer.statusLine, status);
    case CURLE_TOO_MANY_REDIRECTS:
        return FetchProblem(ProblemKind::FetchTooManyRedirects,
                            static_cast<std::uintmax_t>(transfer.limits.maxRedirects));
    case CURLE_UNSUPPORTED_PROTOCOL: // a redirect elsewhere than http or https, or an answer of HTTP/0.9
    case CURLE_URL_MALFORMAT:        // the same redirect where curl knows no scheme but http and https
        return transfer.location.empty() ? FetchProblem(ProblemKind::FetchNotUnderstood)
                                         : FetchProblem(ProblemKind::FetchRedirectedAway, 0, transfer.location);
    default:
        return FetchProblem(ProblemKind::FetchFailed, 0, *details != '\0' ? details : curl_easy_strerror(code));
    }
}

} // namespace

CurlLibrary::CurlLibrary() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlLibrary::~CurlLibrary() {
    curl_global_cleanup();
}

std::optional<Problem> ContentLengthProblem(const std::vector<std::string>& values, std::size_t maxBytes) {
    std::optional<std::uint64_t> length;
    for (const std::string& value : values) {
        // Repeated headers may also come joined by commas.
        for (std::size_t start = 0, comma = 0; comma != std::string::npos; start = comma + 1) {
            comma = value.find(',', start);
            const std::string_view part = Trim(std::string_view(value).substr(start, comma - start));
            std::uint64_t number = 0;
            const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), number);
            if (part.empty() || end != part.data() + part.size() ||
                (error != std::errc() && error != std::errc::result_out_of_range)) {
                return FetchProblem(ProblemKind::FetchLengthNotANumber);
            }
            if (error == std::errc::result_out_of_range || number > maxBytes) {
                return FetchProblem(ProblemKind::FetchTooLarge, maxBytes);
            }
            if (length && *length != number) {
                return FetchProblem(ProblemKind::FetchConflictingLengths);
            }
            length = number;
        }
    }
    return std::nullopt;
}

FetchResult CurlFetcher::Get(const std::string& address, const FetchLimits& limits, const std::atomic<bool>& stop) {
    FetchResult result;
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
    const std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(), curl_multi_cleanup);
    const std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(
        curl_slist_append(nullptr, "Cache-Control: no-cache"), curl_slist_free_all);
    if (!StartsWithNoCase(address, "http://") && !StartsWithNoCase(address, "https://")) {
        result.problem = FetchProblem(ProblemKind::FetchNotWebAddress, 0, address);
        return result;
    }
    if (!easy || !multi || !headers) {
        result.problem = FetchProblem(ProblemKind::FetchNotStarted);
        return result;
    }
    Transfer transfer{limits, stop};
    char details[CURL_ERROR_SIZE] = "";
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, address.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, static_cast<long>(limits.maxRedirects));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.timeLimit.count()));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, details);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);

    // The multi interface, whose wait is bounded, so that the progress callback sees `stop` soon
    // also while the server sends nothing.
    curl_multi_add_handle(multi.get(), handle);
    int running = 1;
    CURLMcode loop = CURLM_OK;
    while (running != 0 && loop == CURLM_OK) {
        loop = curl_multi_perform(multi.get(), &running);
        if (running != 0 && loop == CURLM_OK) {
            loop = curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
        }
    }
    int queued = 0;
    const CURLMsg* done = curl_multi_info_read(multi.get(), &queued);
    const CURLcode code = loop == CURLM_OK && done != nullptr ? done->data.result : CURLE_FAILED_INIT;
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    curl_multi_remove_handle(multi.get(), handle);

    result.cancelled = code == CURLE_ABORTED_BY_CALLBACK;
    if (!result.cancelled) {
        result.problem = transfer.problem    ? transfer.problem
                         : code != CURLE_OK  ? FailureProblem(code, transfer, details, status)
                         : status / 100 != 2 ? StatusProblem(transfer.statusLine, status)
                                             : std::optional<Problem>();
    }
    result.body = result.ok() ? std::move(transfer.body) : std::string();
    return result;
}

} // namespace quillon
