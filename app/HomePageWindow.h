#pragma once
// What the Help and About windows share: a fixed, modal window whose address
// label opens the home page when clicked.

#include <QDialog>

class QLabel;

class HomePageWindow : public QDialog {
    Q_OBJECT
public:
    HomePageWindow(QWidget* parent, Qt::WindowFlags border);

public slots:
    void Label1Click();

protected:
    // Shows the home page address in `label` and makes it clickable.
    void setUpAddress(QLabel* label, const char* objectName, QSize clientSize);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* address_ = nullptr;
};
