#include "ControlText.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

QString withLineFeeds(const QString& text)
{
    QString out(text.size(), Qt::Uninitialized);
    const QChar* from = text.constData();
    const QChar* const end = from + text.size();
    QChar* to = out.data();
    for (; from != end; ++from) {
        if (*from == QLatin1Char('\r') && from + 1 != end && from[1] == QLatin1Char('\n'))
            continue;
        *to++ = *from;
    }
    out.truncate(to - out.constData());
    return out;
}

namespace {

// What Qt does for a hidden widget when it is first shown.
void sendPendingResize(QWidget* widget)
{
    if (!widget->testAttribute(Qt::WA_PendingResizeEvent))
        return;
    widget->setAttribute(Qt::WA_PendingResizeEvent, false);
    QResizeEvent event(widget->size(), QSize());
    QCoreApplication::sendEvent(widget, &event);
}

void setMemoText(QPlainTextEdit* memo, const QString& text, const std::function<bool()>& stillOpen)
{
    constexpr qsizetype kPiece = 1 << 18; // characters; well under 100 ms of work each
    if (text.size() <= kPiece) {
        memo->setPlainText(withLineFeeds(text));
        return;
    }
    QTextDocument* document = memo->document();
    memo->clear();
    // A change of the text's width lays out every line again. Settle the
    // width now, while the memo is empty: with the scroll bar a long text
    // needs in place, and with the new size delivered at once rather than
    // when the memo is next shown.
    const Qt::ScrollBarPolicy policy = memo->verticalScrollBarPolicy();
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    for (QWidget* widget : {static_cast<QWidget*>(memo), memo->viewport()})
        sendPendingResize(widget);
    document->setUndoRedoEnabled(false); // no copy of the whole text for undo
    QTextCursor cursor(document);
    for (qsizetype pos = 0; pos < text.size();) {
        qsizetype end = std::min(pos + kPiece, text.size());
        const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), end - 1);
        end = lineEnd < 0 ? text.size() : lineEnd + 1;
        cursor.beginEditBlock(); // no cursor position, and so no layout, for each piece
        cursor.insertText(withLineFeeds(text.sliced(pos, end - pos)));
        cursor.endEditBlock();
        pos = end;
        QCoreApplication::processEvents();
        if (stillOpen && !stillOpen())
            break;
    }
    document->setUndoRedoEnabled(true);
    memo->setVerticalScrollBarPolicy(policy);
    memo->moveCursor(QTextCursor::Start);
}

} // namespace

void setControlText(QObject* target, const QString& text, const std::function<bool()>& stillOpen)
{
    if (auto* menu = qobject_cast<QMenu*>(target)) // a menu is a window too: test it first
        menu->setTitle(text);
    else if (auto* action = qobject_cast<QAction*>(target))
        action->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(target))
        button->setText(text);
    else if (auto* box = qobject_cast<QGroupBox*>(target))
        box->setTitle(text);
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(target))
        setMemoText(memo, text, stillOpen);
    else if (auto* label = qobject_cast<QLabel*>(target)) {
        label->setText(text);
        label->adjustSize();
    } else if (auto* window = qobject_cast<QWidget*>(target); window && window->isWindow()) {
        window->setWindowTitle(text);
    }
}
