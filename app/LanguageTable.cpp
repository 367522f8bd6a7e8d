#include "LanguageTable.h"

#include "ControlText.h"

#include <QGroupBox>
#include <QWidget>

namespace {

LanguageRow text(const char* window, const char* target, const char* ru, const char* en)
{
    return {RowKind::Text, QString::fromUtf8(window), QString::fromUtf8(target), QString::fromUtf8(ru),
            QString::fromUtf8(en)};
}

LanguageRow left(const char* target, int ru, int en)
{
    return {RowKind::Left, QStringLiteral("Form1"), QString::fromUtf8(target), QString::number(ru),
            QString::number(en)};
}

} // namespace

const std::vector<LanguageRow>& languageTable()
{
    static const std::vector<LanguageRow> rows = {
        {RowKind::Lang, QStringLiteral("Form1"), QStringLiteral("Lang"), QStringLiteral("RU"), QStringLiteral("EN")},
        text("Form1", "Menu_Language", "Language", "Язык"),
        text("Form1", "Menu_File", "Файл", "File"),
        text("Form1", "Menu_File_Inheritance", "Проверять наследование", "Check inheritance"),
        text("Form1", "Menu_File_Files", "Включать файлы", "Include files"),
        text("Form1", "Menu_File_FullSpeed", "Читать без пауз", "Read at full speed"),
        text("Form1", "Menu_File_Scope", "Что проверять…", "What to check…"),
        text("Form1", "Menu_File_Differences", "Отчёт о различиях", "Differences report"),
        text("Form1", "Menu_File_FixFile", "Сохранить файл исправления…", "Save fix file…"),
        text("Form1", "Menu_File_HtmlReport", "Сохранить отчёт HTML…", "Save HTML report…"),
        text("Form1", "Menu_File_SaveBaseline", "Сохранить снимок…", "Save baseline…"),
        text("Form1", "Menu_File_CompareBaseline", "Сравнить со снимком…", "Compare with baseline…"),
        text("Form1", "Menu_File_Who", "Кто имеет доступ…", "Who has access…"),
        text("Form1", "Menu_File_Close", "Закрыть", "Close"),
        text("Form1", "Menu_Help", "Помощь", "Help"),
        text("Form1", "Menu_About", "О программе", "About.."),
        text("Form1", "Button7", "ДАЛЬШЕ >>", "NEXT >>"),
        text("Form1", "Button2", "ДАЛЬШЕ >>", "NEXT >>"),
        text("Form1", "ResultsButton", "РЕЗУЛЬТАТЫ >>", "RESULTS >>"),
        text("Form1", "Button5", "<< ВЕРНУТЬСЯ", "<< BACK"),
        text("Form1", "Button1", "ПОЛНЫЙ ПОДРОБНЫЙ ОТЧЕТ", "FULL DETAIL REPORT"),
        text("Form1", "Button3", "<< ПРОВЕРИТЬ ЕЩЕ", "<< CHECK AGAIN"),
        text("Form1", "ButtonStop", "Остановить", "Stop"),
        {RowKind::PageCaption, QStringLiteral("Form1"), QStringLiteral("GroupBox3"),
         QStringLiteral(" Проверяемая папка : "), QStringLiteral(" Checked folder : ")},
        {RowKind::CopyCaption, QStringLiteral("Form1"), QStringLiteral("GroupBox4"), {}, {}},
        {RowKind::CopyCaption, QStringLiteral("Form1"), QStringLiteral("GroupBox5"), {}, {}},
        {RowKind::CopyCaption, QStringLiteral("Form1"), QStringLiteral("GroupBox1"), {}, {}},
        text("Form1", "GroupBox6", " Скорость обработки информации ", " Handling speed "),
        text("Form1", "Label19", "Быстро", "Quickly"),
        text("Form1", "Label2", "Нормально", "Normally"),
        left("Label2", 136, 144),
        text("Form1", "Label6", "Медленно", "Slowly"),
        left("Label6", 504, 524),
        text("Form1", "Label20", "Предполагаемое время выполнения : ", "Expected processing time : "),
        text("Form1", "Label1", "Ждите. Идет выполнение.", "Pleas wait. It is in a progress now."),
        left("Label1", 227, 204),
        text("Form1", "Label3", "Скорость обработки информации - соответствует той, которую вы выбрали.",
             "The handling speed is correlated with the speed that you have chosen."),
        left("Label3", 108, 153),
        text("Form1", "Label14", "Осталось примерно : ", "Remaining time : "),
        text("Form1", "Label9", "Чтение POSIX разрешений папок", "Reading folders POSIX permissions"),
        text("Form1", "Label18", "Проверка ошибок чтения", "Checking for read errors"),
        text("Form1", "Label10", "Анализ соответствия", "Mismatch nasalization"),
        {RowKind::Warnings,
         QStringLiteral("Form1"),
         QStringLiteral("Warnings"),
         {},
         {}}, // texts kept by the check state
        text("Form1", "Memo1",
             "\r\n\r\n\r\n\r\n\r\n\r\nВыберете папку, которую желаете проверить, и нажмите кнопку \"ДАЛЬШЕ >>\"",
             "\r\n\r\n\r\n\r\n\r\n\r\nChoose a folder that you would like to check, and press the button “ NEXT>> ”"),
        text(
            "Form1", "Memo2",
            "Для продолжения нажмите кнопку \"ДАЛЬШЕ >>\". Будет проведен анализ списков доступа всех вложенных папок.\r\n"
            "Предполагаемое время выполнения указано в поле \"Скорость обработки информации\". Вы можете изменить скорость "
            "обработки по своему усмотрению. Если Вы проверяете сетевые папки, рекомендуется снизить скорость. Для локальных "
            "папок скорость может быть повышена.\r\n"
            "В любом случае процесс анализа контролируется. При возникновении ошибок Вам будет предложено повторить операцию "
            "на более медленной скорости.\r\n"
            "Если Вы желаете выбрать другую папку для проверки, нажмите кнопку  \"<< ВЕРНУТЬСЯ\".",
            "Press the button “ NEXT >> ” to continue. The analysis of permissions lists of all subfolders will be made.\r\n"
            "Estimated processing time is shown in a field “ Handling speed ”. You can change the processing speed at your "
            "discretion. If you are checking network folders, it is recommended to decrease the speed. For local folders the "
            "speed can be increased.\r\n"
            "In any case the process is supervised. If an error occurs you will be suggested to repeat the operation on a "
            "slower speed.\r\n"
            "If you wish to choose another folder for checking press the button “ << BACK ”."),
        // Button4 and Memo3 follow the kind of check: the engine sets them (KindTexts).
        text("Form2", "Form2", "Помощь", "Help"),
        text("Form2", "Memo1", "Всю информацию смотрите на сайте", "You can find all information on the site"),
        text("Form4", "Form4", "О программе", "About the program"),
        text("Form4", "Memo1", "Версия 2.0\r\nот 10 октября 2008 года", "Version 2.0\r\n10 October 2008"),
    };
    return rows;
}

