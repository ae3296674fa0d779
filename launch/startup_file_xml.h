#pragma once
// The startup document: the launch configuration the server hands out for
// one run.

#include <string>
#include <utility>
#include <vector>

namespace pug {
class xml_node;
}

class startup_file_xml {
public:
    startup_file_xml() = default;
    virtual ~startup_file_xml() = default;

    // Reads a downloaded document; false when it is not a valid startup
    // document. bytes may be null when length is 0.
    [[nodiscard]] bool Load(const unsigned char* bytes, int length);
    void Reset();

    std::wstring module;
    std::wstring install_path;
    std::wstring update_url;
    std::wstring update_files_url;
    std::wstring todo;
    std::wstring editor_id;
    std::wstring config_url;
    std::wstring storage_url;
    std::wstring rsid;
    std::wstring lsid;
    std::wstring return_url;
    std::wstring return2_url;
    std::wstring setkey_url;
    std::wstring cookie;
    std::wstring user_id;
    std::wstring agent;
    std::wstring agent_type;
    std::wstring app_title;
    std::wstring app_icon;
    int count = 0;
    std::vector<std::pair<std::wstring, std::wstring>> params;

private:
    bool Read(pug::xml_node& element);
    bool ReadUpdateUrl(std::wstring url, std::wstring ssl);
};
