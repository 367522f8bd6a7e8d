#include "ControlText.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

// Lines a block of a long text holds. The memo's document costs some
// microseconds a block to fill, so a listing of a million folders, a block
// a line, took seconds; joined sixteen to a block by U+2028, which the memo
// shows as a line end and gives back as one (toPlainText, copying), it takes
// a fraction of that, and shows and scrolls the same.
constexpr int kLinesPerBlock = 16;

// `text` with "\r\n" as one line end. With `line`, all line ends but each
// kLinesPerBlock-th become line separators; `line` counts the lines of the
// block being filled, from one piece of a text to the next.
QString withLineEnds(QStringView text, int* line)
{
    QString out(text.size(), Qt::Uninitialized);
    const QChar* from = text.data();
    const QChar* const end = from + text.size();
    QChar* to = out.data();
    for (; from != end; ++from) {
        if (*from == QLatin1Char('\r') && from + 1 != end && from[1] == QLatin1Char('\n'))
            continue;
        if (line && *from == QLatin1Char('\n')) {
            if (++*line < kLinesPerBlock) {
                *to++ = QChar(QChar::LineSeparator);
                continue;
            }
            *line = 0;
        }
        *to++ = *from;
    }
    out.truncate(to - out.constData());
    return out;
}

} // namespace

QString withLineFeeds(const QString& text)
{
    return withLineEnds(text, nullptr);
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
    int line = 0;
    for (qsizetype pos = 0; pos < text.size();) {
        qsizetype end = std::min(pos + kPiece, text.size());
        const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), end - 1);
        end = lineEnd < 0 ? text.size() : lineEnd + 1;
        const int firstBlock = cursor.blockNumber();
        cursor.beginEditBlock(); // no cursor position, and so no layout, for each piece
        cursor.insertText(withLineEnds(QStringView(text).sliced(pos, end - pos), &line));
        cursor.endEditBlock();
        // A block not laid out yet counts as one line: give each its lines,
        // so that the scroll bar measures the text before it is shown. The
        // block the piece began in may have grown: it keeps the count it was
        // given for the lines it had.
        for (QTextBlock block = document->findBlockByNumber(firstBlock); block.isValid(); block = block.next()) {
            if (block.lineCount() == 1 || block.blockNumber() == firstBlock)
                block.setLineCount(static_cast<int>(block.text().count(QChar(QChar::LineSeparator))) + 1);
        }
        pos = end;
        QCoreApplication::processEvents();
        if (stillOpen && !stillOpen())
            break;
    }
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
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
