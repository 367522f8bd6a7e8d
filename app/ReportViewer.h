#pragma once
// A report shown read-only in a window of the program's own: monospace, its
// path in the title, a line saying why it is shown here, and a find field
// (Ctrl+F, Enter finds the next match, from the top again at the end).

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

class ReportViewer : public QDialog {
    Q_OBJECT
public:
    ReportViewer(QWidget* parent, const QByteArray& rawPath, const QString& why, bool russian);

    QPlainTextEdit* text() const { return text_; }
    QLineEdit* findField() const { return find_; }
    QLabel* reasonLine() const { return reason_; }
    // Selects the next match of the find field's text; false when there is none.
    bool findNext();

private:
    QLabel* reason_;
    QPlainTextEdit* text_;
    QLineEdit* find_;
};
