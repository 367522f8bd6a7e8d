#include "TForm2.h"

TForm2::TForm2(QWidget* parent)
    : HomePageWindow(parent, Qt::Tool)
{
    ui.setupUi(this);
    setUpAddress(ui.Label1, "Form2", QSize(362, 103));
}
