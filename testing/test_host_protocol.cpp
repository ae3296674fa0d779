#include "testing/test_host_protocol.h"

#include <cstring>
#include <limits>

namespace testing_support {
namespace host {

namespace {

// No message comes near this; a larger length means the stream is broken.
constexpr uint32_t kMaxMessage = 512u * 1024 * 1024;
constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();

bool WriteAll(HANDLE pipe, const char* data, size_t size) {
    while (size > 0) {
        DWORD piece = static_cast<DWORD>(size < (1u << 20) ? size : (1u << 20));
        DWORD written = 0;
        if (!WriteFile(pipe, data, piece, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool ReadAll(HANDLE pipe, char* data, size_t size) {
    while (size > 0) {
        DWORD piece = static_cast<DWORD>(size < (1u << 20) ? size : (1u << 20));
        DWORD read = 0;
        if (!ReadFile(pipe, data, piece, &read, nullptr) || read == 0) return false;
        data += read;
        size -= read;
    }
    return true;
}

// size_t differs between the two architectures: "no limit" travels as such.
uint64_t Wide(size_t value) {
    return value == std::string::npos ? kNoLimit : value;
}

size_t Narrow(uint64_t value) {
    return value == kNoLimit || value > std::numeric_limits<size_t>::max() ? std::string::npos
                                                                           : static_cast<size_t>(value);
}

}  // namespace

void Message::PutU32(uint32_t value) {
    m_bytes.append(reinterpret_cast<const char*>(&value), sizeof(value));
}

void Message::PutU64(uint64_t value) {
    m_bytes.append(reinterpret_cast<const char*>(&value), sizeof(value));
}

void Message::PutBytes(const std::string& bytes) {
    PutU32(static_cast<uint32_t>(bytes.size()));
    m_bytes += bytes;
}

void Message::PutWide(const std::wstring& text) {
    PutBytes(std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
}

void Message::PutAnswer(const HttpAnswer& a) {
    PutU32(static_cast<uint32_t>(a.status));
    PutBytes(a.reason);
    PutU32(static_cast<uint32_t>(a.headers.size()));
    for (const auto& h : a.headers) {
        PutBytes(h.first);
        PutBytes(h.second);
    }
    PutBytes(a.shared_body ? *a.shared_body : a.body);
    PutWide(a.body_file);
    PutU32((a.content_length ? 1 : 0) | (a.chunked ? 2 : 0) | (a.reset ? 4 : 0) | (a.close ? 8 : 0));
    PutU64(Wide(a.chunk_size));
    PutU64(Wide(a.close_after));
    PutU32(a.drop_delay_ms);
    PutU32(a.delay_ms);
    PutU32(a.body_delay_ms);
}

void Message::PutRecord(const HttpRequestRecord& r) {
    PutBytes(r.method);
    PutBytes(r.target);
    PutBytes(r.path);
    PutBytes(r.query);
    PutBytes(r.version);
    PutU32(static_cast<uint32_t>(r.headers.size()));
    for (const auto& h : r.headers) {
        PutBytes(h.first);
        PutBytes(h.second);
    }
}

bool Message::Take(void* out, size_t size) {
    if (m_bytes.size() - m_read < size) {
        m_read = m_bytes.size();
        return false;
    }
    memcpy(out, m_bytes.data() + m_read, size);
    m_read += size;
    return true;
}

bool Message::GetU32(uint32_t* value) {
    return Take(value, sizeof(*value));
}

bool Message::GetU64(uint64_t* value) {
    return Take(value, sizeof(*value));
}

bool Message::GetBytes(std::string* bytes) {
    uint32_t size = 0;
    if (!GetU32(&size) || m_bytes.size() - m_read < size) {
        m_read = m_bytes.size();
        return false;
    }
    bytes->assign(m_bytes, m_read, size);
    m_read += size;
    return true;
}

bool Message::GetWide(std::wstring* text) {
    std::string bytes;
    if (!GetBytes(&bytes) || bytes.size() % sizeof(wchar_t) != 0) return false;
    text->assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    return true;
}

bool Message::GetAnswer(HttpAnswer* a) {
    uint32_t status = 0, headers = 0, flags = 0;
    uint64_t chunkSize = 0, closeAfter = 0;
    if (!GetU32(&status) || !GetBytes(&a->reason) || !GetU32(&headers)) return false;
    a->status = static_cast<int>(status);
    a->headers.clear();
    for (uint32_t i = 0; i < headers; ++i) {
        std::string name, value;
        if (!GetBytes(&name) || !GetBytes(&value)) return false;
        a->headers.emplace_back(std::move(name), std::move(value));
    }
    if (!GetBytes(&a->body) || !GetWide(&a->body_file) || !GetU32(&flags) || !GetU64(&chunkSize) ||
        !GetU64(&closeAfter) || !GetU32(&a->drop_delay_ms) || !GetU32(&a->delay_ms) ||
        !GetU32(&a->body_delay_ms))
        return false;
    a->shared_body.reset();
    a->content_length = (flags & 1) != 0;
    a->chunked = (flags & 2) != 0;
    a->reset = (flags & 4) != 0;
    a->close = (flags & 8) != 0;
    a->chunk_size = Narrow(chunkSize);
    a->close_after = Narrow(closeAfter);
    return true;
}

bool Message::GetRecord(HttpRequestRecord* r) {
    uint32_t headers = 0;
    if (!GetBytes(&r->method) || !GetBytes(&r->target) || !GetBytes(&r->path) || !GetBytes(&r->query) ||
        !GetBytes(&r->version) || !GetU32(&headers))
        return false;
    r->headers.clear();
    for (uint32_t i = 0; i < headers; ++i) {
        std::string name, value;
        if (!GetBytes(&name) || !GetBytes(&value)) return false;
        r->headers.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

bool WriteMessage(HANDLE pipe, Message& message) {
    uint32_t size = static_cast<uint32_t>(message.bytes().size());
    return WriteAll(pipe, reinterpret_cast<const char*>(&size), sizeof(size)) &&
           WriteAll(pipe, message.bytes().data(), size);
}

bool ReadMessage(HANDLE pipe, Message* message) {
    uint32_t size = 0;
    if (!ReadAll(pipe, reinterpret_cast<char*>(&size), sizeof(size)) || size > kMaxMessage) return false;
    message->bytes().assign(size, '\0');
    return ReadAll(pipe, &message->bytes()[0], size);
}

}  // namespace host
}  // namespace testing_support
