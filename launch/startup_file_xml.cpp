#include "launch/startup_file_xml.h"

#include "support/logger.h"

void startup_file_xml::Reset() {
    for (std::wstring* s : {&module, &install_path, &update_url, &update_files_url, &todo, &editor_id,
                            &config_url, &storage_url, &rsid, &lsid, &return_url, &return2_url, &setkey_url,
                            &cookie, &user_id, &agent, &agent_type, &app_title, &app_icon}) {
        s->clear();
    }
    count = 0;
    params.clear();
}

bool startup_file_xml::Load(const unsigned char*, int) {
    Logger::Instance()->Write(L"* startup_file_xml::Load: not available yet");
    return false;
}
