#include "HomePageWindow.h"

#include "DesktopOpener.h"

#include <QLabel>
#include <QMouseEvent>

HomePageWindow::HomePageWindow(QWidget* parent, Qt::WindowFlags border)
    : QDialog(parent, border | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setModal(true);
}

void HomePageWindow::setUpAddress(QLabel* label, const char* objectName, QSize clientSize)
{
    setObjectName(QString::fromLatin1(objectName));
    setFixedSize(clientSize);
    address_ = label;
    address_->setText(QString::fromLatin1(kHomePage));
    address_->adjustSize();
    address_->installEventFilter(this);
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
    return QDialog::eventFilter(watched, event);
}
