#pragma once
// Two more limits of a shop's own build, fixed when it is built: the programs
// a startup document may name as the browser (ORVIN_ALLOWED_AGENTS) and the
// folder below the data root that every install folder must lie in
// (ORVIN_INSTALL_ROOT). Builds without pins keep the old behaviour.

#include <string>
#include <vector>

class PinnedLimits {
public:
    // Limits nothing: the unpinned launcher.
    PinnedLimits() = default;
    // pinned: the build pins origins or keys. agents: ';'-separated program
    // paths; installRoot: a folder relative to the data root, empty for none.
    PinnedLimits(bool pinned, const std::wstring& agents, const std::wstring& installRoot);

    // The limits of this executable; tests put their own in its place.
    static const PinnedLimits& Current();
    // Makes `limits` what Current() returns (null: the built-in ones again).
    // Returns the one used before.
    static const PinnedLimits* Use(const PinnedLimits* limits);

    // A pinned build (or one with an agent list) starts only the listed
    // programs, and hands them the URL as one quoted argument.
    bool LimitsAgents() const { return m_limitsAgents; }
    bool AllowsAgent(const std::wstring& program) const;
    // True when folder (absolute, as the startup document's reader makes it)
    // is the install root or below it; always true without a root.
    bool AllowsInstallFolder(const std::wstring& folder) const;

private:
    bool m_limitsAgents = false;
    std::vector<std::wstring> m_agents;
    bool m_hasRoot = false;
    std::vector<std::wstring> m_root;  // resolved components below the data root
};

// The text as one command-line argument that CommandLineToArgvW and the C
// runtime read back unchanged: in double quotes, inner quotes and the
// backslashes before them escaped.
std::wstring QuotedArgument(const std::wstring& text);

// The check before the install folder is made or touched: true when the
// current limits allow it, else false after the refusal record.
[[nodiscard]] bool CheckInstallFolder(const std::wstring& folder);
