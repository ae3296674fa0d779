#pragma once
// Redirects in a build that pins the publisher's origins: the request layer
// follows them itself, one hop at a time, so that every hop is checked like
// the first address (WinInet would follow any Location, https to http too).

#include <cstdint>
#include <string>

namespace inet {
namespace rest {

// More hops than this end the request as failed.
constexpr int kMaxRedirects = 5;

// The statuses that send the client to the Location header's address.
bool is_redirect(int32_t status);

// The next hop's URL: `location` (absolute or relative) resolved against
// `from`. Empty, after a record, when it may not be followed: an address
// outside the allowed origins, a step from https down to http, or hop number
// `hop` beyond kMaxRedirects.
std::wstring next_hop(const std::wstring& from, const std::wstring& location, int hop);

}  // namespace rest
}  // namespace inet
