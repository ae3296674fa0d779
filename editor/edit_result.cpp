#include "editor/edit_result.h"

#include <windows.h>

#include <json/json.h>

#include <memory>
#include <string>

#include "inet/rest/url_encoding.h"
#include "launch/launch_arguments.h"
#include "launch/startup_file_xml.h"
#include "support/logger.h"
#include "support/platform.h"

namespace {

// The editor returns UTF-16 text. The JSON reader works on bytes, and as a
// compatibility rule those bytes are the system code page's, not UTF-8:
// characters the code page cannot hold become its default character.
std::string ToAnsiBytes(const std::wstring& text) {
    std::string bytes;
    if (text.empty() || !WideToMultiByte(CP_ACP, text.data(), static_cast<int>(text.size()), bytes)) return {};
    return bytes;
}

std::wstring FromAnsiBytes(const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    std::unique_ptr<wchar_t[]> wide = AnsiToWide(bytes.data(), static_cast<int>(bytes.size()));
    return wide ? std::wstring(wide.get()) : std::wstring();
}

void LogParseFailure(const std::wstring& editResult) {
    Logger::Instance()->Write(L"*오류 : 편집 결과 JSON파싱에 실패 했습니다. (json:%s)", editResult.c_str());
}

enum class Outcome { kReady, kParseFailure, kNoUploads, kCartDeclined };

// jsoncpp asserts by throwing when a value is read as a type it cannot
// convert to; every such read is guarded by a type check first, and the
// caller still catches whatever escapes.
Outcome ReadResult(const std::string& json, std::wstring& exitCode) {
    Json::Value root;
    Json::Reader reader;
    if (!reader.parse(json.data(), json.data() + json.size(), root, false)) return Outcome::kParseFailure;
    // Only an object has members; null reads as an object without any.
    if (!root.isObject() && !root.isNull()) return Outcome::kParseFailure;

    exitCode = L"0";
    if (root.isMember("exit_code")) {
        const Json::Value& code = root["exit_code"];
        if (!code.isString()) return Outcome::kParseFailure;
        exitCode = FromAnsiBytes(code.asString());
    }

    // size() is 0 for every value that is neither an array nor an object.
    if (!root.isMember("uploaded_list") || root["uploaded_list"].size() == 0) return Outcome::kNoUploads;

    if (root.isMember("off_return_url")) {
        const Json::Value& off = root["off_return_url"];
        if (!off.isNull() && !off.isBool() && !off.isNumeric()) return Outcome::kParseFailure;
        if (off.asBool()) return Outcome::kCartDeclined;
    }
    return Outcome::kReady;
}

std::wstring ComposeReturnUrl(const std::wstring& returnAddress, const std::wstring& query) {
    if (returnAddress.empty()) return std::wstring();
    return ComposeServiceUrl(query, 0, inet::rest::url_encode(returnAddress, 2), std::wstring());
}

}  // namespace

bool ProcessEditResult(const std::wstring& arguments, const startup_file_xml& startup,
                       const std::wstring& editResult, std::wstring& browserUrl, std::wstring& cartUrl) {
    if (editResult.empty()) {
        Logger::Instance()->Write(L"*오류 : 편집 결과에 JSON정보가 없습니다.");
        return false;
    }

    std::wstring key;
    std::wstring server;
    // A launch without key or server still gets its URLs; they then carry an
    // empty key and server.
    (void)ParseLaunchArguments(arguments, key, server);

    std::wstring exitCode;
    Outcome outcome = Outcome::kParseFailure;
    try {
        outcome = ReadResult(ToAnsiBytes(editResult), exitCode);
    } catch (...) {
        // Type errors and nesting beyond the reader's depth limit.
        outcome = Outcome::kParseFailure;
    }

    switch (outcome) {
        case Outcome::kParseFailure:
            LogParseFailure(editResult);
            return false;
        case Outcome::kNoUploads:
            Logger::Instance()->Write(L"*알림 : 편집결과 JSON정보에 업로드 목록이 없습니다.");
            return false;
        case Outcome::kCartDeclined:
            Logger::Instance()->Write(
                L"*알림 : 편집결과 JSON정보에 장바구니 호출을 "
                L"하지 않도록 설정했습니다.");
            return false;
        case Outcome::kReady:
            break;
    }

    std::wstring keyResult;
    (void)inet::rest::url_encode_component(keyResult, ComposeServiceUrl(L"field=result", 0, server, key));
    const std::wstring query = L"exit_code=" + exitCode + L"&keyresult=" + keyResult;

    browserUrl = ComposeReturnUrl(startup.return_url, query);
    cartUrl = ComposeReturnUrl(startup.return2_url, query);
    return true;
}
