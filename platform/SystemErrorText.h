#pragma once
// The system's reason for a failure, in the language of the text it goes
// into: the window speaks Russian or English whatever the locale.

#include <string>

namespace gw {

enum class Language {
    English,
    Russian,
};

// The reason for `error` (an errno value): in Russian for the reasons a
// check meets, otherwise as the system gives it.
std::string systemErrorText(int error, Language language = Language::English);

// Picks the text of `language`.
inline const char* inLanguage(Language language, const char* english, const char* russian)
{
    return language == Language::Russian ? russian : english;
}

} // namespace gw
