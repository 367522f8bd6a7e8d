#include "FittedText.h"

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextLayout>

#include <cmath>

namespace {

// The height of `text` laid out as a plain-text memo lays it out (each line
// with its leading, the document margin above and below), in a box as wide
// as `memo`'s contents, at `pixelSize`.
qreal textHeight(const QPlainTextEdit* memo, const QString& text, int pixelSize)
{
    QFont font = memo->font();
    font.setPixelSize(pixelSize);
    const qreal margin = memo->document()->documentMargin();
    const qreal width = memo->contentsRect().width() - 2 * margin;
    qreal height = 2 * margin;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font);
        layout.setTextOption(memo->document()->defaultTextOption());
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLeadingIncluded(true);
            line.setLineWidth(width);
            height += line.height();
            if (line.leading() < 0)
                height += std::ceil(line.leading());
        }
        layout.endLayout();
    }
    return height;
}

} // namespace

int setFittedText(QPlainTextEdit* memo, const QString& text, int largest, int smallest)
{
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo->ensurePolished(); // the style sheet's font, before it is measured
    const int room = memo->contentsRect().height();
    int size = largest;
    while (size > smallest && textHeight(memo, text, size) > room)
        --size;
    static const QRegularExpression fontSize(QStringLiteral("font-size:\\s*\\d+px"));
    QString style = memo->styleSheet();
    style.replace(fontSize, QStringLiteral("font-size: %1px").arg(size));
    if (style != memo->styleSheet())
        memo->setStyleSheet(style);
    memo->setPlainText(text);
    return size;
}
