// What the window's checks take in and compare: the scope, set from the
// window, taken up by the scan, and what was left out said on its pages.

#include "engine/paced/CheckEngine.h"
#include "engine/reports/LanguageText.h"

namespace gw {

void CheckEngine::setScope(const FolderScope& scope, const IgnoredParts& ignored)
{
    scope_ = scope;
    scope_.excluded.clear(); // the program's own folders are the engine's to say
    ignored_ = ignored;
}

QString CheckEngine::leftOutLines(const QString& lang, const QString& notChecked, int hiddenLeftOut) const
{
    QString lines;
    if (!notChecked.isEmpty())
        lines += QStringLiteral("\r\n") + notChecked;
    if (hiddenLeftOut > 0) {
        const QString count = QString::number(hiddenLeftOut);
        lines += isRussian(lang)
            ? QStringLiteral(
                  "\r\nСкрытые папки не проверены (со всем, что в них): %1 (проверяет Файл > Что проверять…)")
                  .arg(count)
            : QStringLiteral(
                  "\r\nHidden folders not checked, with all below them: %1 (File > What to check… checks them)")
                  .arg(count);
    }
    return lines;
}

} // namespace gw
