#pragma once
// Plain text that must show whole in a box of fixed size.

#include <QString>

class QPlainTextEdit;

// Sets `text` in `memo` and steps its font size down one pixel at a time,
// from `largest` to no less than `smallest`, until the text fits the box
// without scrolling; a text that fits at `largest` keeps that size. The text
// wraps at the box's width and never scrolls sideways. The size is set in
// the memo's style sheet, which must name a font-size in px. Returns the
// pixel size chosen.
int setFittedText(QPlainTextEdit* memo, const QString& text, int largest, int smallest);
