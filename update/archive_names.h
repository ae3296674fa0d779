#pragma once
// Stored item names of cabinets and zip files turned into target paths that
// stay inside the folder an archive is unpacked into.

#include <string>

// Removes, until none applies, a leading drive prefix (any character followed
// by ":"), a leading "\" or "/", and everything up to and including the first
// "\..\", "\../", "/../" or "/..\" (looked for in this order). "/" separators
// are kept.
std::wstring StripItemName(const std::wstring& stored);

// base + name when that path stays inside base: the name passes the
// containment rule (support/contained_path.h), the path is shorter than
// MAX_PATH, and no folder level on the way is a link. base ends with "\" or
// "/". False otherwise (logged).
[[nodiscard]] bool ComposeItemTarget(const std::wstring& base, const std::wstring& name,
                                     std::wstring& target);

// Removes a stale file or link in the target's place, so that the item is
// written as a new file: a read-only leftover of an earlier run would refuse
// it for good, and a link would send it elsewhere. The last error is kept.
void ClearItemTarget(const std::wstring& target);

// Creates every missing folder level of base + relative, one level at a time
// (base itself must exist). False when a level cannot be made or is a file
// (logged).
[[nodiscard]] bool CreateFolderLevels(const std::wstring& base, const std::wstring& relative);
