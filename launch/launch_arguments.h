#pragma once
// The launch arguments (the text after "://"), the service-URL rule and the
// startup request.

#include <string>

class startup_file_xml;

// Splits "key=K&svr=S" (either order); the server address is percent-decoded.
// On failure key and server are left as they were.
[[nodiscard]] bool ParseLaunchArguments(const std::wstring& arguments, std::wstring& key,
                                        std::wstring& server);

// base, one "?", "key=" and the key, the field, then url_encode by mode.
std::wstring ComposeServiceUrl(const std::wstring& field, int mode, const std::wstring& base,
                               const std::wstring& key);

// Records the key, fetches the startup document into startup and appends the
// three launch parameters. False on failure, already logged.
[[nodiscard]] bool PrepareLaunch(std::wstring& key, const std::wstring& arguments, startup_file_xml& startup);
