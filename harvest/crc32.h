#pragma once
// CRC-32, the reflected 0xEDB88320 polynomial of zip and PNG: the recovery
// record's parts carry it, and a run's numbers file is known by it.

#include <cstdint>
#include <string_view>

namespace harvest {

// The CRC-32 of `bytes`, going on from `crc`, the CRC-32 of what came
// before them (0 for nothing).
std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc = 0);

}  // namespace harvest
