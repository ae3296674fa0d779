// The test host: runs HTTP test servers, shop servers and message-box
// answerers for the test process that started it, on its own threads, and
// answers that process's requests over standard input and output (see
// testing/test_host_protocol.h). Ends, stopping everything it runs, when the
// test process closes the pipe.

#include <windows.h>

#include <cstdio>
#include <map>
#include <memory>

#include "testing/local_http_server.h"
#include "testing/test_host_protocol.h"
#include "tools/shop_server/shop.h"
#include "tools/test_host/box_watcher.h"

using testing_support::HttpAnswer;
using testing_support::HttpRequestRecord;
using testing_support::LocalHttpServer;
using testing_support::host::Message;
using testing_support::host::Op;

namespace {

struct Hosted {
    std::unique_ptr<LocalHttpServer> server;
    std::unique_ptr<shop::ShopServer> shop;
    std::unique_ptr<test_host::BoxWatcher> boxes;

    std::vector<HttpRequestRecord> Requests() const {
        if (server) return server->requests();
        if (shop) return shop->requests();
        return {};
    }
};

class Host {
public:
    // False when the request is malformed or names nothing this host runs.
    bool Handle(Message& request, Message* reply) {
        uint32_t op = 0;
        if (!request.GetU32(&op)) return false;
        switch (static_cast<Op>(op)) {
            case Op::NewServer: {
                uint32_t port = 0, flags = 0;
                if (!request.GetU32(&port) || !request.GetU32(&flags)) return false;
                Hosted hosted;
                hosted.server = std::make_unique<LocalHttpServer>(
                    static_cast<int>(port), (flags & testing_support::host::kCloseOnAccept) != 0);
                hosted.server->set_keep_alive((flags & testing_support::host::kNoKeepAlive) == 0);
                const int listening = hosted.server->port();
                reply->PutU32(Add(std::move(hosted)));
                reply->PutU32(static_cast<uint32_t>(listening));
                return true;
            }
            case Op::NewShop: {
                std::wstring root;
                uint32_t port = 0, flags = 0;
                if (!request.GetWide(&root) || !request.GetU32(&port) || !request.GetU32(&flags))
                    return false;
                Hosted hosted;
                hosted.shop = std::make_unique<shop::ShopServer>(root, static_cast<int>(port));
                hosted.shop->set_keep_alive((flags & testing_support::host::kNoKeepAlive) == 0);
                const int listening = hosted.shop->port();
                reply->PutU32(Add(std::move(hosted)));
                reply->PutU32(static_cast<uint32_t>(listening));
                return true;
            }
            case Op::NewBoxAnswerer: {
                uint32_t process = 0, count = 0;
                if (!request.GetU32(&process) || !request.GetU32(&count) || count > 1024) return false;
                std::vector<int> buttons;
                for (uint32_t i = 0; i < count; ++i) {
                    uint32_t button = 0;
                    if (!request.GetU32(&button)) return false;
                    buttons.push_back(static_cast<int>(button));
                }
                Hosted hosted;
                hosted.boxes = std::make_unique<test_host::BoxWatcher>(process, std::move(buttons));
                reply->PutU32(Add(std::move(hosted)));
                return true;
            }
            default:
                break;
        }
        uint32_t id = 0;
        if (!request.GetU32(&id)) return false;
        auto found = m_hosted.find(id);
        if (found == m_hosted.end()) return false;
        Hosted& hosted = found->second;
        switch (static_cast<Op>(op)) {
            case Op::Delete:
                m_hosted.erase(found);
                return true;
            case Op::Answer:
            case Op::Enqueue: {
                std::string path;
                HttpAnswer answer;
                if (!hosted.server || !request.GetBytes(&path) || !request.GetAnswer(&answer)) return false;
                if (static_cast<Op>(op) == Op::Answer) {
                    hosted.server->answer(path, std::move(answer));
                } else {
                    hosted.server->enqueue(path, std::move(answer));
                }
                return true;
            }
            case Op::ServeFile: {
                std::string path;
                std::wstring file;
                if (!hosted.server || !request.GetBytes(&path) || !request.GetWide(&file)) return false;
                hosted.server->serve_file(path, file);
                return true;
            }
            case Op::Requests: {
                std::vector<HttpRequestRecord> records = hosted.Requests();
                reply->PutU32(static_cast<uint32_t>(records.size()));
                for (const auto& record : records) reply->PutRecord(record);
                return true;
            }
            case Op::Count: {
                std::string path;
                if (!request.GetBytes(&path)) return false;
                size_t count = hosted.server ? hosted.server->count(path)
                               : hosted.shop ? hosted.shop->count(path)
                                             : 0;
                reply->PutU32(static_cast<uint32_t>(count));
                return true;
            }
            case Op::ClearRequests:
                if (hosted.server) hosted.server->clear_requests();
                if (hosted.shop) hosted.shop->clear_requests();
                return true;
            case Op::Connections:
                if (!hosted.server) return false;
                reply->PutU32(static_cast<uint32_t>(hosted.server->connections()));
                return true;
            case Op::CartFailures:
            case Op::PackageDelay: {
                uint32_t value = 0;
                if (!hosted.shop || !request.GetU32(&value)) return false;
                if (static_cast<Op>(op) == Op::CartFailures) {
                    hosted.shop->set_cart_failures(static_cast<int>(value));
                } else {
                    hosted.shop->set_package_delay(value);
                }
                return true;
            }
            case Op::Cuts: {
                uint32_t kind = 0, count = 0, reset = 0;
                if (!hosted.shop || !request.GetU32(&kind) || !request.GetU32(&count) ||
                    !request.GetU32(&reset) || kind > 2)
                    return false;
                hosted.shop->set_cuts(static_cast<testing_support::ShopCut>(kind), count, reset != 0);
                return true;
            }
            case Op::CartRequests: {
                if (!hosted.shop) return false;
                std::vector<std::string> targets = hosted.shop->cart_requests();
                reply->PutU32(static_cast<uint32_t>(targets.size()));
                for (const auto& target : targets) reply->PutBytes(target);
                return true;
            }
            case Op::BoxCount:
                if (!hosted.boxes) return false;
                reply->PutU32(static_cast<uint32_t>(hosted.boxes->Count()));
                return true;
            case Op::BoxTexts: {
                if (!hosted.boxes) return false;
                std::vector<std::wstring> texts = hosted.boxes->Texts();
                reply->PutU32(static_cast<uint32_t>(texts.size()));
                for (const auto& text : texts) reply->PutWide(text);
                return true;
            }
            default:
                return false;
        }
    }

private:
    uint32_t Add(Hosted hosted) {
        const uint32_t id = m_next++;
        m_hosted.emplace(id, std::move(hosted));
        return id;
    }

    uint32_t m_next = 1;
    std::map<uint32_t, Hosted> m_hosted;
};

}  // namespace

int main() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    Host host;
    for (;;) {
        Message request;
        if (!testing_support::host::ReadMessage(in, &request)) break;
        Message body;
        const bool done = host.Handle(request, &body);
        Message reply;
        reply.PutU32(done ? 1 : 0);
        if (done) reply.bytes() += body.bytes();
        if (!testing_support::host::WriteMessage(out, reply)) break;
    }
    return 0;
}
