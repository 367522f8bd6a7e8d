#include "engine/paced/KindTexts.h"

#include "engine/reports/LanguageText.h"

namespace gw {

namespace {

struct KindWords {
    const char* buttonRu;
    const char* buttonEn;
    const char* reportRu; // what the report is about
    const char* reportEn;
};

const KindWords& wordsOf(CheckKind kind)
{
    static const KindWords kWords[] = {
        {"ОТЧЕТ О СООТВЕТСВИЯХ", "MISMATCHES REPORT",
         "о подпапках, списки доступа которых отличаются от списков доступа проверяемой папки",
         "regarding subfolders that have permissions lists not matched to permissions lists of the checked folder"},
        {"ОТЧЕТ О НАСЛЕДОВАНИИ", "INHERITANCE REPORT",
         "о папках и файлах, которые не получили того, что даёт им их папка",
         "on folders and files that do not carry what their folder gives them"},
        {"ОТЧЕТ ОБ ИЗМЕНЕНИЯХ", "DRIFT REPORT", "о том, что изменилось со времени снимка",
         "on what changed since the baseline"},
        {"ОТЧЕТ О ПРАВАХ", "RIGHTS REPORT", "о том, что может выбранный пользователь или группа в каждом месте",
         "on what the chosen user or group can do in each place"},
    };
    return kWords[static_cast<int>(kind)];
}

} // namespace

QString reportButtonText(CheckKind kind, const QString& lang)
{
    const KindWords& w = wordsOf(kind);
    return QString::fromUtf8(isRussian(lang) ? w.buttonRu : w.buttonEn);
}

QString resultsHelpText(CheckKind kind, const QString& lang)
{
    const KindWords& w = wordsOf(kind);
    if (isRussian(lang))
        return QStringLiteral("Перед Вами результаты проверки.\r\nЕсли Вы хотите посмотреть отчет ")
            + QString::fromUtf8(w.reportRu) + QStringLiteral(", нажмите кнопку \"") + QString::fromUtf8(w.buttonRu)
            + QStringLiteral("\".\r\n"
                             "Для просмотра подробного отчета о всех подпапках проверяемой папки, нажмите кнопку "
                             "\" ПОЛНЫЙ ПОДРОБНЫЙ ОТЧЕТ\".\r\n"
                             "Для того, что выбрать новую папку для проверки, нажмите кнопку \"<< ПРОВЕРИТЬ ЕЩЕ\".");
    return QStringLiteral("The result of checking is shown.\r\nIf you wish to view the report ")
        + QString::fromUtf8(w.reportEn) + QStringLiteral(", press the button “ ") + QString::fromUtf8(w.buttonEn)
        + QStringLiteral(" ”.\r\n"
                         "For viewing the detail report about all subfolders that are contained by the checked "
                         "folder, press the button “ FULL DETAIL REPORT ”.\r\n"
                         "If you wish to choose a new folder for a checking, press the button “ << CHECK AGAIN ”.");
}

} // namespace gw
