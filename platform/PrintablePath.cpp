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

// True for a well-formed sequence that a terminal or viewer would act on
// rather than show: the C1 controls (U+0080..U+009F), the line and paragraph
// separators (U+2028, U+2029), and the bidirectional marks, embeddings,
// overrides and isolates (U+061C, U+200E, U+200F, U+202A..U+202E,
// U+2066..U+2069), which can break a line or reorder what is shown around them.
bool isHiddenControl(std::string_view s, std::size_t i, std::size_t n)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    if (n == 2)
        return (byte(0) == 0xC2 && byte(1) <= 0x9F) || (byte(0) == 0xD8 && byte(1) == 0x9C);
    if (n == 3 && byte(0) == 0xE2)
        return (byte(1) == 0x80
                && ((byte(2) >= 0xAA && byte(2) <= 0xAE) || byte(2) == 0xA8 || byte(2) == 0xA9 || byte(2) == 0x8E
                    || byte(2) == 0x8F))
            || (byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9);
    return false;
}

} // namespace

void appendPrintable(std::string& out, std::string_view raw)
{
    out.reserve(out.size() + raw.size());
    std::size_t i = 0;
    while (i < raw.size()) {
        const auto b = static_cast<unsigned char>(raw[i]);
        if (b >= 0x80) {
            const std::size_t n = utf8SequenceLength(raw, i);
            if (n == 0) {
                appendOctal(out, b);
                ++i;
            } else if (isHiddenControl(raw, i, n)) {
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
