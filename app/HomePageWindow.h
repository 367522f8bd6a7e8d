#pragma once
// What the Help and About windows share: a fixed, modal window whose address
// label opens the home page when clicked.

#include <QDialog>
#include <QPoint>

class QLabel;

class HomePageWindow : public QDialog {
    Q_OBJECT
public:
    HomePageWindow(QWidget* parent, Qt::WindowFlags border);

    // Shown again where the user left it: the frame's position is kept, as
    // the window system places a window by its frame.
    void setVisible(bool visible) override;

public slots:
    void Label1Click();

protected:
    // Shows the home page address in `label` and makes it clickable.
    void setUpAddress(QLabel* label, const char* objectName, QSize clientSize);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* address_ = nullptr;
    QPoint lastPosition_;
    bool placed_ = false; // shown and hidden before: lastPosition_ holds where
};
