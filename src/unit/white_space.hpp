#pragma once
// White space in unit and quantity text: the characters with the Unicode White_Space property, in UTF-8.

#include <cstddef>
#include <string_view>

namespace tarvel {

// Byte length of the White_Space character that starts `text`, or 0. Text is UTF-8.
inline std::size_t leading_space(std::string_view text) noexcept {
    if (text.empty()) return 0;
    const auto b0 = static_cast<unsigned char>(text[0]);
    if (b0 == 0x20 || (b0 >= 0x09 && b0 <= 0x0D)) return 1;
    if (text.size() >= 2 && b0 == 0xC2) {
        const auto b1 = static_cast<unsigned char>(text[1]);
        return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
    }
    if (text.size() < 3) return 0;
    const auto b1 = static_cast<unsigned char>(text[1]);
    const auto b2 = static_cast<unsigned char>(text[2]);
    bool space = false;
    if (b0 == 0xE1) {
        space = b1 == 0x9A && b2 == 0x80;  // U+1680
    } else if (b0 == 0xE2) {
        // U+2000..U+200A, U+2028, U+2029, U+202F, U+205F
        space = (b1 == 0x80 && ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF)) ||
                (b1 == 0x81 && b2 == 0x9F);
    } else if (b0 == 0xE3) {
        space = b1 == 0x80 && b2 == 0x80;  // U+3000
    }
    return space ? 3 : 0;
}

// Byte length of the White_Space character that ends `text`, or 0. Lead bytes never occur as
// continuation bytes, so a match at the end is a whole character.
inline std::size_t trailing_space(std::string_view text) noexcept {
    const std::size_t n = text.size();
    if (n == 0) return 0;
    const auto last = static_cast<unsigned char>(text[n - 1]);
    if (last < 0x80) return (last == 0x20 || (last >= 0x09 && last <= 0x0D)) ? 1 : 0;
    if (n >= 2 && static_cast<unsigned char>(text[n - 2]) == 0xC2) return leading_space(text.substr(n - 2));
    if (n >= 3) return leading_space(text.substr(n - 3)) == 3 ? 3 : 0;
    return 0;
}

inline std::string_view trim_white_space(std::string_view text) noexcept {
    while (std::size_t length = leading_space(text)) text.remove_prefix(length);
    while (std::size_t length = trailing_space(text)) text.remove_suffix(length);
    return text;
}

}  // namespace tarvel
