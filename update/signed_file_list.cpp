#include "update/signed_file_list.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "support/contained_path.h"
#include "support/platform.h"

namespace {

const char kHeader[] = "orvin-file-list 1";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLowerHex(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f');
}

// Decimal without sign or leading zeros ("0" itself allowed), within max.
bool ParseDecimal(const std::string& text, std::uint64_t max, std::uint64_t& value) {
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return false;
    std::uint64_t result = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (result > (max - digit) / 10) return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil): the list's times need no time zone data.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// The name as the install folder will resolve it, "\" between components;
// empty when it is not one the folder may hold.
std::wstring CanonicalName(const std::wstring& name) {
    if (name.empty() || !IsContainedName(name)) return std::wstring();
    for (wchar_t c : name) {
        if (c < 0x20 || c == 0x7F || wcschr(L"<>\"|?*", c)) return std::wstring();
    }
    std::wstring canonical;
    for (const std::wstring& component : ResolvedComponents(name)) {
        if (!canonical.empty()) canonical += L'\\';
        canonical += component;
    }
    return canonical;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// "<sha256> <size> <name>", the name already in its one spelling.
bool ParseFileLine(const std::string& line, SignedFile& file) {
    if (line.size() < 64 + 1 + 1 + 1 + 1 || line[64] != ' ') return false;
    for (size_t i = 0; i < 64; ++i) {
        if (!IsLowerHex(line[i])) return false;
    }
    const size_t sizeEnd = line.find(' ', 65);
    if (sizeEnd == std::string::npos) return false;
    std::uint64_t size = 0;
    if (!ParseDecimal(line.substr(65, sizeEnd - 65), static_cast<std::uint64_t>(INT64_MAX), size)) return false;
    const std::string utf8 = line.substr(sizeEnd + 1);
    std::wstring name;
    if (!IsUtf8Text(reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size(), false) ||
        !MultiByteToWide(CP_UTF8, utf8.data(), static_cast<int>(utf8.size()), name))
        return false;
    if (name.empty() || CanonicalName(name) != name) return false;
    file.sha256.assign(line.begin(), line.begin() + 64);
    file.size = size;
    file.name = name;
    return true;
}

}  // namespace

const SignedFile* SignedFileList::Find(const std::wstring& name) const {
    const std::wstring canonical = CanonicalName(name);
    if (canonical.empty()) return nullptr;
    for (const SignedFile& file : files) {
        if (SameName(file.name, canonical)) return &file;
    }
    return nullptr;
}

bool ParseSerial(const std::string& text, std::uint64_t& serial) {
    return ParseDecimal(text, UINT64_MAX, serial);
}

std::string FormatUtcTime(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // H. Hinnant's civil_from_days.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
    char text[48];
    snprintf(text, sizeof(text), "%04lld-%02u-%02uT%02u:%02u:%02uZ", static_cast<long long>(y), m, d,
             static_cast<unsigned>(rest / 3600), static_cast<unsigned>(rest / 60 % 60),
             static_cast<unsigned>(rest % 60));
    return text;
}

bool ParseUtcTime(const std::string& text, std::int64_t& seconds) {
    // YYYY-MM-DDTHH:MM:SSZ, nothing else.
    static const char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof(kShape) - 1) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (kShape[i] == 'd' ? !IsDigit(text[i]) : text[i] != kShape[i]) return false;
    }
    auto number = [&](size_t at, size_t count) {
        unsigned value = 0;
        for (size_t i = at; i < at + count; ++i) value = value * 10 + static_cast<unsigned>(text[i] - '0');
        return value;
    };
    const unsigned year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const unsigned hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

bool ParseSignedFileList(const char* text, size_t size, SignedFileList& list) {
    if (!text || size == 0 || text[size - 1] != '\n') return false;
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < size) {
        size_t end = start;
        while (end < size && text[end] != '\n') {
            // No CR, NUL or other control byte anywhere: one line, one reading.
            if (static_cast<unsigned char>(text[end]) < 0x20 || text[end] == 0x7F) return false;
            ++end;
        }
        lines.emplace_back(text + start, end - start);
        start = end + 1;
    }
    if (lines.size() < 4 || lines[0] != kHeader) return false;
    SignedFileList parsed;
    if (lines[1].compare(0, 7, "serial ") != 0 || !ParseSerial(lines[1].substr(7), parsed.serial)) return false;
    if (lines[2].compare(0, 8, "expires ") != 0 || !ParseUtcTime(lines[2].substr(8), parsed.expires)) return false;
    for (size_t i = 3; i < lines.size(); ++i) {
        SignedFile file;
        if (!ParseFileLine(lines[i], file) || parsed.Find(file.name)) return false;
        parsed.files.push_back(std::move(file));
    }
    list = std::move(parsed);
    return true;
}

std::string FormatSignedFileList(const SignedFileList& list) {
    std::string text = std::string(kHeader) + "\nserial " + std::to_string(list.serial) + "\nexpires " +
                       FormatUtcTime(list.expires) + "\n";
    for (const SignedFile& file : list.files) {
        std::string name;
        if (!WideToMultiByte(CP_UTF8, file.name.c_str(), static_cast<int>(file.name.size()), name)) name.clear();
        std::string sha256;
        for (wchar_t c : file.sha256) sha256 += static_cast<char>(c);
        text += sha256 + " " + std::to_string(file.size) + " " + name + "\n";
    }
    return text;
}
