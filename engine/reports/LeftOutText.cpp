#include "engine/reports/LeftOutText.h"

#include "engine/reports/LanguageText.h"
#include "platform/PrintablePath.h"

#include <QList>

namespace gw {

QByteArray notCheckedWords(const FolderScope& scope, int ownFoldersLeftOut, bool files, bool russian)
{
    QList<QByteArray> leftOut;
    if (ownFoldersLeftOut > 0) // the reports folder inside the checked one: what is below it is not seen
        leftOut << (russian ? QByteArray("папка отчётов со всем, что в ней")
                            : QByteArray("the reports folder, with all below it"));
    if (!scope.excludePatterns.empty()) {
        QByteArray patterns;
        for (const std::string& p : scope.excludePatterns)
            patterns += (patterns.isEmpty() ? "" : ", ") + QByteArray::fromStdString(printable(p));
        if (!russian)
            leftOut << (files ? "folders and files matching " : "folders matching ") + patterns;
        else
            leftOut << (files ? QByteArray("папки и файлы по ") : QByteArray("папки по "))
                    + (scope.excludePatterns.size() == 1 ? "шаблону " : "шаблонам ") + patterns;
    }
    if (scope.maxDepth >= 0) {
        const QByteArray depth = QByteArray::number(scope.maxDepth);
        leftOut << (russian ? "папки глубже уровня " + depth
                            : "folders more than " + depth + (scope.maxDepth == 1 ? " level below" : " levels below"));
    }
    if (scope.oneFileSystem)
        leftOut << (russian ? QByteArray("другие файловые системы") : QByteArray("other file systems"));
    return leftOut.join(", ");
}

QString notCheckedLine(const FolderScope& scope, int ownFoldersLeftOut, bool files, const QString& lang)
{
    const bool russian = isRussian(lang);
    const QByteArray words = notCheckedWords(scope, ownFoldersLeftOut, files, russian);
    if (words.isEmpty())
        return {};
    return QString::fromUtf8((russian ? "Не проверены: " : "Not checked: ") + words);
}

} // namespace gw
