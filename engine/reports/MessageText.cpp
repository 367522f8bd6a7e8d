#include "engine/reports/MessageText.h"

#include "engine/reports/LanguageText.h"
#include "platform/PrintableText.h"
#include "platform/SystemErrorText.h"

#include <cerrno>
#include <cstring>

namespace gw {

QString systemErrorText(int error, const QString& lang)
{
    return QString::fromStdString(gw::systemErrorText(error, language(lang)));
}

Language language(const QString& lang)
{
    return isRussian(lang) ? Language::Russian : Language::English;
}

QString fileErrorText(FileAction action, const QByteArray& rawPath, int error, const QString& lang)
{
    const bool russian = isRussian(lang);
    const QString verb = action == FileAction::Read
        ? (russian ? QStringLiteral("Не удалось прочитать") : QStringLiteral("Cannot read"))
        : (russian ? QStringLiteral("Не удалось записать") : QStringLiteral("Cannot write"));
    return verb + QLatin1Char(' ') + printableText(rawPath) + QStringLiteral(": ") + systemErrorText(error, lang);
}

QString workingFolderErrorText(const QByteArray& rawBase, int error, const QString& lang)
{
    return (isRussian(lang) ? QStringLiteral("Не удалось создать рабочую папку в ")
                            : QStringLiteral("Cannot create a working folder in "))
        + printableText(rawBase) + QStringLiteral(": ") + systemErrorText(error, lang);
}

QString handlerErrorText(const QString& what, const QString& lang)
{
    if (!isRussian(lang))
        return what == QLatin1String("std::bad_alloc") ? QStringLiteral("Not enough memory") : what;
    static const QString settingPath = QStringLiteral("Error setting path: ");
    if (what.startsWith(settingPath))
        return QStringLiteral("Ошибка установки пути: ") + what.mid(settingPath.size());
    if (what == QLatin1String("Invalid index"))
        return QStringLiteral("Недопустимый индекс");
    if (what == QLatin1String("std::bad_alloc"))
        return QStringLiteral("Недостаточно памяти");
    return what;
}

QString unknownErrorText(const QString& lang)
{
    return isRussian(lang) ? QStringLiteral("Неизвестная ошибка") : QStringLiteral("Unknown error");
}

QString sentence(const QString& message)
{
    return message.left(1).toUpper() + message.mid(1);
}

} // namespace gw
