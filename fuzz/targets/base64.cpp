// Base64Decode against a plain reference decoder: the same bytes, nothing
// written past the capacity, and at least three zero bytes left after the
// result in a buffer of the documented size.

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "tools/publish/manifest_encrypt.h"
#include "update/manifest_crypto.h"

namespace {

int Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Drop everything outside the alphabet, then decode in groups of four; a
// group of k characters gives k - 1 bytes.
std::vector<unsigned char> Reference(const std::uint8_t* data, size_t size) {
    std::vector<int> values;
    for (size_t i = 0; i < size; ++i) {
        int v = Value(data[i]);
        if (v >= 0) values.push_back(v);
    }
    std::vector<unsigned char> out;
    for (size_t i = 0; i < values.size(); i += 4) {
        size_t k = values.size() - i < 4 ? values.size() - i : 4;
        std::uint32_t bits = 0;
        for (size_t j = 0; j < 4; ++j) bits = (bits << 6) | static_cast<std::uint32_t>(j < k ? values[i + j] : 0);
        for (size_t j = 0; j + 1 < k; ++j) out.push_back(static_cast<unsigned char>(bits >> (16 - 8 * j)));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size > 0x10000000) return 0;
    const int length = static_cast<int>(size);
    const int capacity = Base64DecodedCapacity(length);
    FUZZ_CHECK(capacity >= 5);
    // A heap copy of exactly the input's size, so that a read past it is seen.
    std::vector<char> input(data, data + size);
    std::vector<unsigned char> output(static_cast<size_t>(capacity), 0);
    const int n = Base64Decode(input.empty() ? nullptr : input.data(), length, output.data(), capacity);
    FUZZ_CHECK(n >= 0 && n + 3 <= capacity);
    for (int i = n; i < capacity; ++i) FUZZ_CHECK(output[static_cast<size_t>(i)] == 0);

    const std::vector<unsigned char> expected = Reference(data, size);
    FUZZ_CHECK(static_cast<size_t>(n) == expected.size());
    FUZZ_CHECK(std::equal(expected.begin(), expected.end(), output.begin()));

    // Encoding what was decoded and decoding again gives the same bytes.
    const std::string encoded = Base64Encode(output.data(), static_cast<size_t>(n));
    const int capacity2 = Base64DecodedCapacity(static_cast<int>(encoded.size()));
    std::vector<unsigned char> output2(static_cast<size_t>(capacity2), 0);
    const int n2 = Base64Decode(encoded.data(), static_cast<int>(encoded.size()), output2.data(), capacity2);
    FUZZ_CHECK(n2 == n);
    FUZZ_CHECK(std::equal(output.begin(), output.begin() + n, output2.begin()));

    // A smaller buffer than documented: nothing is written past it.
    const int small = capacity / 2;
    if (small > 0) {
        std::vector<unsigned char> tight(static_cast<size_t>(small), 0);
        const int m = Base64Decode(input.empty() ? nullptr : input.data(), length, tight.data(), small);
        FUZZ_CHECK(m >= 0 && m <= small);
    }
    return 0;
}
