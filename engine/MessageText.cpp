#include "engine/MessageText.h"

#include "engine/CheckState.h"
#include "platform/PrintableText.h"

#include <cerrno>
#include <cstring>

namespace gw {
namespace {

struct Reason {
    int error;
    const char* russian;
};

// The reasons a check meets when it reads folders and writes its files.
constexpr Reason kRussianReasons[] = {
    {EPERM, "Операция не позволена"},
    {ENOENT, "Нет такого файла или каталога"},
    {EIO, "Ошибка ввода-вывода"},
    {ENOMEM, "Недостаточно памяти"},
    {EACCES, "Отказано в доступе"},
    {EBUSY, "Устройство или ресурс занято"},
    {EEXIST, "Файл существует"},
    {ENOTDIR, "Это не каталог"},
    {EISDIR, "Это каталог"},
    {EINVAL, "Недопустимый аргумент"},
    {EMFILE, "Слишком много открытых файлов"},
    {ENFILE, "Слишком много открытых файлов в системе"},
    {EFBIG, "Файл слишком велик"},
    {ENOSPC, "На устройстве не осталось свободного места"},
    {EROFS, "Файловая система доступна только для чтения"},
    {ENAMETOOLONG, "Слишком длинное имя файла"},
    {ELOOP, "Слишком много уровней символьных ссылок"},
    {ENOTSUP, "Операция не поддерживается"},
    {EDQUOT, "Превышена дисковая квота"},
    {ESTALE, "Устаревший дескриптор файла"},
    {ETXTBSY, "Текстовый файл занят"},
};

} // namespace

QString systemErrorText(int error, const QString& lang)
{
    if (isRussian(lang)) {
        for (const Reason& r : kRussianReasons) {
            if (r.error == error)
                return QString::fromUtf8(r.russian);
        }
    }
    return QString::fromLocal8Bit(std::strerror(error));
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

} // namespace gw
