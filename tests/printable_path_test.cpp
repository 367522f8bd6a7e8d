#include "platform/PrintablePath.h"

#include <QChar>

#include <gtest/gtest.h>

using gw::printable;

TEST(PrintablePath, EscapesOnlyWhatCouldBreakAText)
{
    const struct {
        std::string raw, expected;
    } cases[] = {
        {"/home/alice/Documents", "/home/alice/Documents"},
        {"/a b/c", "/a b/c"}, // an inner blank stays
        {"/new\nline", "/new\\012line"}, // control characters
        {"/tab\there\x7f", "/tab\\011here\\177"},
        {"/back\\slash", "/back\\134slash"},
        {"/trailing /x", "/trailing\\040/x"}, // a blank that ends a name
        {"/trailing ", "/trailing\\040"},
        {"/two  /x", "/two \\040/x"},
        {"/a:(b", "/a:\\050b"}, // "(" after ":"
        {"/a(b:)", "/a(b:)"},
        {"/:/(x", "/:/(x"}, // "(" after "/" is harmless
        {"/\xff", "/\\377"}, // not UTF-8
        {"/Отчёты 2024", "/Отчёты 2024"}, // UTF-8 stays readable
        {"/\xc3\xa9t\xc3", "/\xc3\xa9t\\303"}, // a truncated sequence
        {"/\xc0\xaf", "/\\300\\257"}, // overlong "/"
        {"/\xed\xa0\x80", "/\\355\\240\\200"}, // a surrogate
        {"/\xf4\x90\x80\x80", "/\\364\\220\\200\\200"}, // above U+10FFFF
        {"/\xf0\x9f\x98\x80", "/\xf0\x9f\x98\x80"}, // an emoji is fine
        {std::string("/nul\0x", 6), "/nul\\000x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printable(c.raw), c.expected) << "raw: " << c.raw;
}

TEST(PrintablePath, ChildAlwaysBeginsWithParent)
{
    const std::string parents[] = {"/", "/a ", "/x:", "/bad\xe2\x82", "/tab\t"};
    const std::string names[] = {"b", "(c", " d ", "\x82\xac", "e\n"};
    for (const auto& parent : parents) {
        for (const auto& name : names) {
            const std::string child = parent.back() == '/' ? parent + name : parent + "/" + name;
            EXPECT_EQ(printable(child).rfind(printable(parent), 0), 0u) << parent << " + " << name;
        }
    }
}

TEST(PrintablePath, ControlsThatReorderOrHideTextAreEscaped)
{
    using gw::printable;
    // C1 controls and bidirectional controls, byte by byte; their neighbours stay.
    EXPECT_EQ(printable("a\xC2\x85"
                        "b"),
              "a\\302\\205b");
    EXPECT_EQ(printable("x\xC2\x9F"), "x\\302\\237");
    EXPECT_EQ(printable("\xC3\xA9\xE2\x82\xAC"), "\xC3\xA9\xE2\x82\xAC"); // é and € are text
    EXPECT_EQ(printable("evil\xE2\x80\xAEtxt.sh"), "evil\\342\\200\\256txt.sh");
    EXPECT_EQ(printable("\xE2\x80\xAA\xE2\x81\xA6\xE2\x81\xA9"), "\\342\\200\\252\\342\\201\\246\\342\\201\\251");
    EXPECT_EQ(printable("\xE2\x80\xA7\xE2\x81\xB0"), "\xE2\x80\xA7\xE2\x81\xB0"); // outside every range
    // Line and paragraph separators, and the bidirectional marks.
    EXPECT_EQ(printable("a\xE2\x80\xA8"
                        "b\xE2\x80\xA9"),
              "a\\342\\200\\250b\\342\\200\\251");
    EXPECT_EQ(printable("\xE2\x80\x8E\xE2\x80\x8F\xD8\x9C"), "\\342\\200\\216\\342\\200\\217\\330\\234");
}

TEST(PrintablePath, NamesNeverReadAsIdsOrAsMoreWords)
{
    using gw::printableName;
    EXPECT_EQ(printableName("amy user bob"), "amy\\040user\\040bob");
    EXPECT_EQ(printableName("4242"), "\\064242");
    EXPECT_EQ(printableName("0"), "\\060");
    EXPECT_EQ(printableName("42a"), "42a");
    EXPECT_EQ(printableName("a:(b "), "a:\\050b\\040");
    EXPECT_EQ(printableName("tab\there"), "tab\\011here");
}

// Names that differ only in a character shown as nothing, or as a plain
// blank, never look alike: every control, format character and line,
// paragraph or space separator but U+0020 is escaped byte by byte, and so is
// every other default-ignorable code point and the braille pattern blank;
// every other assigned character stands as it is. Checked against Qt's
// Unicode tables for every code point (ours may know characters assigned
// later).
TEST(PrintablePath, InvisibleAndLookAlikeCharactersAreEscaped)
{
    EXPECT_EQ(printable("zw\xE2\x80\x8Bsp"), "zw\\342\\200\\213sp");
    EXPECT_EQ(printable("a\xC2\xA0"
                        "b\xC2\xAD"),
              "a\\302\\240b\\302\\255");
    EXPECT_EQ(printable("\xEF\xBB\xBF"
                        "bom"),
              "\\357\\273\\277bom");
    EXPECT_EQ(printable("\xF3\xA0\x80\x81"), "\\363\\240\\200\\201"); // a tag character
    // Default-ignorable characters that are not format characters, and the
    // braille blank: a combining grapheme joiner, a Hangul filler, a
    // variation selector, one from the supplement, a reserved one.
    EXPECT_EQ(printable("a\xCD\x8F"
                        "b"),
              "a\\315\\217b");
    EXPECT_EQ(printable("\xE3\x85\xA4\xEF\xBE\xA0\xE1\x85\x9F"), "\\343\\205\\244\\357\\276\\240\\341\\205\\237");
    EXPECT_EQ(printable("x\xEF\xB8\x8F\xF3\xA0\x84\x80"), "x\\357\\270\\217\\363\\240\\204\\200");
    EXPECT_EQ(printable("\xE2\x81\xA5\xEF\xBF\xB0\xE2\xA0\x80"), "\\342\\201\\245\\357\\277\\260\\342\\240\\200");
    EXPECT_EQ(printable("\xE2\xA0\x81"), "\xE2\xA0\x81"); // a braille pattern with a dot stays
    // Escaped beyond Qt's Cc, Cf, Zl, Zp and Zs: the default-ignorable code
    // points of other categories, and the braille pattern blank.
    const auto ignorableOtherwise = [](char32_t c) {
        return c == 0x034F || c == 0x115F || c == 0x1160 || c == 0x17B4 || c == 0x17B5 || (c >= 0x180B && c <= 0x180F)
            || c == 0x2800 || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFFA0
            || (c >= 0xE0100 && c <= 0xE01EF);
    };
    int wrong = 0;
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        // UTF-8 by hand: Qt's decoders drop a leading byte order mark.
        std::string raw;
        if (c < 0x800) {
            raw = {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            raw = {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                   static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            raw = {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                   static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
        const bool escaped = printable(raw) != raw;
        const QChar::Category category = QChar::category(c);
        const bool hidden = category == QChar::Other_Control || category == QChar::Other_Format
            || category == QChar::Separator_Line || category == QChar::Separator_Paragraph
            || category == QChar::Separator_Space;
        const bool allowed = category == QChar::Other_NotAssigned || ignorableOtherwise(c);
        if (escaped != hidden && !(escaped && allowed) && ++wrong <= 10)
            ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(c) << (escaped ? " escaped" : " not escaped");
    }
    EXPECT_EQ(wrong, 0);
}
