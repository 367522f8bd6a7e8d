// Grantwise: do all subfolders carry the same permissions as their folder?

#include "ExitSignals.h"
#include "TForm1.h"
#include "TForm2.h"
#include "TForm4.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/grantwise.png")));
    QApplication::setDesktopFileName(QStringLiteral("grantwise"));
    // The layout's face at its pixel height; Liberation Sans has the
    // proportions of the system face the layout was drawn for.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    QApplication::setFont(font);

    TForm1 Form1;
    TForm2 Form2(&Form1);
    TForm4 Form4(&Form1);
    Form1.setSmallWindows(&Form2, &Form4);
    // Told to end: the window closes as File > Close does, and the event
    // loops end, a modal box's too.
    ExitSignals exitSignals([&Form1] {
        Form1.close();
        QCoreApplication::exit(0);
    });
    Form1.show();
    return QApplication::exec();
}
