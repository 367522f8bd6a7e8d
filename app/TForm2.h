#pragma once
// The Help window: sends the user to the home page. Tool-window border.

#include "HomePageWindow.h"
#include "ui_TForm2.h"

class TForm2 : public HomePageWindow {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    Ui::TForm2 ui;
};
