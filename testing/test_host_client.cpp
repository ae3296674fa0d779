#include "testing/test_host_client.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "support/scoped.h"
#include "testing/test_support.h"

namespace testing_support {

namespace {

// Where the host is: named by ORVIN_TEST_HOST, beside this program (a 64-bit
// build), or in the 64-bit build's folder beside this one (a 32-bit build).
std::wstring HostProgram() {
    wchar_t named[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableW(L"ORVIN_TEST_HOST", named, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return named;
    const std::wstring beside = ExecutableFolder() + L"orvin_test_host.exe";
    if (FileExists(beside)) return beside;
    return ExecutableFolder() + L"..\\..\\win64\\bin\\orvin_test_host.exe";
}

class TestHost {
public:
    // Closing the pipe (when the owners go) ends the host; it stops its
    // servers on the way.
    bool Call(host::Message& request, host::Message* reply) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_started) Start();
        if (!m_toHost) return false;
        if (!host::WriteMessage(m_toHost.get(), request) || !host::ReadMessage(m_fromHost.get(), reply)) {
            fprintf(stderr, "test host: the host has gone\n");
            m_toHost.reset();
            m_fromHost.reset();
            return false;
        }
        uint32_t done = 0;
        if (!reply->GetU32(&done) || done != 1) {
            fprintf(stderr, "test host: request refused\n");
            return false;
        }
        return true;
    }

private:
    void Start() {
        m_started = true;
        const std::wstring program = HostProgram();
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE hostIn = nullptr, toHost = nullptr, fromHost = nullptr, hostOut = nullptr;
        if (!CreatePipe(&hostIn, &toHost, &inherit, 0)) return;
        ScopedHandle hostInOwner(hostIn), toHostOwner(toHost);
        if (!CreatePipe(&fromHost, &hostOut, &inherit, 0)) return;
        ScopedHandle fromHostOwner(fromHost), hostOutOwner(hostOut);
        // Only the host's ends go to the host: a program the test starts
        // later must not keep the pipe open after the test ends.
        SetHandleInformation(toHost, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(fromHost, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = hostIn;
        startup.hStdOutput = hostOut;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::wstring commandLine = L"\"" + program + L"\"";
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                            nullptr, nullptr, &startup, &info)) {
            fprintf(stderr, "test host: cannot start %ls (error %lu); build the win64 tree first\n",
                    program.c_str(), GetLastError());
            return;
        }
        ScopedHandle thread(info.hThread), process(info.hProcess);
        m_toHost = std::move(toHostOwner);
        m_fromHost = std::move(fromHostOwner);
    }

    std::mutex m_lock;
    bool m_started = false;
    ScopedHandle m_toHost;
    ScopedHandle m_fromHost;
};

TestHost& Host() {
    static TestHost host;
    return host;
}

}  // namespace

bool CallTestHost(host::Message& request, host::Message* reply) {
    return Host().Call(request, reply);
}

HostedObject::~HostedObject() {
    if (m_id == 0) return;
    host::Message request = Request(host::Op::Delete);
    Send(request);
}

host::Message HostedObject::Request(host::Op op) const {
    host::Message request;
    request.PutU32(static_cast<uint32_t>(op));
    request.PutU32(m_id);
    return request;
}

void HostedObject::Send(host::Message& request) const {
    host::Message reply;
    CallTestHost(request, &reply);
}

uint32_t HostedServer::ServerFlags() {
    return ThreadsUnreliable() ? host::kNoKeepAlive : 0;
}

void HostedServer::Start(host::Message& request) {
    host::Message reply;
    uint32_t id = 0, port = 0;
    if (CallTestHost(request, &reply) && reply.GetU32(&id) && reply.GetU32(&port)) {
        m_id = id;
        m_port = static_cast<int>(port);
    }
}

std::vector<HttpRequestRecord> HostedServer::requests() const {
    host::Message request = Request(host::Op::Requests), reply;
    std::vector<HttpRequestRecord> records;
    uint32_t count = 0;
    if (!CallTestHost(request, &reply) || !reply.GetU32(&count)) return records;
    for (uint32_t i = 0; i < count; ++i) {
        HttpRequestRecord record;
        if (!reply.GetRecord(&record)) break;
        records.push_back(std::move(record));
    }
    return records;
}

size_t HostedServer::count(const std::string& path) const {
    host::Message request = Request(host::Op::Count), reply;
    request.PutBytes(path);
    uint32_t count = 0;
    return CallTestHost(request, &reply) && reply.GetU32(&count) ? count : 0;
}

void HostedServer::clear_requests() {
    host::Message request = Request(host::Op::ClearRequests);
    Send(request);
}

size_t HostedServer::connections() const {
    host::Message request = Request(host::Op::Connections), reply;
    uint32_t count = 0;
    return CallTestHost(request, &reply) && reply.GetU32(&count) ? count : 0;
}

}  // namespace testing_support
