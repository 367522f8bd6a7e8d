#pragma once
// The differences report as a window of the program's own: the places where
// differences start, each expanding to its lines, a filter (Ctrl+F), copying
// a path or a line (Ctrl+C, or the context menu), and a double-click on a
// place that shows its folder in the main window's folder tree.

#include "DifferencesModel.h"
#include "PlaceTreeControls.h"
#include "ui_DifferencesWindow.h"

#include <QDialog>

#include <functional>

class DifferencesWindow : public QDialog {
    Q_OBJECT
public:
    // `heading` says what was compared; `showFolder` is called with the raw
    // path of a place that is double-clicked.
    DifferencesWindow(QWidget* parent, const QString& heading, std::vector<DifferencePlace> places, bool russian,
                      std::function<void(const QByteArray&)> showFolder);

    Ui::DifferencesWindow ui;
    DifferencesModel& model() { return model_; }
    // The text of the current row: a place's path or a line.
    QString currentText() const;
    void copyCurrent() const;

private:
    DifferencesModel model_;
    PlaceTreeControls* controls_ = nullptr;
    std::function<void(const QByteArray&)> showFolder_;
};
