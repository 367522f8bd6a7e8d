#include "TForm4.h"

TForm4::TForm4(QWidget* parent)
    : HomePageWindow(parent, Qt::Dialog)
{
    ui.setupUi(this);
    setUpAddress(ui.Label1, "Form4", QSize(370, 195));
}
