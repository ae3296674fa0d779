#include "testing/hosted_shop.h"

namespace testing_support {

HostedShop::HostedShop(const std::wstring& root, int port) {
    host::Message request;
    request.PutU32(static_cast<uint32_t>(host::Op::NewShop));
    request.PutWide(root);
    request.PutU32(static_cast<uint32_t>(port));
    request.PutU32(ServerFlags());
    Start(request);
}

void HostedShop::set_cart_failures(int failures) {
    host::Message request = Request(host::Op::CartFailures);
    request.PutU32(static_cast<uint32_t>(failures));
    Send(request);
}

void HostedShop::set_package_delay(DWORD milliseconds) {
    host::Message request = Request(host::Op::PackageDelay);
    request.PutU32(milliseconds);
    Send(request);
}

void HostedShop::set_cuts(Cut kind, uint32_t count, bool reset) {
    host::Message request = Request(host::Op::Cuts);
    request.PutU32(static_cast<uint32_t>(kind));
    request.PutU32(count);
    request.PutU32(reset ? 1 : 0);
    Send(request);
}

std::vector<std::string> HostedShop::cart_requests() const {
    host::Message request = Request(host::Op::CartRequests), reply;
    std::vector<std::string> targets;
    uint32_t count = 0;
    if (!CallTestHost(request, &reply) || !reply.GetU32(&count)) return targets;
    for (uint32_t i = 0; i < count; ++i) {
        std::string target;
        if (!reply.GetBytes(&target)) break;
        targets.push_back(std::move(target));
    }
    return targets;
}

}  // namespace testing_support
