#include "ReportOpener.h"

#include "DesktopOpener.h"
#include "ReportViewer.h"

#include <QPointer>
#include <QProcess>
#include <QWidget>

ReportLauncher& reportLauncher()
{
    static ReportLauncher launcher = [](const QUrl& url, std::function<void(int)> done) {
        auto* process = new QProcess;
        process->setProgram(QStringLiteral("xdg-open"));
        process->setArguments({url.toString(QUrl::FullyEncoded)});
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(process, &QProcess::finished, process, [process, done](int code, QProcess::ExitStatus how) {
            done(how == QProcess::NormalExit ? code : -1);
            process->deleteLater();
        });
        QObject::connect(process, &QProcess::errorOccurred, process, [process, done](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                done(-1);
                process->deleteLater();
            }
        });
        process->start();
    };
    return launcher;
}

QString openFailureText(int exitStatus, bool russian)
{
    // xdg-open's exit statuses.
    QString why;
    switch (exitStatus) {
    case -1:
        why = russian ? QStringLiteral("xdg-open не запускается") : QStringLiteral("xdg-open cannot be started");
        break;
    case 1:
        why = russian ? QStringLiteral("xdg-open не понял запроса")
                      : QStringLiteral("xdg-open did not take the request");
        break;
    case 2:
        why = russian ? QStringLiteral("xdg-open не нашёл файл") : QStringLiteral("xdg-open did not find the file");
        break;
    case 3:
        why = russian ? QStringLiteral("нет программы для текстовых файлов")
                      : QStringLiteral("no program is set to open text files");
        break;
    case 4:
        why = russian ? QStringLiteral("программа для текстовых файлов не открыла его")
                      : QStringLiteral("the program for text files did not open it");
        break;
    default:
        why = (russian ? QStringLiteral("xdg-open завершился с кодом ") : QStringLiteral("xdg-open ended with status "))
            + QString::number(exitStatus);
        break;
    }
    return russian
        ? QStringLiteral("Рабочий стол не открыл отчёт (") + why + QStringLiteral("), он показан здесь.")
        : QStringLiteral("The desktop did not open the report (") + why + QStringLiteral("), so it is shown here.");
}

std::chrono::milliseconds& reportFailureWindow()
{
    static std::chrono::milliseconds window {2000};
    return window;
}

void openReport(QWidget* parent, const QByteArray& rawPath, bool russian)
{
    const QPointer<QWidget> owner(parent);
    const auto launched = std::chrono::steady_clock::now();
    reportLauncher()(fileUrl(rawPath), [owner, rawPath, russian, launched](int exitStatus) {
        if (exitStatus == 0 || !owner)
            return;
        // A late end is the viewer's own, closed by the user: it showed the file.
        if (exitStatus != -1 && std::chrono::steady_clock::now() - launched >= reportFailureWindow())
            return;
        auto* viewer = new ReportViewer(owner, rawPath, openFailureText(exitStatus, russian), russian);
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->show();
    });
}
