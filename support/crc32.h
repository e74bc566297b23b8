#pragma once

#include <cstdint>
#include <string_view>

namespace plumbrae::support {

/// The reflected CRC-32 (polynomial 0xEDB88320) as personal folders files use it: the register
/// starts at `initial` (0 for a fresh checksum) and is not inverted at the end. Passing the
/// previous result as `initial` continues a checksum over the next piece of data.
std::uint32_t pstCrc32(std::string_view data, std::uint32_t initial = 0);

} // namespace plumbrae::support
