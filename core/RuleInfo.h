#pragma once

#include <string>

// One rule (server variable) of a server's last rules answer.
struct RuleInfo {
    std::string m_strKey;
    std::string m_strValue;
};
