#pragma once
// Names that arrive from outside (a server's documents, an archive's items, a
// publisher's file list) and are joined to a folder the run owns. Every such
// join goes through these checks, so that nothing is written, deleted or
// loaded outside that folder.

#include <windows.h>

#include <string>
#include <vector>

// True when folder + name cannot resolve outside folder. Refused: a component
// made only of dots and blanks with two dots or more (Windows drops trailing
// dots and blanks, so "..", "..." and ". ." all climb), any ":" (a drive or a
// stream), an absolute or UNC path (two leading separators), and device names
// (CON, NUL, COM1, LPT1, ... also with an extension). A single "." component,
// empty components and one leading separator are harmless and accepted, as is
// the empty name (the folder itself). "\" and "/" both separate.
[[nodiscard]] bool IsContainedName(const std::wstring& name);

// The components of a contained name as the platform resolves them: "." and
// empty components dropped, trailing dots and blanks removed. "x\.\y" and
// "x/y." both give {"x", "y"}; an empty list names the folder itself.
std::vector<std::wstring> ResolvedComponents(const std::wstring& name);

// Junctions and symbolic links inside folders the run writes to could send
// its writes and deletions anywhere (the data root sits below LocalLow, which
// low-integrity processes can write). A link is removed as a link and never
// written through or entered.

// The attributes of an existing path, INVALID_FILE_ATTRIBUTES when it does
// not exist. Every link decision below reads attributes through here.
DWORD GetPathAttributes(const std::wstring& path);
// The same decision for a folder entry whose attributes a search returned.
DWORD GetEntryAttributes(const std::wstring& path, DWORD found);
[[nodiscard]] bool IsLinkAttributes(DWORD attributes);

// True when the path exists and is a link (a trailing separator is ignored).
[[nodiscard]] bool IsLinkPath(const std::wstring& path);
// True when any existing level of base + relative below base is a link;
// base itself is the caller's to check. When no link is crossed and
// deepestAttributes is given, it receives the attributes of the deepest level
// (INVALID_FILE_ATTRIBUTES when that does not exist, or when relative names
// no level at all).
[[nodiscard]] bool CrossesLink(const std::wstring& base, const std::wstring& relative,
                               DWORD* deepestAttributes = nullptr);
// Removes a link itself, never what it points to. attributes are the link's.
[[nodiscard]] bool RemoveLink(const std::wstring& path, DWORD attributes);

// A test seam: junctions cannot be made under Wine, so tests mark a path as
// a link by its attributes. Null restores the platform's answer.
using PathAttributesHook = DWORD (*)(const std::wstring& path, DWORD attributes);
void SetPathAttributesHookForTest(PathAttributesHook hook);
