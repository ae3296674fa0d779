#pragma once
// The manifest producer: packs a folder of module files into the packages an
// update server offers (cabinets and zip files) and writes the matching
// "activeupdate.xml", whose file list the launcher decrypts and reads.

#include <cstdint>
#include <string>
#include <vector>

namespace producer {

struct PackageSpec {
    std::wstring name;                // archive file name; ".cab" (any case) makes a cabinet, else zip
    std::vector<std::wstring> files;  // names relative to the source folder and to the install folder
};

struct ProducerOptions {
    std::wstring sourceFolder;  // holds the module files
    std::wstring outputFolder;  // receives the packages and activeupdate.xml
    std::wstring module;        // one of the listed files
    std::vector<PackageSpec> packages;
    // Names with folders: the launcher moves unpacked files into the install
    // folder without creating folders, so such a file installs only where the
    // folder exists already. Cabinets never carry them (they are unpacked
    // without creating folders either).
    bool allowFolders = false;
    // Refuse a module without a sound Authenticode signature (without it the
    // tool only warns): a launcher built with publisher keys loads no other.
    bool requireSigned = false;
    // With both: also write activeupdate.sig, the signed list of every file
    // that launchers built with publisher keys require (PEM files, as openssl
    // writes them; the certificate's key must be a pinned one).
    std::wstring signCert;
    std::wstring signKey;
    std::uint64_t serial = 0;  // the list's serial; 0: the current time in seconds since 1970
    int signDays = 365;        // the list expires this many days from now
    bool fixedHeader = false;  // use h0/h1 below instead of fresh values
    std::uint32_t h0 = 0;
    std::uint32_t h1 = 0;
};

// One file of the inner manifest, as the launcher will read it back.
struct ManifestFile {
    std::wstring name;
    std::wstring package;
    std::wstring hash;
    std::wstring version;
    bool isModule = false;
};

// Reads the command line (without the program name). False with a message in
// `error` for unknown options, missing values or unreadable package lists.
[[nodiscard]] bool ParseProducerArguments(const std::vector<std::wstring>& args, ProducerOptions& options,
                                          std::wstring& error);

// Adds the packages of a package list file: one package a line,
// "package.cab: file1.dll sub\file2.dat", names holding spaces in double
// quotes, "#" starting a comment line. The file is UTF-8 (with or without a
// byte-order mark).
[[nodiscard]] bool ReadPackageList(const std::wstring& path, std::vector<PackageSpec>& packages,
                                   std::wstring& error);

// A file or package name that the launcher may join to its install folder:
// relative, no drive, no leading separator, no "." or ".." or empty
// component, none of the characters Windows refuses in names, no component
// ending in a dot or a space, and nothing the manifest cannot carry ("&", as
// the reader does not decode entity references; surrounding white space, as
// it trims texts).
[[nodiscard]] bool CheckInstallName(const std::wstring& name, bool allowFolders, std::wstring& error);

// Checks everything before anything is written: at least one package, every
// name safe, folders only where allowed, no file listed twice, every file
// present in the source folder, the module listed.
[[nodiscard]] bool ValidateOptions(const ProducerOptions& options, std::wstring& error);

// The inner manifest text for the given files, in order, grouped by package
// in order of first appearance.
std::wstring BuildInnerManifest(const std::vector<ManifestFile>& files);
// The outer document around an encrypted value.
std::wstring BuildOuterManifest(const std::wstring& encryptedValue);

enum class ProduceResult {
    ok,
    refused,  // the input was refused before anything was written
    failed,   // a package or the manifest could not be written
};

// Validates, writes each package, hashes and versions each file, writes
// activeupdate.xml and reads it back through the launcher's reader. Anything
// but ok comes with a message in `error`; activeupdate.xml is then never left
// half-written.
[[nodiscard]] ProduceResult ProduceManifest(const ProducerOptions& options, std::wstring& error);

// Reads the Authenticode signature of the module to be packed. True when it
// is sound: signerKey then holds the SHA-256 (hex) of the signer's public
// key, the value a pinned launcher's ORVIN_PUBLISHER_KEYS must list. False
// with WinVerifyTrust's result in status when it is unsigned or altered, and
// also when the file cannot be read (status 0; validation reports that).
[[nodiscard]] bool ReadModuleSigner(const ProducerOptions& options, std::wstring& signerKey, long& status);

// Signs a signed-file-list document (update/signed_file_list.h) with the
// publisher's certificate and RSA key, both PEM: CMS SignedData carrying the
// document and the certificate. False with a message in `error`.
[[nodiscard]] bool SignFileList(const std::string& certPem, const std::string& keyPem, const std::string& document,
                                std::string& signedData, std::wstring& error);

// The usage text printed by the tool.
std::wstring ProducerUsage();

}  // namespace producer
