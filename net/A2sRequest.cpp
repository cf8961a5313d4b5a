#include "net/A2sRequest.h"

std::vector<uint8_t> BuildA2sInfoRequest(std::optional<uint32_t>) { return {}; }

std::vector<uint8_t> BuildA2sPlayerRequest(uint32_t) { return {}; }

std::vector<uint8_t> BuildA2sRulesRequest(uint32_t) { return {}; }
