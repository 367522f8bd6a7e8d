#include "platform/PrintablePath.h"

namespace gw {
namespace {

// Length of the well-formed UTF-8 sequence (RFC 3629) starting at s[i], or 0.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    const std::size_t left = s.size() - i;
    const auto cont = [&](std::size_t k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
        return byte(k) >= lo && byte(k) <= hi;
    };
    if (b0 >= 0xC2 && b0 <= 0xDF)
        return left >= 2 && cont(i + 1) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (left < 3)
            return 0;
        const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF; // no surrogates
        return cont(i + 1, lo, hi) && cont(i + 2) ? 3 : 0;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (left < 4)
            return 0;
        const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80; // no overlong forms
        const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
        return cont(i + 1, lo, hi) && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    return 0;
}

void appendOctal(std::string& out, unsigned char b)
{
    const char text[4] = {'\\', static_cast<char>('0' + (b >> 6)), static_cast<char>('0' + ((b >> 3) & 7)),
                          static_cast<char>('0' + (b & 7))};
    out.append(text, 4);
}

// The code point of the well-formed sequence of `n` bytes at s[i].
char32_t codePoint(std::string_view s, std::size_t i, std::size_t n)
{
    const auto byte = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(s[i + k])); };
    switch (n) {
    case 2: return (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
    case 3: return (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
    default: return (byte(0) & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6 | (byte(3) & 0x3F);
    }
}

} // namespace

bool isHiddenCharacter(char32_t c)
{
    struct Range {
        char32_t first, last;
    };
    static constexpr Range kHidden[] = {
        {0x0080, 0x009F}, // C1 controls
        {0x00A0, 0x00A0}, // no-break space
        {0x00AD, 0x00AD}, // soft hyphen
        {0x034F, 0x034F}, // combining grapheme joiner
        {0x0600, 0x0605}, // Arabic number signs
        {0x061C, 0x061C}, // Arabic letter mark
        {0x06DD, 0x06DD},   {0x070F, 0x070F},   {0x0890, 0x0891},
        {0x08E2, 0x08E2},   {0x115F, 0x1160}, // Hangul choseong and jungseong fillers
        {0x1680, 0x1680}, // Ogham space mark
        {0x17B4, 0x17B5}, // Khmer inherent vowels
        {0x180B, 0x180F}, // Mongolian variation selectors and vowel separator
        {0x2000, 0x200F}, // the typographic spaces, zero-width space, joiners, LRM, RLM
        {0x2028, 0x202F}, // line and paragraph separators, bidirectional embeddings, narrow no-break space
        {0x205F, 0x206F}, // medium mathematical space, word joiner, invisible operators, isolates ...
        {0x2800, 0x2800}, // braille pattern blank
        {0x3000, 0x3000}, // ideographic space
        {0x3164, 0x3164}, // Hangul filler
        {0xFE00, 0xFE0F}, // variation selectors
        {0xFEFF, 0xFEFF}, // byte order mark, zero-width no-break space
        {0xFFA0, 0xFFA0}, // halfwidth Hangul filler
        {0xFFF0, 0xFFFB}, // reserved ignorables, interlinear annotation
        {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, // Egyptian hieroglyph format controls
        {0x1BCA0, 0x1BCA3}, // shorthand format controls
        {0x1D173, 0x1D17A}, // musical symbol format controls
        {0xE0000, 0xE0FFF}, // tags, variation selectors supplement, reserved ignorables
    };
    for (const Range& r : kHidden) {
        if (c < r.first)
            return false;
        if (c <= r.last)
            return true;
    }
    return false;
}

namespace {

// Printable ASCII that no rule below escapes, alone or beside another byte
// (a blank and "(" may be escaped for what stands beside them).
bool standsAsItIs(unsigned char b)
{
    return b > 0x20 && b < 0x7F && b != '\\' && b != '(';
}

} // namespace

void appendPrintable(std::string& out, std::string_view raw)
{
    out.reserve(out.size() + raw.size());
    std::size_t i = 0;
    while (i < raw.size()) {
        // Bytes that stand as they are whatever is around them, at once.
        std::size_t plain = i;
        while (plain < raw.size() && standsAsItIs(static_cast<unsigned char>(raw[plain])))
            ++plain;
        out.append(raw.data() + i, plain - i);
        i = plain;
        if (i == raw.size())
            break;
        const auto b = static_cast<unsigned char>(raw[i]);
        if (b >= 0x80) {
            const std::size_t n = utf8SequenceLength(raw, i);
            if (n == 0) {
                appendOctal(out, b);
                ++i;
            } else if (isHiddenCharacter(codePoint(raw, i, n))) {
                for (std::size_t k = 0; k < n; ++k)
                    appendOctal(out, static_cast<unsigned char>(raw[i + k]));
                i += n;
            } else {
                out.append(raw.substr(i, n));
                i += n;
            }
            continue;
        }
        const bool escape = b < 0x20 || b == 0x7F || b == '\\'
            || (b == ' ' && (i + 1 == raw.size() || raw[i + 1] == '/')) || (b == '(' && i > 0 && raw[i - 1] == ':');
        if (escape)
            appendOctal(out, b);
        else
            out.push_back(static_cast<char>(b));
        ++i;
    }
}

std::string printable(std::string_view raw)
{
    std::string out;
    appendPrintable(out, raw);
    return out;
}

std::string rawFromPrintable(std::string_view text)
{
    std::string raw;
    raw.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto octal = [&](std::size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '7'; };
        if (text[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            raw.push_back(
                static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) | (text[i + 3] - '0')));
            i += 3;
        } else {
            raw.push_back(text[i]);
        }
    }
    return raw;
}

std::string printableName(std::string_view name)
{
    std::string out;
    const bool digitsOnly = !name.empty() && name.find_first_not_of("0123456789") == std::string_view::npos;
    if (digitsOnly) {
        appendOctal(out, static_cast<unsigned char>(name[0]));
        name.remove_prefix(1);
    }
    return out + printableWord(name);
}

std::string printableWord(std::string_view text)
{
    std::string out;
    std::size_t start = 0;
    for (std::size_t blank = text.find(' '); blank != std::string_view::npos; blank = text.find(' ', start)) {
        appendPrintable(out, text.substr(start, blank - start));
        appendOctal(out, ' ');
        start = blank + 1;
    }
    appendPrintable(out, text.substr(start));
    return out;
}

} // namespace gw
