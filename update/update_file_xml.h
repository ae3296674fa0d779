#pragma once
// The update manifest ("activeupdate.xml"): an outer XML document whose
// update element carries, in its data attribute, the encrypted inner manifest
// that lists the module's files by package.

#include <string>
#include <vector>

struct update_file_entry {
    std::wstring name;     // relative to the install folder
    std::wstring package;  // the name attribute of the enclosing files element
    std::wstring hash;     // MD5 as hexadecimal text, as written; may be empty
    std::wstring version;  // "a.b.c.d"; used when there is no hash
};

class update_file_xml {
public:
    virtual ~update_file_xml();

    // Reads a downloaded manifest body. True when it holds a module and at
    // least one file. A load refused before the file list is read leaves the
    // members as they were; one refused for a missing module or an empty list
    // leaves what was read. Each refusal writes a log record.
    [[nodiscard]] bool Load(const unsigned char* bytes, int length);
    void Reset();

    std::wstring module;
    std::vector<update_file_entry> files;

private:
    bool LoadBody(const unsigned char* bytes, int length);
};
