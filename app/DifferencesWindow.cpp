#include "DifferencesWindow.h"

#include "platform/PrintablePath.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QShortcut>

DifferencesWindow::DifferencesWindow(QWidget* parent, const QString& heading, std::vector<DifferencePlace> places,
                                     bool russian, std::function<void(const QByteArray&)> showFolder)
    : QDialog(parent)
    , model_(std::move(places), russian)
    , showFolder_(std::move(showFolder))
    , russian_(russian)
{
    ui.setupUi(this);
    setWindowTitle(russian ? QStringLiteral("Различия") : QStringLiteral("Differences"));
    ui.heading->setText(heading);
    ui.filter->setPlaceholderText(russian ? QStringLiteral("Фильтр: часть пути или записи (Ctrl+F)")
                                          : QStringLiteral("Filter: part of a path or an entry (Ctrl+F)"));
    ui.places->setModel(&model_);
    // The filter follows the typing once it pauses.
    filterDelay_.setSingleShot(true);
    filterDelay_.setInterval(150);
    connect(ui.filter, &QLineEdit::textChanged, &filterDelay_, qOverload<>(&QTimer::start));
    connect(&filterDelay_, &QTimer::timeout, this, [this] { model_.setFilter(ui.filter->text()); });
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
        ui.filter->setFocus();
        ui.filter->selectAll();
    });
    connect(new QShortcut(QKeySequence::Copy, ui.places), &QShortcut::activated, this, &DifferencesWindow::copyCurrent);
    connect(ui.places, &QTreeView::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (!ui.places->indexAt(pos).isValid())
            return;
        QMenu menu(this);
        menu.addAction(russian_ ? QStringLiteral("Копировать") : QStringLiteral("Copy"), this,
                       &DifferencesWindow::copyCurrent);
        menu.exec(ui.places->viewport()->mapToGlobal(pos));
    });
    connect(ui.places, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        const QByteArray path = model_.placePath(index);
        if (!path.isEmpty() && showFolder_)
            showFolder_(QByteArray::fromStdString(gw::rawFromPrintable(path.toStdString())));
    });
}

QString DifferencesWindow::currentText() const
{
    const QModelIndex index = ui.places->currentIndex();
    const QByteArray path = model_.placePath(index);
    return path.isEmpty() ? index.data().toString() : QString::fromUtf8(path);
}

void DifferencesWindow::copyCurrent() const
{
    if (ui.places->currentIndex().isValid())
        QGuiApplication::clipboard()->setText(currentText());
}
