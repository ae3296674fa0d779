#include "inet/rest/rest.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>

#include "inet/my_internet_session.h"
#include "inet/rest/engine.h"
#include "inet/rest/redirect.h"
#include "support/platform.h"
#include "support/publisher_trust.h"
#include "support/url_parse.h"

namespace inet {
namespace rest {

namespace {

const char kSplitError[] = "url is empty or does not contain a known Internet service type.";

// Wide text to the ANSI code page, cut to 255 bytes without splitting a
// double-byte character.
std::string ToAnsiError(const std::wstring& text) {
    std::wstring limited = text.substr(0, 256);
    std::string out;
    if (limited.empty() || !WideToMultiByte(CP_ACP, limited.data(), static_cast<int>(limited.size()), out))
        return std::string();
    if (out.size() > 255) {
        size_t keep = 0;
        for (size_t i = 0; i < out.size();) {
            size_t step = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(out[i])) ? 2 : 1;
            if (i + step > 255) break;
            i += step;
            keep = i;
        }
        out.resize(keep);
    }
    return out;
}

using Sink = std::pair<write_function, void*>;

// While the request layer follows redirects itself, the bodies of the
// redirect answers go nowhere: only the final answer fills the target.
struct HopSink {
    Sink inner;
    const _response* response;
};

size_t hop_write(const void* data, size_t size, size_t count, void* target) {
    const HopSink* hop = static_cast<const HopSink*>(target);
    if (is_redirect(hop->response->status)) return size * count;
    return hop->inner.first(data, size, count, hop->inner.second);
}

// The record as a new request would start it; the trace goes on.
void ResetForNextHop(_response& response) {
    response.status = -1;
    response.content_length = 0;
    response.chunked = false;
    response.headers.clear();
    response.body_size = 0;
    response.size_download = 0;
    response.speed_download = 0;
    response.error[0] = 0;
}

// One request. With ownRedirects WinInet leaves redirects to the caller, and
// `location` receives a redirect answer's Location.
void RunOnce(const Sink& sink, const std::wstring& url, const _request& request, bool ownRedirects,
             int range_start, int range_end, const std::shared_ptr<_response>& response, std::wstring& location) {
    try {
        url_parts parts = split_url(url);
        if (!parts.valid) {
            response->set_error(kSplitError);
            return;
        }
        // Checked on the split that the connection uses, whatever the caller
        // checked before: a name appended to a checked folder can move the host.
        if (!CheckUrlOrigin(url)) {
            response->set_error("the address is outside the allowed origins");
            return;
        }
        std::shared_ptr<CMyInternetSession> session = open_session(request, response.get());
        std::shared_ptr<CHttpConnection> connection = session->GetHttpConnection(
            parts.host.c_str(), request.keep_connection ? INTERNET_FLAG_KEEP_CONNECTION : 0, parts.port);
        DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
        if (parts.service == kServiceHttps) flags |= INTERNET_FLAG_SECURE;
        if (request.keep_connection) flags |= INTERNET_FLAG_KEEP_CONNECTION;
        if (ownRedirects) {
            flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
        } else if (!request.follow_redirects) {
            flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
            flags |= parts.service == kServiceHttps ? INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS
                                                    : INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP;
        }
        std::shared_ptr<CHttpFile> file =
            connection->OpenRequest(L"GET", parts.object, nullptr, 1, nullptr, nullptr, flags);
        if (range_start >= 0 && range_end >= 0) {
            wchar_t range[64];
            _snwprintf(range, 63, L"Range: bytes=%d-%d", range_start, range_end);
            range[63] = 0;
            file->AddRequestHeaders(range, HTTP_ADDREQ_FLAG_ADD_IF_NEW);
        }
        perform(sink.first, sink.second, parts, request, file, response);
        if (ownRedirects && is_redirect(response->status)) (void)file->QueryInfo(HTTP_QUERY_LOCATION, location);
        file->Close();
        connection->Close();
        session->Close();
    } catch (const CInternetException& e) {
        response->status = -1;
        response->set_error(ToAnsiError(e.GetErrorMessage()));
    } catch (const CException& e) {
        response->status = -1;
        response->set_error(ToAnsiError(e.GetErrorMessage()));
    } catch (const std::exception& e) {
        response->status = -1;
        response->set_error(e.what());
    } catch (...) {
        DWORD error = GetLastError();
        char text[64];
        snprintf(text, sizeof(text), "httprest unknown error 0x%08lx", static_cast<unsigned long>(error));
        response->status = -1;
        response->set_error(text);
    }
}

void Run(const Sink& sink, const std::wstring& url, const _request& request, int range_start, int range_end,
         const std::shared_ptr<_response>& response) {
    const PublisherTrust& trust = PublisherTrust::Current();
    std::wstring location;
    if (!trust.PinsOrigins() && !trust.VerifiesCertificates()) {
        RunOnce(sink, url, request, false, range_start, range_end, response, location);
        return;
    }
    // A pinned build: certificates are checked, and each redirect is checked
    // like the first address before it is followed.
    _request checked = request;
    if (trust.VerifiesCertificates()) checked.verify_certificate = true;
    const bool ownRedirects = trust.PinsOrigins() && request.follow_redirects;
    HopSink hop{sink, response.get()};
    const Sink target = ownRedirects ? Sink(&hop_write, &hop) : sink;
    std::wstring current = url;
    for (int hops = 1;; ++hops) {
        location.clear();
        RunOnce(target, current, checked, ownRedirects, range_start, range_end, response, location);
        if (!ownRedirects || !is_redirect(response->status)) return;
        current = next_hop(current, location, hops);
        ResetForNextHop(*response);
        if (current.empty()) {
            response->set_error("the redirect was refused");
            return;
        }
    }
}

std::shared_ptr<_response> NewResponse() {
    try {
        return std::make_shared<_response>();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

_request::_request() {
    // The browser's user-agent string does not change while the process
    // runs: urlmon is asked once, not loaded and released again for every
    // request (a few milliseconds each under Wine).
    static const std::wstring agent = [] {
        std::wstring wide;
        std::string narrow = make_user_agent("WinInetRest/1.0");
        if (!narrow.empty())
            (void)MultiByteToWide(CP_ACP, narrow.data(), static_cast<int>(narrow.size()), wide);
        return wide;
    }();
    user_agent = agent;
}

void _response::set_error(const std::string& text) {
    size_t n = std::min<size_t>(text.size(), sizeof(error) - 1);
    std::memcpy(error, text.data(), n);
    error[n] = 0;
}

std::shared_ptr<_response> get(const std::wstring& url, const _request& request, int range_start,
                               int range_end) {
    std::shared_ptr<_response> response = NewResponse();
    if (!response) return nullptr;
    Run(Sink(&memory_write, response.get()), url, request, range_start, range_end, response);
    return response;
}

std::shared_ptr<_response> get_file(const std::wstring& url, const _request& request,
                                    const std::wstring& path, int range_start, int range_end) {
    std::shared_ptr<_response> response = NewResponse();
    if (!response) return nullptr;
    try {
        // Unbuffered, so a failed write (full disk) shows on the chunk that
        // caused it. The target is created or emptied before the URL is read.
        std::ofstream stream;
        stream.rdbuf()->pubsetbuf(nullptr, 0);
        errno = 0;
        stream.open(path.c_str(), std::ios::binary | std::ios::out | std::ios::trunc);
        if (!stream.is_open()) {
            // Without a target nothing could be kept; a 200 with an empty
            // file would look like success.
            int code = errno;
            char text[128];
            snprintf(text, sizeof(text), "the target file could not be opened for writing (errno %d)", code);
            response->set_error(text);
            return response;
        }
        Run(Sink(&file_write, &stream), url, request, range_start, range_end, response);
        stream.close();
        if (stream.fail() && response->status != -1) {
            response->status = -1;
            response->set_error("the response body could not be written to the target file");
        }
    } catch (const std::exception& e) {
        response->status = -1;
        response->set_error(e.what());
    } catch (...) {
        response->status = -1;
        response->set_error("httprest unknown error");
    }
    return response;
}

}  // namespace rest
}  // namespace inet
