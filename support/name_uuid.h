#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace plumbrae::support {

/// SHA-1 over bytes given in pieces. Used only to derive name-based identifiers, never for
/// anything that needs a secure hash.
class Sha1 {
public:
    using Digest = std::array<std::uint8_t, 20>;

    void update(std::string_view bytes);
    /// The digest of everything given so far; the object must not be updated afterwards.
    Digest finish();

private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 5> m_state{0x67452301U, 0xEFCDAB89U, 0x98BADCFEU, 0x10325476U,
                                         0xC3D2E1F0U};
    std::array<std::uint8_t, 64> m_block{};
    std::size_t m_blockSize = 0;
    std::uint64_t m_length = 0;
};

/// The 16 bytes of a UUID, in the order its text shows them.
using Uuid = std::array<std::uint8_t, 16>;

/// The name-based UUID (version 5, SHA-1) of a name within `nameSpace`, as lower-case text
/// ("xxxxxxxx-xxxx-5xxx-yxxx-xxxxxxxxxxxx"). The name is `nameParts` one after the other (so a
/// large part is not copied to join it). The same name always gives the same UUID.
std::string nameBasedUuid(const Uuid& nameSpace, std::initializer_list<std::string_view> nameParts);

} // namespace plumbrae::support
