#pragma once
// What a shop's own build of the launcher trusts: the origins it may talk to
// and the keys its editor module may be signed with. Both lists are fixed when
// the launcher is built (ORVIN_ALLOWED_ORIGINS, ORVIN_PUBLISHER_KEYS); a build
// without them trusts any server and any module, as the launcher always has.

#include <string>
#include <vector>

// The two lists as built into an executable, ';'-separated. Every shipped
// executable compiles support/publisher/publisher_config.cpp with its own generated
// header; tests and tools link the unpinned one.
// The entries of a ';'-separated build setting, blanks around each trimmed,
// empty entries dropped.
std::vector<std::wstring> SplitSettingList(const std::wstring& text);

struct PublisherSettings {
    const wchar_t* origins;
    const wchar_t* keys;
    // ORVIN_KEEP_CERTIFICATE_DEFAULT: a pinned build that still ignores TLS
    // certificate errors, as the default build does.
    bool keepCertificateDefault;
    const wchar_t* agents;       // ORVIN_ALLOWED_AGENTS (support/pinned_limits.h)
    const wchar_t* installRoot;  // ORVIN_INSTALL_ROOT (support/pinned_limits.h)
};
PublisherSettings CompiledPublisherSettings();

class PublisherTrust {
public:
    // Trusts everything: the unpinned launcher.
    PublisherTrust() = default;
    // ';'-separated lists. A list that holds anything pins: entries that do
    // not parse match nothing, so a mistyped list refuses instead of opening.
    PublisherTrust(const std::wstring& origins, const std::wstring& keys, bool keepCertificateDefault = false);

    // The trust of this executable; tests put their own in its place.
    static const PublisherTrust& Current();
    // Makes `trust` what Current() returns (null: the built-in one again).
    // Returns the one used before.
    static const PublisherTrust* Use(const PublisherTrust* trust);

    bool PinsOrigins() const { return m_pinsOrigins; }
    bool PinsKeys() const { return m_pinsKeys; }
    // Pinned builds have the request layer check TLS certificates and names.
    bool VerifiesCertificates() const { return (m_pinsOrigins || m_pinsKeys) && !m_keepCertificateDefault; }

    // True when the URL's scheme, host and port are those of an allowed
    // origin (always true when origins are not pinned).
    bool AllowsUrl(const std::wstring& url) const;
    // sha256Hex: the SHA-256 of a signer's SubjectPublicKeyInfo, hex in any
    // letter case (always true when keys are not pinned).
    bool AllowsKey(const std::wstring& sha256Hex) const;

private:
    bool m_pinsOrigins = false;
    bool m_pinsKeys = false;
    bool m_keepCertificateDefault = false;
    std::vector<std::wstring> m_origins;  // "scheme://host:port", lower case
    std::vector<std::wstring> m_keys;     // 64 lower-case hex digits
};

// "scheme://host:port" in lower case with the scheme's default port filled
// in, for an http or https URL with a plain host name, IPv4 or bracketed IPv6
// address, as the request layer's split (support/url_parse.h) reads it; empty
// for anything else (user names, odd characters, other schemes) and for a URL
// whose plain reading names another origin than that split.
std::wstring UrlOrigin(const std::wstring& url);

// The check before a URL is requested or handed to the browser: true when the
// current trust allows it, else false after the refusal record.
[[nodiscard]] bool CheckUrlOrigin(const std::wstring& url);
// The refusal record of an address, for the checks that refuse on other grounds.
void LogRefusedUrl(const std::wstring& url);
