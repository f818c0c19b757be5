// Whole files moved through the library's block calls, as the program moves
// them, for the tests that run hxlib against hxsim.
#pragma once

#include "HexalinkVRX7300.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace libraryfiles {

using Bytes = std::vector<uint8_t>;

inline Bytes randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto &byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

inline Bytes readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool upload(uint16_t device, int drive, const std::string &path, const Bytes &bytes)
{
    for (std::size_t offset = 0; offset < bytes.size(); offset += HX_MAX_BLOCK) {
        const auto length = std::min<std::size_t>(HX_MAX_BLOCK, bytes.size() - offset);
        if (!HX_SendData(device, static_cast<int32_t>(offset), static_cast<int32_t>(length), bytes.data() + offset))
            return false;
    }
    return HX_SaveToFile(device, drive, path.c_str(), static_cast<int32_t>(bytes.size()), 0x6000, 0x56CF) != 0;
}

inline std::optional<Bytes> download(uint16_t device, int drive, const std::string &path)
{
    const uint32_t size = HX_LoadFromFile(device, drive, path.c_str());
    if (size == 0xFFFFFFFFu) return std::nullopt;
    Bytes bytes(size);
    for (uint32_t offset = 0; offset < size; offset += HX_MAX_BLOCK) {
        const auto length = std::min<uint32_t>(HX_MAX_BLOCK, size - offset);
        if (!HX_ReceiveData(device, static_cast<int32_t>(offset), static_cast<int32_t>(length), bytes.data() + offset))
            return std::nullopt;
    }
    return bytes;
}

}  // namespace libraryfiles
