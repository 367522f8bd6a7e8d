// The window's side of the check: what the engine asks of its controls
// (CheckView), carried out on the widgets of TForm1.

#include "ReportOpener.h"
#include "TForm1.h"

#include "ControlText.h"
#include "DesktopOpener.h"
#include "FittedText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTextCursor>

QWidget* TForm1::widget(gw::Control control) const
{
    using gw::Control;
    switch (control) {
    case Control::GroupBox1: return ui.GroupBox1;
    case Control::GroupBox3: return ui.GroupBox3;
    case Control::GroupBox4: return ui.GroupBox4;
    case Control::GroupBox5: return ui.GroupBox5;
    case Control::Panel1: return ui.Panel1;
    case Control::Button1: return ui.Button1;
    case Control::Button2: return ui.Button2;
    case Control::Button4: return ui.Button4;
    case Control::Button7: return ui.Button7;
    case Control::ButtonStop: return ui.ButtonStop;
    case Control::RichEdit1: return ui.RichEdit1;
    case Control::RichEdit2: return ui.RichEdit2;
    case Control::RichEdit3: return ui.RichEdit3;
    case Control::Label13: return ui.Label13;
    case Control::Label15: return ui.Label15;
    case Control::Label17: return ui.Label17;
    case Control::Label14: return ui.Label14;
    case Control::Label20: return ui.Label20;
    case Control::Label21: return ui.Label21;
    case Control::Memo3: return ui.Memo3;
    case Control::TrackBar1: return ui.TrackBar1;
    case Control::Menu_File_Differences:
    case Control::Menu_File_FixFile:
    case Control::Menu_File_HtmlReport:
    case Control::Menu_File_SaveBaseline:
    case Control::Menu_File_CompareBaseline: return nullptr; // menu items, not widgets
    }
    return nullptr;
}

QProgressBar* TForm1::bar(gw::Bar b) const
{
    return b == gw::Bar::ProgressBar1 ? ui.ProgressBar1
        : b == gw::Bar::ProgressBar2  ? ui.ProgressBar2
                                      : ui.ProgressBar3;
}

QTimer& TForm1::timer(gw::Timer t)
{
    return t == gw::Timer::Timer1 ? Timer1 : t == gw::Timer::Timer2 ? Timer2 : t == gw::Timer::Timer3 ? Timer3 : Timer4;
}

void TForm1::setVisible(gw::Control control, bool visible)
{
    widget(control)->setVisible(visible);
    // The results page shown has results to come back to until the next
    // check (or scan) starts.
    if (visible && (control == gw::Control::GroupBox5 || control == gw::Control::GroupBox1))
        keepResults(control == gw::Control::GroupBox5);
}

void TForm1::setEnabled(gw::Control control, bool enabled)
{
    if (control == gw::Control::Menu_File_Differences)
        ui.Menu_File_Differences->setEnabled(enabled);
    else if (control == gw::Control::Menu_File_FixFile)
        ui.Menu_File_FixFile->setEnabled(enabled);
    else if (control == gw::Control::Menu_File_HtmlReport)
        ui.Menu_File_HtmlReport->setEnabled(enabled);
    else if (control == gw::Control::Menu_File_SaveBaseline)
        ui.Menu_File_SaveBaseline->setEnabled(enabled);
    else if (control == gw::Control::Menu_File_CompareBaseline)
        ui.Menu_File_CompareBaseline->setEnabled(enabled);
    else
        widget(control)->setEnabled(enabled);
}

void TForm1::setText(gw::Control control, const QString& text)
{
    QWidget* w = widget(control);
    if (auto* box = qobject_cast<QGroupBox*>(w)) {
        box->setTitle(text);
    } else if (w == ui.RichEdit3) {
        // The verdict shows whole: a long one in a smaller face.
        setFittedText(ui.RichEdit3, withLineFeeds(text), kVerdictPixelSize, kSmallestVerdictPixelSize);
    } else {
        setControlText(w, text, [this] { return !closed_; });
    }
}

void TForm1::replaceLines(gw::Control control, int lines, const QString& text)
{
    auto* memo = qobject_cast<QPlainTextEdit*>(widget(control));
    if (!memo)
        return;
    // Only the first lines change: a listing of millions of lines stays put.
    QTextCursor cursor(memo->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, lines - 1);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(withLineFeeds(text));
}

QString TForm1::text(gw::Control control) const
{
    QWidget* w = widget(control);
    if (auto* box = qobject_cast<QGroupBox*>(w))
        return box->title();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(w))
        return memo->toPlainText();
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    return {};
}

int TForm1::setProgress(gw::Bar b, int value)
{
    QProgressBar* p = bar(b);
    p->setValue(std::clamp(value, p->minimum(), p->maximum()));
    return p->value();
}

int TForm1::progress(gw::Bar b) const
{
    return bar(b)->value();
}

void TForm1::setTimerEnabled(gw::Timer t, bool enabled)
{
    QTimer& qt = timer(t);
    if (enabled && !qt.isActive())
        qt.start(); // a running timer keeps its rhythm
    else if (!enabled)
        qt.stop();
}

void TForm1::setTimerInterval(gw::Timer t, int milliseconds)
{
    QTimer& qt = timer(t);
    if (qt.interval() != milliseconds) // setInterval restarts a running timer
        qt.setInterval(milliseconds);
}

int TForm1::sliderPosition() const
{
    return ui.TrackBar1->value();
}

void TForm1::setSliderPosition(int position)
{
    ui.TrackBar1->setValue(position); // valueChanged runs TrackBar1Change now
}

void TForm1::setLight(gw::Light light)
{
    QPalette p = ui.Label7->palette();
    const QColor colour = light == gw::Light::Green ? QColor(0, 255, 0)
        : light == gw::Light::Red                   ? QColor(255, 0, 0)
                                                    : palette().color(QPalette::Window);
    p.setColor(QPalette::Window, colour);
    ui.Label7->setPalette(p);
}

void TForm1::focusFolderTree()
{
    ui.ShellTreeView1->setFocus();
}

void TForm1::processEvents()
{
    ++eventsDepth_;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave {eventsDepth_};
    QCoreApplication::processEvents();
}

bool TForm1::askYesNo(const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, withLineFeeds(text), QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::Yes);
    labelButtons(box);
    return box.exec() == QMessageBox::Yes;
}

void TForm1::showError(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok, this);
    labelButtons(box);
    box.exec();
}

// The buttons speak the window's language, whatever the desktop's is.
void TForm1::labelButtons(QMessageBox& box) const
{
    const bool russian = gw::isRussian(engine_.state().Lang);
    const struct {
        QMessageBox::StandardButton button;
        const char* ru;
        const char* en;
    } labels[] = {// The questions ask for YES or NO by those words.
                  {QMessageBox::Yes, "Да (YES)", "Yes"},
                  {QMessageBox::No, "Нет (NO)", "No"},
                  {QMessageBox::Ok, "ОК", "OK"}};
    for (const auto& l : labels) {
        if (QAbstractButton* button = box.button(l.button))
            button->setText(QString::fromUtf8(russian ? l.ru : l.en));
    }
}

void TForm1::openFile(const QByteArray& rawPath)
{
    openReport(this, rawPath, gw::isRussian(engine_.state().Lang));
}
