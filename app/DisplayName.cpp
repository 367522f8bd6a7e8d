#include "DisplayName.h"

#include <QList>

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

// The C1 controls, the line and paragraph separators, the format characters
// (bidirectional controls, zero-width spaces and joiners, the soft hyphen ...)
// and every space but U+0020: the same characters the printable form escapes.
bool isHiddenControl(const QString& text)
{
    const QList<uint> ucs4 = text.toUcs4();
    if (ucs4.size() != 1)
        return false;
    const char32_t c = ucs4.front();
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: return true;
    case QChar::Separator_Space: return c != U' ';
    default: return false;
    }
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
        else if (const QString text = QString::fromUtf8(raw.constData() + i, n); isHiddenControl(text))
            name.append(QChar(QChar::ReplacementCharacter)); // never reorders or hides what follows
        else
            name.append(text);
        i += n;
    }
    return name;
}
