#include "DisplayName.h"

#include "platform/PrintablePath.h"

#include <QString>

namespace {

// Length of the well-formed UTF-8 sequence (RFC 3629) at s[i], or 0.
qsizetype sequenceLength(const QByteArray& s, qsizetype i)
{
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(s[k]); };
    const auto cont = [&](qsizetype k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
        return byte(k) >= lo && byte(k) <= hi;
    };
    const unsigned char b0 = byte(i);
    const qsizetype left = s.size() - i;
    if (b0 < 0x80)
        return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF)
        return left >= 2 && cont(i + 1) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF; // no surrogates
        return left >= 3 && cont(i + 1, lo, hi) && cont(i + 2) ? 3 : 0;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80; // no overlong forms
        const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
        return left >= 4 && cont(i + 1, lo, hi) && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    return 0;
}

// The code point of the well-formed sequence of `n` bytes at s[i], decoded
// here: Qt's decoder drops a byte order mark, which must show.
char32_t codePoint(const QByteArray& s, qsizetype i, qsizetype n)
{
    const auto byte = [&](qsizetype k) { return static_cast<char32_t>(static_cast<unsigned char>(s[i + k])); };
    char32_t c = n == 1 ? byte(0) : byte(0) & (char32_t {0xFF} >> (n + 1));
    for (qsizetype k = 1; k < n; ++k)
        c = c << 6 | (byte(k) & 0x3F);
    return c;
}

} // namespace

QString displayName(const QByteArray& raw)
{
    QString name;
    name.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size();) {
        const qsizetype n = sequenceLength(raw, i);
        if (n == 0) {
            name.append(QChar(QChar::ReplacementCharacter));
            ++i;
            continue;
        }
        const auto b = static_cast<unsigned char>(raw[i]);
        if (n == 1 && b < 0x20)
            name.append(QChar(char16_t(0x2400 + b)));
        else if (n == 1 && b == 0x7F)
            name.append(QChar(char16_t(0x2421)));
        else if (n == 1 && b == ' ' && i + 1 == raw.size())
            name.append(QChar(char16_t(0x2423)));
        else if (gw::isHiddenCharacter(codePoint(raw, i, n))) // the same as the printable form escapes
            name.append(QChar(QChar::ReplacementCharacter)); // never reorders or hides what follows
        else
            name.append(QString::fromUtf8(raw.constData() + i, n));
        i += n;
    }
    return name;
}
