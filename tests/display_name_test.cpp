#include "DisplayName.h"

#include <gtest/gtest.h>

TEST(DisplayName, ShowsTheNameAsAFileManagerWould)
{
    const struct {
        QByteArray raw;
        QString shown;
    } cases[] = {
        {"Documents", u"Documents"_qs},
        {"back\\slash", u"back\\slash"_qs}, // no escapes
        {"line\nbreak", u"line\u240Abreak"_qs}, // control pictures
        {"tab\there\r", u"tab\u2409here\u240D"_qs},
        {"del\x7f", u"del\u2421"_qs},
        {QByteArray("nul\0x", 5), u"nul\u2400x"_qs},
        {"trail ", u"trail\u2423"_qs}, // a blank that ends the name
        {"two  ", u"two \u2423"_qs},
        {"Отчёты 2024", u"Отчёты 2024"_qs}, // UTF-8 as it is
        {"\xff", u"\uFFFD"_qs}, // not UTF-8: one mark a byte
        {"evil\xe2\x80\xaetxt\xc2\x85", u"evil\uFFFDtxt\uFFFD"_qs}, // bidi and C1 controls never act
        {"zw\xe2\x80\x8bsp\xc2\xa0", u"zw\uFFFDsp\uFFFD"_qs}, // invisible and look-alike characters
        // default-ignorable ones of other categories, the braille blank, a byte order mark
        {"a\xcd\x8f\xe3\x85\xa4\xef\xb8\x8f\xf3\xa0\x84\x80\xe2\xa0\x80\xef\xbb\xbf",
         u"a\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"_qs},
        {"\xe2\xa0\x81\xcc\x81", u"\u2801\u0301"_qs}, // a braille dot and a combining accent are shown
        {"\xc3\xa9t\xc3", u"\u00E9t\uFFFD"_qs}, // a truncated sequence
        {"\xc0\xaf", u"\uFFFD\uFFFD"_qs}, // overlong "/"
        {"\xed\xa0\x80", u"\uFFFD\uFFFD\uFFFD"_qs}, // a surrogate
        {"\xf4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"_qs}, // above U+10FFFF
    };
    for (const auto& c : cases)
        EXPECT_EQ(displayName(c.raw), c.shown) << "raw: " << c.raw.toHex().constData();
}
