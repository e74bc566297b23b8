// encodeCharacter with WideCharToMultiByte. Best-fit mappings are switched off and a character
// that needed the default character counts as missing, so only exact mappings are taken.

#include "support/code_page.h"

#include <windows.h>

namespace plumbrae::support {

bool encodeCharacter(std::uint16_t codePage, char32_t character, std::string& bytes) {
    wchar_t wide[2];
    int wideLength = 1;
    if (character >= 0x10000) {
        const auto value = static_cast<std::uint32_t>(character) - 0x10000U;
        wide[0] = static_cast<wchar_t>(0xD800U + (value >> 10U));
        wide[1] = static_cast<wchar_t>(0xDC00U + (value & 0x3FFU));
        wideLength = 2;
    } else {
        wide[0] = static_cast<wchar_t>(character);
    }
    char output[16];
    BOOL usedDefault = FALSE;
    const int written = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, wideLength,
                                            output, sizeof output, nullptr, &usedDefault);
    if (written <= 0 || usedDefault) {
        return false;
    }
    bytes.append(output, static_cast<std::size_t>(written));
    return true;
}

} // namespace plumbrae::support
