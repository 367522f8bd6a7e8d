#pragma once
// The About window: the name, the version and the home page. Dialog border.

#include "HomePageWindow.h"
#include "ui_TForm4.h"

class TForm4 : public HomePageWindow {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
    Ui::TForm4 ui;
};
