#include "platform/SystemErrorText.h"

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
    {EXDEV, "Неверная ссылка между устройствами"},
};

} // namespace

std::string systemErrorText(int error, Language language)
{
    if (language == Language::Russian) {
        for (const Reason& r : kRussianReasons) {
            if (r.error == error)
                return r.russian;
        }
    }
    return std::strerror(error);
}

} // namespace gw
