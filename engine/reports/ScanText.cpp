#include "engine/reports/ScanText.h"

#include "engine/reports/LanguageText.h"
#include "engine/reports/Reports.h"
#include "platform/FolderTree.h"
#include "platform/PrintableText.h"

#include <algorithm>

namespace gw {

QString checkedFolderCaption(const QString& lang, const QString& printablePath)
{
    return (isEnglish(lang) ? QStringLiteral(" Checked folder : ") : QStringLiteral(" Проверяемая папка : "))
        + printablePath;
}

QString countLine(const QString& lang, int count)
{
    if (isRussian(lang))
        return QStringLiteral("Содержит ") + QString::number(count - 1) + QStringLiteral(" подпапок");
    return QStringLiteral("It contains ") + QString::number(count - 1) + QStringLiteral(" subfolders");
}

QString levelLine(const QString& lang, int maxLevel)
{
    const QString label = isRussian(lang) ? QStringLiteral("Максимальный уровень вложения - ")
                                          : QStringLiteral("The max subfolder level - ");
    return QStringLiteral("\r\n") + label + QString::number(maxLevel);
}

void appendFolderListing(QString& out, const FolderTree& tree, int& maxLevel, const std::function<void(int)>& step)
{
    maxLevel = 0;
    const int n = tree.count();
    // Each line is appended in place: the text grows in linear time.
    out.reserve(out.size() + static_cast<qsizetype>(n) * 64);
    for (int i = 0; i < n; ++i) {
        if (step)
            step(i);
        const int level = tree.level(i);
        const std::string path = tree.printablePath(i);
        out.append(QLatin1String("\r\n"));
        out.append(QString(static_cast<qsizetype>(level) * 5, QLatin1Char(' ')));
        out.append(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
        if (level > maxLevel)
            maxLevel = level;
    }
}

QString reportHeader(const QString& lang, const QString& printablePath, const QString& countAndLevel)
{
    const QString head = isRussian(lang) ? QStringLiteral("Проверяемая папка ")
                                         : QStringLiteral("The checked folder is ");
    return head + printablePath + QStringLiteral("\r\n\r\n") + countAndLevel;
}

} // namespace gw
