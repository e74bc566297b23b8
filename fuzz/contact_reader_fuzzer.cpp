// Feeds arbitrary bytes to the contact file reader: it must either fill the record or raise
// ContactFileError, never crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/contact_file_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    plumbrae::core::ContactRecord record;
    try {
        plumbrae::core::ReadContactBytes(bytes, "fuzz.meta", record);
    } catch (const plumbrae::core::ContactFileError&) {
        // A clear refusal is a correct answer to damaged input.
    }
    return 0;
}