void applyLanguage(bool english, const std::vector<NamedWindow>& windows, gw::CheckState& state,
                   const QString& selectedPrintable)
{
    const auto windowNamed = [&windows](const QString& name) -> QWidget* {
        for (const NamedWindow& w : windows) {
            if (w.name == name)
                return w.window;
        }
        return nullptr;
    };
    QWidget* const form1 = windowNamed(QStringLiteral("Form1"));
    auto* const folderPage = form1 ? form1->findChild<QGroupBox*>(QStringLiteral("GroupBox3")) : nullptr;
    for (const LanguageRow& row : languageTable()) {
        const QString& value = english ? row.en : row.ru;
        QWidget* window = windowNamed(row.window);
        if (!window)
            continue;
        QObject* target = window->objectName() == row.target ? window : window->findChild<QObject*>(row.target);
        switch (row.kind) {
        case RowKind::Lang: state.Lang = value; break;
        case RowKind::Warnings: gw::setWarningTexts(state, english); break;
        case RowKind::PageCaption:
            if (folderPage)
                folderPage->setTitle(value + selectedPrintable);
            break;
        case RowKind::CopyCaption:
            if (auto* box = qobject_cast<QGroupBox*>(target); box && folderPage)
                box->setTitle(folderPage->title());
            break;
        case RowKind::Left:
            if (auto* w = qobject_cast<QWidget*>(target))
                w->move(value.toInt(), w->y());
            break;
        case RowKind::Text: setControlText(target, value); break;
        }
    }
}
