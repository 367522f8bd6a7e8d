#pragma once
// What one principal can do where, as a window of the program's own: the
// places where the rights change (WhoModel), a filter (Ctrl+F), copying a
// place's path or a line (Ctrl+C, or the context menu, which copies a
// place's whole line too), a button that opens the rights report
// (acl_who.txt), and a double-click on a place that shows its folder in the
// main window's folder tree.

#include "PlaceTreeControls.h"
#include "WhoModel.h"
#include "ui_WhoWindow.h"

#include <QDialog>

#include <functional>

class WhoWindow : public QDialog {
    Q_OBJECT
public:
    // `verdict` says what the principal can do, in counts; `openReport`
    // opens the rights report; `showFolder` is called with the raw path of
    // a place that is double-clicked.
    WhoWindow(QWidget* parent, const gw::WhoFindings& findings, const QString& verdict, bool russian,
              std::function<void()> openReport, std::function<void(const QByteArray&)> showFolder);

    Ui::WhoWindow ui;
    WhoModel& model() { return model_; }
    // The text of the current row: a place's path, or a line.
    QString currentText() const;
    void copyCurrent() const;
    // The current row as one line: a place's columns, tab-separated.
    void copyCurrentLine() const;

private:
    WhoModel model_;
    PlaceTreeControls* controls_ = nullptr;
    std::function<void(const QByteArray&)> showFolder_;
};
