#include "support/pinned_limits.h"

#include <windows.h>

#include "support/contained_path.h"
#include "support/logger.h"
#include "support/platform.h"
#include "support/publisher_trust.h"

namespace {

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

const PinnedLimits*& Override() {
    static const PinnedLimits* limits = nullptr;
    return limits;
}

}  // namespace

PinnedLimits::PinnedLimits(bool pinned, const std::wstring& agents, const std::wstring& installRoot)
    : m_agents(SplitSettingList(agents)) {
    m_limitsAgents = pinned || !m_agents.empty();
    if (installRoot.find_first_not_of(L" \t\\/") != std::wstring::npos) {
        m_hasRoot = true;
        // A root that leads out of the data root matches nothing: refused,
        // never opened up.
        if (IsContainedName(installRoot)) m_root = ResolvedComponents(installRoot);
    }
}

const PinnedLimits& PinnedLimits::Current() {
    if (const PinnedLimits* limits = Override()) return *limits;
    static const PinnedLimits compiled = [] {
        const PublisherSettings settings = CompiledPublisherSettings();
        const PublisherTrust& trust = PublisherTrust::Current();
        return PinnedLimits(trust.PinsOrigins() || trust.PinsKeys(), settings.agents ? settings.agents : L"",
                            settings.installRoot ? settings.installRoot : L"");
    }();
    return compiled;
}

const PinnedLimits* PinnedLimits::Use(const PinnedLimits* limits) {
    const PinnedLimits* previous = Override();
    Override() = limits;
    return previous;
}

bool PinnedLimits::AllowsAgent(const std::wstring& program) const {
    if (!m_limitsAgents) return true;
    for (const std::wstring& agent : m_agents) {
        if (SameText(agent, program)) return true;
    }
    return false;
}

bool PinnedLimits::AllowsInstallFolder(const std::wstring& folder) const {
    if (!m_hasRoot) return true;
    if (m_root.empty()) return false;
    const std::wstring dataRoot = GetDataRootFolder();
    if (dataRoot.empty() || folder.size() <= dataRoot.size() ||
        !SameText(folder.substr(0, dataRoot.size()), dataRoot) ||
        (folder[dataRoot.size()] != L'\\' && folder[dataRoot.size()] != L'/'))
        return false;
    const std::wstring relative = folder.substr(dataRoot.size());
    if (!IsContainedName(relative)) return false;
    // Compared as the file system resolves them: "Shop.\x" is "Shop\x".
    const std::vector<std::wstring> components = ResolvedComponents(relative);
    if (components.size() < m_root.size()) return false;
    for (size_t i = 0; i < m_root.size(); ++i) {
        if (!SameText(components[i], m_root[i])) return false;
    }
    return true;
}

std::wstring QuotedArgument(const std::wstring& text) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : text) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count as escapes only before a quote.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

bool CheckInstallFolder(const std::wstring& folder) {
    if (PinnedLimits::Current().AllowsInstallFolder(folder)) return true;
    Logger::Instance()->Write(L"*오류 : 허용되지 않은 설치 폴더입니다. (path:%s)", folder.c_str());
    return false;
}
