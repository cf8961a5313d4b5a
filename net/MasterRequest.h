#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The list request to the master server: 'e' without a filter text, '1' with
// one; the batch id (little-endian); "\gamedir\<game>" and "\map\<map>" cut
// to 250 bytes; a terminating 0.
std::string MasterFilterText(const std::string& game, const std::string& map);
std::vector<uint8_t> BuildMasterRequest(uint32_t batchId, const std::string& game,
                                        const std::string& map);

// "\xFF\xFF\xFF\xFF<command>\0".
std::vector<uint8_t> BuildServerRequest(const std::string& command);
