#include "update/CurlFetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace quillon {

namespace {

// Headers of every answer together, redirects included; a real one needs a few hundred bytes.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
// How long the transfer waits for the network at most before it looks at `stop` again.
constexpr int kPollMilliseconds = 100;

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    return first == std::string_view::npos ? std::string_view()
                                           : text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(a) == std::tolower(b);
           });
}

std::string TooLargeText(std::size_t maxBytes) {
    return maxBytes % 1024 == 0 ? "the answer is larger than " + std::to_string(maxBytes / 1024) + " KiB"
                                : "the answer is larger than " + std::to_string(maxBytes) + " bytes";
}

std::string DurationText(std::chrono::milliseconds duration) {
    const auto ms = duration.count();
    if (ms % 1000 != 0) {
        return std::to_string(ms) + " ms";
    }
    return ms == 1000 ? std::string("1 second") : std::to_string(ms / 1000) + " seconds";
}

// What one transfer has seen so far; the callbacks fill it.
struct Transfer {
    const FetchLimits& limits;
    const std::atomic<bool>& stop;
    std::string body{};
    std::string problem{}; // why a callback ended the transfer
    std::size_t headerBytes = 0;
    std::string statusLine{};           // of the latest answer
    std::string location{};             // of the latest answer
    std::vector<std::string> lengths{}; // Content-Length values of the latest answer
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::string_view line(data, size * count);
    transfer.headerBytes += line.size();
    if (transfer.headerBytes > kMaxHeaderBytes) {
        transfer.problem = "the server's answer began with more header lines than an answer needs";
        return 0;
    }
    if (line.starts_with("HTTP/")) { // a new answer: after a redirect, or after "100 Continue"
        transfer.statusLine = Trim(line);
        transfer.location.clear();
        transfer.lengths.clear();
    } else if (StartsWithNoCase(line, "content-length:")) {
        transfer.lengths.emplace_back(Trim(line.substr(15)));
    } else if (StartsWithNoCase(line, "location:")) {
        transfer.location = Trim(line.substr(9));
    } else if (Trim(line).empty()) { // the end of the answer's headers
        transfer.problem = ContentLengthProblem(transfer.lengths, transfer.limits.maxBytes);
        return transfer.problem.empty() ? line.size() : 0;
    }
    return line.size();
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (bytes > transfer.limits.maxBytes - transfer.body.size()) {
        transfer.problem = TooLargeText(transfer.limits.maxBytes);
        return 0;
    }
    transfer.body.append(data, bytes);
    return bytes;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->stop.load() ? 1 : 0;
}

std::string StatusText(std::string_view statusLine, long status) {
    // "HTTP/1.1 404 Not Found": the words after the code
    const auto code = statusLine.find(' ');
    const auto phrase = code == std::string_view::npos ? code : statusLine.find(' ', code + 1);
    std::string text = "the server answered with status " + std::to_string(status);
    if (phrase != std::string_view::npos && !Trim(statusLine.substr(phrase)).empty()) {
        text.append(" (").append(Trim(statusLine.substr(phrase))).append(")");
    }
    return text;
}

std::string ErrorText(CURLcode code, const Transfer& transfer, const char* details, long status) {
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return "no complete answer within " + DurationText(transfer.limits.timeLimit);
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return "the server's name could not be found";
    case CURLE_COULDNT_CONNECT:
        return "no connection to the server could be made";
    case CURLE_HTTP_RETURNED_ERROR:
        return StatusText(transfer.statusLine, status);
    case CURLE_TOO_MANY_REDIRECTS:
        return "the server redirected more than " + std::to_string(transfer.limits.maxRedirects) + " times";
    case CURLE_UNSUPPORTED_PROTOCOL:
        if (!transfer.location.empty()) {
            return "the server redirected to " + transfer.location + ", which is not a web address";
        }
        return "the server's answer was not understood";
    case CURLE_WEIRD_SERVER_REPLY:
        return "the server's answer was not understood";
    case CURLE_PARTIAL_FILE:
        return "the answer arrived incomplete";
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return "the connection broke before the whole answer arrived";
    case CURLE_FILESIZE_EXCEEDED:
        return TooLargeText(transfer.limits.maxBytes);
    default:
        return std::string("network error (") + (*details != '\0' ? details : curl_easy_strerror(code)) + ")";
    }
}

} // namespace

CurlLibrary::CurlLibrary() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlLibrary::~CurlLibrary() {
    curl_global_cleanup();
}

std::string ContentLengthProblem(const std::vector<std::string>& values, std::size_t maxBytes) {
    std::optional<std::uint64_t> length;
    for (const std::string& value : values) {
        // Repeated headers may also come joined by commas.
        for (std::size_t start = 0, comma = 0; comma != std::string::npos; start = comma + 1) {
            comma = value.find(',', start);
            const std::string_view part = Trim(std::string_view(value).substr(start, comma - start));
            std::uint64_t number = 0;
            const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), number);
            if (error == std::errc::result_out_of_range && end == part.data() + part.size()) {
                return TooLargeText(maxBytes);
            }
            if (part.empty() || error != std::errc() || end != part.data() + part.size()) {
                return "the server gave a length for the answer that is not a number";
            }
            if (length && *length != number) {
                return "the server gave conflicting lengths for the answer";
            }
            length = number;
        }
    }
    return length && *length > maxBytes ? TooLargeText(maxBytes) : std::string();
}

FetchResult CurlFetcher::Get(const std::string& address, const FetchLimits& limits, const std::atomic<bool>& stop) {
    FetchResult result;
    if (!StartsWithNoCase(address, "http://") && !StartsWithNoCase(address, "https://")) {
        result.error = "the address " + address + " is not a web address";
        return result;
    }
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
    const std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(), curl_multi_cleanup);
    const std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(
        curl_slist_append(nullptr, "Cache-Control: no-cache"), curl_slist_free_all);
    if (!easy || !multi || !headers) {
        result.error = "the network library could not be started";
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

    // The multi interface rather than curl_easy_perform: its wait is bounded, so the progress
    // callback sees `stop` within kPollMilliseconds even while the server sends nothing.
    curl_multi_add_handle(multi.get(), handle);
    int running = 1;
    CURLMcode loop = CURLM_OK;
    while (running != 0 && loop == CURLM_OK) {
        loop = curl_multi_perform(multi.get(), &running);
        if (running != 0 && loop == CURLM_OK) {
            loop = curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
        }
    }
    CURLcode code = loop == CURLM_OK ? CURLE_OK : CURLE_FAILED_INIT;
    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
        if (message->msg == CURLMSG_DONE) {
            code = message->data.result;
        }
    }
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    curl_multi_remove_handle(multi.get(), handle);

    if (code == CURLE_ABORTED_BY_CALLBACK) {
        result.cancelled = true;
    } else if (!transfer.problem.empty()) {
        result.error = transfer.problem;
    } else if (code != CURLE_OK) {
        result.error = ErrorText(code, transfer, details, status);
    } else if (status < 200 || status > 299) {
        result.error = StatusText(transfer.statusLine, status);
    } else {
        result.body = std::move(transfer.body);
    }
    return result;
}

} // namespace quillon
