#include "ReportViewer.h"

#include "ControlText.h"
#include "platform/PrintableText.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QShortcut>
#include <QTextCursor>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The whole file at `rawPath`, read by its raw bytes; `error` is set when it
// could not be read.
QByteArray readWhole(const QByteArray& rawPath, int& error)
{
    error = 0;
    const int fd = ::open(rawPath.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        error = errno;
        return {};
    }
    QByteArray bytes;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    ::close(fd);
    return bytes;
}

} // namespace

ReportViewer::ReportViewer(QWidget* parent, const QByteArray& rawPath, const QString& why, bool russian)
    : QDialog(parent)
    , reason_(new QLabel(why, this))
    , text_(new QPlainTextEdit(this))
    , find_(new QLineEdit(this))
{
    setObjectName(QStringLiteral("ReportViewer"));
    setWindowTitle(gw::printableText(rawPath));
    resize(900, 600);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    find_->setPlaceholderText(russian ? QStringLiteral("Найти (Ctrl+F)") : QStringLiteral("Find (Ctrl+F)"));
    find_->setClearButtonEnabled(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(reason_);
    layout->addWidget(find_);
    layout->addWidget(text_);
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
        find_->setFocus();
        find_->selectAll();
    });
    connect(find_, &QLineEdit::returnPressed, this, &ReportViewer::findNext);

    int error = 0;
    const QByteArray bytes = readWhole(rawPath, error);
    if (error) {
        reason_->setText(
            why + QLatin1Char(' ')
            + (russian ? QStringLiteral("Прочитать его не удалось: ") : QStringLiteral("It could not be read: "))
            + QString::fromLocal8Bit(std::strerror(error)));
    }
    // A long report goes in piece by piece: the window keeps answering.
    const QPointer<ReportViewer> self(this);
    setControlText(text_, QString::fromUtf8(bytes), [self] { return !self.isNull(); });
    if (self)
        text_->moveCursor(QTextCursor::Start);
}

bool ReportViewer::findNext()
{
    const QString wanted = find_->text();
    if (wanted.isEmpty())
        return false;
    if (text_->find(wanted))
        return true;
    text_->moveCursor(QTextCursor::Start); // from the top again
    return text_->find(wanted);
}
