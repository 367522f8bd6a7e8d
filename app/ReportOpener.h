#pragma once
// Opening a report: with the desktop's opener (xdg-open) when it can, and in
// the program's own viewer when it cannot (no program for text files, no
// desktop, xdg-open missing or failing), with one line that says why.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

class QWidget;

// How the desktop is asked to open a file: calls `done(exitStatus)` when the
// opener ends (0: opened), or `done(-1)` when it could not be started. The
// default runs xdg-open with the file's URL, without a shell and without
// waiting. Tests put a recorder in its place.
using ReportLauncher = std::function<void(const QUrl& url, std::function<void(int exitStatus)> done)>;
ReportLauncher& reportLauncher();

// Why xdg-open did not open a report, in one line of the window's language.
QString openFailureText(int exitStatus, bool russian);

// Opens the report at `rawPath`; when the desktop cannot, shows it in a
// viewer of the program's own, owned by `parent`. Without a desktop session
// xdg-open may wait for the viewer it started and give that viewer's exit
// status when it is closed: only a failure to start, or one within
// reportFailureWindow() of the launch, means the file was not shown.
void openReport(QWidget* parent, const QByteArray& rawPath, bool russian);
std::chrono::milliseconds& reportFailureWindow();
