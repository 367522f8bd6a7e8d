#include "HomePageWindow.h"

#include "DesktopOpener.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>

HomePageWindow::HomePageWindow(QWidget* parent, Qt::WindowFlags border)
    : QDialog(parent, border | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setModal(true);
}

void HomePageWindow::setVisible(bool visible)
{
    if (visible && !isVisible() && placed_) {
        move(lastPosition_); // pos() and move() both mean the frame's corner
    } else if (!visible && isVisible()) {
        lastPosition_ = pos();
        placed_ = true;
    }
    QDialog::setVisible(visible);
}

void HomePageWindow::setUpAddress(QLabel* label, const char* objectName, QSize clientSize)
{
    setObjectName(QString::fromLatin1(objectName));
    setFixedSize(clientSize);
    address_ = label;
    address_->setText(QString::fromLatin1(kHomePage));
    address_->adjustSize();
    address_->installEventFilter(this);
    // Tab moves on, as everywhere in the program, and is never typed into a
    // memo, even when there is no other control to move to.
    for (QPlainTextEdit* memo : findChildren<QPlainTextEdit*>()) {
        memo->setTabChangesFocus(true);
        memo->installEventFilter(this);
    }
}

void HomePageWindow::Label1Click()
{
    desktopOpener()(QUrl(QString::fromLatin1(kHomePage)));
}

bool HomePageWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == address_ && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label1Click();
        return true;
    }
    if (event->type() == QEvent::KeyPress && qobject_cast<QPlainTextEdit*>(watched)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            focusNextPrevChild(key->key() == Qt::Key_Tab);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
