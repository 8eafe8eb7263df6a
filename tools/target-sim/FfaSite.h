#pragma once
// Search service emulation (/altavista/) and demo FFA pages (/ffa/).
#include <string>

// True when the path is one of ours; then status and body hold the answer.
bool ffaAnswer(const std::string& path, const std::string& query, int port, int genPages,
               int& status, std::string& body);
