#pragma once
// A local shop server for development, demonstrations and end-to-end tests:
// the four exchanges the launcher makes, served from a folder on 127.0.0.1.
//
//   <root>\startup\<key>.xml   startup document of a launch key ("$(SERVER)"
//                              in it becomes http://127.0.0.1:<port>)
//   <root>\update\...          activeupdate.xml and the packages
//
//   GET /shop/launch?key=K&field=startup   the startup document of K
//   GET /shop/launch?key=K&field=result    the result key (answers "OK")
//   GET /shop/update/<name>                a file of <root>\update
//   GET /shop/cart?...                     the cart service: confirms, after
//                                          a configurable number of failures
//   GET /shop/return?...                   the page the browser returns to

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "testing/local_http_server.h"

namespace shop {

class ShopServer {
public:
    // port 0: an ephemeral one. A launcher built for fixed origins needs a
    // known port.
    explicit ShopServer(std::wstring root, int port = 0);
    ~ShopServer();
    ShopServer(const ShopServer&) = delete;
    ShopServer& operator=(const ShopServer&) = delete;

    int port() const { return m_server.port(); }
    // http://127.0.0.1:<port>
    std::wstring base() const;
    // The server address to give the launcher as "svr=".
    std::wstring launch_url() const { return base() + L"/shop/launch"; }

    // The cart answers 500 this many times before it confirms.
    void set_cart_failures(int failures);
    // Each package answer waits this long before its body, so that the
    // progress window can be seen during an install (demonstrations).
    void set_package_delay(DWORD milliseconds);
    // Answers that break off after their header promised the whole body, the
    // way real networks drop transfers: a package after half its bytes, a
    // document (the manifest or a startup document) two bytes before its end, which is after
    // its closing tag when it ends with a line end. The next `count` answers
    // of that kind are cut (kCutEveryAnswer: all of them); reset: by a reset
    // (RST), else by an orderly close.
    using Cut = testing_support::ShopCut;
    void set_cuts(Cut kind, uint32_t count, bool reset);
    // false: one exchange per connection (see LocalHttpServer).
    void set_keep_alive(bool keepAlive) { m_server.set_keep_alive(keepAlive); }
    // Called with a one-line description of every request (for logging).
    void on_request(std::function<void(const std::string&)> listener);

    std::vector<testing_support::HttpRequestRecord> requests() const { return m_server.requests(); }
    size_t count(const std::string& path) const { return m_server.count(path); }
    void clear_requests() { m_server.clear_requests(); }
    // The cart requests received so far (target with query, as sent).
    std::vector<std::string> cart_requests() const;

private:
    testing_support::HttpAnswer Answer(const testing_support::HttpRequestRecord& request);
    testing_support::HttpAnswer Startup(const std::string& key);
    testing_support::HttpAnswer File(const std::wstring& path, const char* contentType);
    void ApplyCut(Cut kind, testing_support::HttpAnswer& answer);

    std::wstring m_root;
    mutable std::mutex m_lock;
    int m_cartFailures = 0;
    DWORD m_packageDelay = 0;
    struct Cuts {
        uint32_t count = 0;
        bool reset = false;
    } m_cuts[3];
    std::vector<std::string> m_cart;
    std::function<void(const std::string&)> m_listener;
    testing_support::LocalHttpServer m_server;
};

// The value of a query parameter (still percent-encoded), or empty.
std::string QueryValue(const std::string& query, const std::string& name);

}  // namespace shop
