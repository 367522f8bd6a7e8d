#pragma once
// Which of the two languages a text is in, and the time stamps texts of
// durations are made from.

#include <QLatin1String>
#include <QString>

namespace gw {

// The language of the window's texts. The language switch sets Lang to "RU"
// or "EN", and every text follows one of two tests, each as its phase has
// always made it: most ask "is it Russian?" (anything else reads English),
// the checked-folder caption asks "is it English?" (anything else reads
// Russian). Before the first show Lang is empty, and the two answers differ.
inline bool isRussian(const QString& lang)
{
    return lang == QLatin1String("RU");
}
inline bool isEnglish(const QString& lang)
{
    return lang == QLatin1String("EN");
}

// The current time stamp, in days.
double timeStamp();

} // namespace gw
