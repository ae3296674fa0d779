#pragma once
// The local shop server (tools/shop_server) run by the test host for the
// end-to-end tests: the same exchanges, served from a folder, with the
// requests and the cart calls read back over the host's pipe.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testing/test_host_client.h"

namespace testing_support {

class HostedShop : public HostedServer {
public:
    // port 0: an ephemeral one.
    explicit HostedShop(const std::wstring& root, int port = 0);

    // http://127.0.0.1:<port>
    std::wstring base() const { return L"http://127.0.0.1:" + std::to_wstring(port()); }
    // The server address to give the launcher as "svr=".
    std::wstring launch_url() const { return base() + L"/shop/launch"; }

    // The cart answers 500 this many times before it confirms.
    void set_cart_failures(int failures);
    // Each package answer waits this long before its body.
    void set_package_delay(DWORD milliseconds);
    // The next `count` answers of a kind break off (see ShopServer::set_cuts):
    // packages after half their body, the manifest and startup documents two
    // bytes before their end.
    using Cut = ShopCut;
    void set_cuts(Cut kind, uint32_t count, bool reset);
    // The cart requests received so far (target with query, as sent).
    std::vector<std::string> cart_requests() const;
};

}  // namespace testing_support
