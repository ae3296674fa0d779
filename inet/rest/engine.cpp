#include "inet/rest/engine.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

#include "support/url_parse.h"
#include "support/platform.h"

namespace inet {
namespace rest {

std::atomic<size_t> g_memory_sink_limit{std::numeric_limits<size_t>::max()};
std::atomic<size_t> g_file_sink_limit{std::numeric_limits<size_t>::max()};

size_t memory_write(const void* data, size_t size, size_t count, void* target) {
    size_t n = size * count;
    if (n == 0) return 0;
    auto* response = static_cast<_response*>(target);
    try {
        size_t end = static_cast<size_t>(response->body_size) + n;
        // body_size is 32 bits wide: a body that would not fit is a failure,
        // not a silent wrap.
        if (end > std::numeric_limits<uint32_t>::max() || end > g_memory_sink_limit.load())
            throw std::bad_alloc();
        if (response->body.size() <= end) response->body.resize(end);
        std::memcpy(response->body.data() + response->body_size, data, n);
        response->body_size = static_cast<uint32_t>(end);
        return n;
    } catch (...) {
        return 0;
    }
}

size_t file_write(const void* data, size_t size, size_t count, void* target) {
    size_t n = size * count;
    auto* stream = static_cast<std::ofstream*>(target);
    try {
        if (!stream->is_open() || !stream->good()) return 0;
        if (g_file_sink_limit.load() != std::numeric_limits<size_t>::max() &&
            static_cast<size_t>(stream->tellp()) + n > g_file_sink_limit.load())
            return 0;
        stream->write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
        return stream->good() ? n : 0;
    } catch (...) {
        return 0;
    }
}

url_parts split_url(const std::wstring& url) {
    url_parts parts;
    parts.url = url;
    parts.valid = ParseUrl(url, parts.service, parts.host, parts.object, parts.port);
    return parts;
}

namespace {

std::string TrimSpace(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

std::string WideToThreadAnsi(const std::wstring& text) {
    std::string out;
    if (text.empty() || !WideToMultiByte(CP_THREAD_ACP, text.data(), static_cast<int>(text.size()), out))
        return std::string();
    return out;
}

int32_t Truncate32(double value) {
    if (!(value > 0)) return 0;
    // Toward zero into 32 bits; counts beyond 2^31 wrap as the listener's
    // 32-bit arguments always have.
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

void Report(progress_listener* listener, double total, double now) {
    if (listener) listener->on_progress(Truncate32(total), Truncate32(now), 0, 0);
}

}  // namespace

void parse_header_line(const std::string& line, std::map<std::string, std::string>& headers) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) {
        std::string name = TrimSpace(line);
        if (!name.empty()) headers[name] = "present";
        return;
    }
    headers[TrimSpace(line.substr(0, colon))] = TrimSpace(line.substr(colon + 1));
}

double speed_of(uint32_t bytes, DWORD start) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed < 1) elapsed = 1;
    return std::trunc(static_cast<double>(bytes) / (static_cast<double>(elapsed) / 1000.0));
}

void perform(write_function write, void* target, const url_parts& url, const _request& request,
             const std::shared_ptr<CHttpFile>& file, const std::shared_ptr<_response>& response) {
    // Results of the option and header steps are ignored: WinInet keeps its
    // own value where it refuses one.
    if (url.service == kServiceHttps && !request.verify_certificate) {
        file->SetOption(INTERNET_OPTION_SECURITY_FLAGS,
                        SECURITY_FLAG_IGNORE_REVOCATION | SECURITY_FLAG_IGNORE_UNKNOWN_CA |
                            SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                            SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS | SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP);
    }
    DWORD connections = request.max_connections ? request.max_connections : 10;
    file->SetOption(INTERNET_OPTION_MAX_CONNS_PER_SERVER, connections);
    file->SetOption(INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, connections);
    for (const std::wstring& line : request.headers)
        file->AddRequestHeaders(line, HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    for (const std::wstring& line : request.extra_headers)
        file->AddRequestHeaders(line, HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    if (!request.accept.empty())
        file->AddRequestHeaders(L"Accept: " + request.accept,
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    if (!request.referer.empty())
        file->AddRequestHeaders(L"Referer: " + request.referer,
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    if (!request.keep_alive) file->AddRequestHeaders(L"Connection: close", HTTP_ADDREQ_FLAG_ADD_IF_NEW);

    Report(request.progress, 0, 0);
    file->SendRequest();

    DWORD status = 0;
    if (!file->QueryInfoStatusCode(status)) return;
    response->status = static_cast<int32_t>(status);

    std::wstring raw;
    if (file->QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, raw)) {
        std::string text = WideToThreadAnsi(raw);
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find_first_of("\r\n", pos);
            if (end == std::string::npos) end = text.size();
            if (end > pos) parse_header_line(text.substr(pos, end - pos), response->headers);
            pos = text.find_first_not_of("\r\n", end);
            if (pos == std::string::npos) break;
        }
    }

    DWORD length = 0;
    response->content_length =
        file->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, length) ? static_cast<double>(length) : -1;
    std::wstring encoding;
    if (file->QueryInfo(HTTP_QUERY_TRANSFER_ENCODING, encoding) &&
        encoding.find(L"chunked") != std::wstring::npos)
        response->chunked = true;
    if (response->status == 200 && response->content_length < 0) response->chunked = true;

    DWORD start = GetTickCount();
    uint32_t received = 0;
    if (response->content_length > 0 || response->chunked) {
        std::vector<unsigned char> buffer(kReadChunk);
        double total = response->content_length > 0 ? response->content_length : 0;
        for (;;) {
            UINT n = file->Read(buffer.data(), kReadChunk);
            if (n == 0) break;
            if (write(buffer.data(), 1, n, target) < n) {
                response->size_download = received;
                throw std::runtime_error(write == &file_write
                                             ? "the response body could not be written to the target file"
                                             : "out of memory: the response body could not be stored");
            }
            received += n;
            response->size_download = received;
            response->speed_download = speed_of(received, start);
            if (request.max_recv_speed != 0) {
                while (response->speed_download > request.max_recv_speed) {
                    Sleep(50);
                    response->speed_download = speed_of(received, start);
                }
            }
            Report(request.progress, total, received);
        }
    }
    response->size_download = received;
    if (received > 0) response->speed_download = speed_of(received, start);
    // A connection that ends before the announced length is a broken
    // transfer, not a short success: WinInet reports such an end (and, on
    // some builds, a reset) as the body's end.
    if (response->content_length > 0 && received < response->content_length) {
        char text[128];
        snprintf(text, sizeof(text), "the response body ended after %lu of %.0f bytes",
                 static_cast<unsigned long>(received), response->content_length);
        throw std::runtime_error(text);
    }
}

}  // namespace rest
}  // namespace inet
