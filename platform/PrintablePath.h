#pragma once
// The one printable form of a path.
//
// A Linux name may hold any byte but "/" and NUL. Every text this program
// composes or compares shows a path in this form: a backslash, every control
// character (0x00-0x1F, 0x7F), every byte that is not part of well-formed
// UTF-8, a blank that ends a name (before a "/" or at the end of the text) and
// a "(" that follows ":" are written as a backslash and three octal digits;
// the characters isHiddenCharacter names below, which would make a viewer
// break the line, show the text in another order, or show two different
// names alike, are written byte by byte in the same way;
// every other byte stands as it is. The result is valid UTF-8, never ends a
// name with a blank, never holds a line break, and a child's printable path
// always begins with its parent's.

#include <string>
#include <string_view>

namespace gw {

// True for a character that a terminal or viewer would act on, or show as
// nothing or as a plain blank, rather than show as itself: the C1 controls,
// the line and paragraph separators, every format character (Unicode's
// general category Cf: the bidirectional marks, embeddings, overrides and
// isolates, which reorder what is shown around them, the zero-width spaces
// and joiners, the soft hyphen, the byte order mark ...), every space but
// U+0020, every other default-ignorable code point (the combining grapheme
// joiner, the Hangul fillers, the variation selectors ...) and the braille
// pattern blank. Two names that differ only in such a character would look
// the same. The folder tree shows each of them as U+FFFD.
bool isHiddenCharacter(char32_t c);

// Appends the printable form of `raw` to `out`.
void appendPrintable(std::string& out, std::string_view raw);

std::string printable(std::string_view raw);

// Makes `path` the path of its child `name`: a "/" between them unless
// `path` ends with one ("/" itself). In printable form too, since a child's
// printable path is its parent's, "/" and its printable name.
inline void appendChild(std::string& path, std::string_view name)
{
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    path.append(name);
}

// The raw bytes of a printable path: every backslash there starts an octal
// escape, so the form can be read back exactly.
std::string rawFromPrintable(std::string_view printable);

// The printable form of a user's or group's name in a listing: as above, and
// every blank is written \040, so that a listing's words are never part of a
// name; a name of digits only has its first digit written as an octal escape
// ("4242" gives "\064242"), so that it never reads as an id without a name.
std::string printableName(std::string_view name);

// The printable form of `text` with every blank written \040 as well, so
// that it reads as one word.
std::string printableWord(std::string_view text);

} // namespace gw
