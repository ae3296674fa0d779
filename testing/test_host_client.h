#pragma once
// The test host: a 64-bit helper program (orvin_test_host.exe) that runs the
// test HTTP servers, the shop server and the message-box answerers for a test
// process, so that the test process itself starts no thread (32-bit Wine
// under emulation runs threads unreliably). One host per test process,
// started on first use and ended when the test process closes its pipe.

#include <cstdint>
#include <string>
#include <vector>

#include "testing/http_exchange.h"
#include "testing/test_host_protocol.h"

namespace testing_support {

// Sends one request and reads its reply (after the reply's status). False,
// with a line on standard error, when the host could not be reached or
// refused the request.
bool CallTestHost(host::Message& request, host::Message* reply);

// Something the host runs for this process, ended when this object goes.
class HostedObject {
public:
    HostedObject(const HostedObject&) = delete;
    HostedObject& operator=(const HostedObject&) = delete;

protected:
    HostedObject() = default;
    ~HostedObject();
    host::Message Request(host::Op op) const;
    // Sends a request that expects nothing back but success.
    void Send(host::Message& request) const;
    uint32_t m_id = 0;  // 0: the host did not make it
};

// A server in the host: its port and the requests it has received.
class HostedServer : public HostedObject {
public:
    int port() const { return m_port; }
    std::vector<HttpRequestRecord> requests() const;
    size_t count(const std::string& path) const;
    void clear_requests();
    // Connections accepted so far.
    size_t connections() const;

protected:
    HostedServer() = default;
    // Where 32-bit Wine runs emulated, no connection is kept alive: WinInet
    // would start a thread of its own in the test process to watch the idle
    // connection, and threads are not reliable there.
    static uint32_t ServerFlags();
    void Start(host::Message& request);
    int m_port = 0;
};

}  // namespace testing_support
