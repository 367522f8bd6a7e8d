#include "PlaceTreeControls.h"
#include "PlaceTreeModel.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QTreeView>

PlaceTreeControls::PlaceTreeControls(QWidget* window, QLineEdit* filter, QTreeView* tree, PlaceTreeModel& model,
                                     bool russian, std::function<QString()> currentText)
    : QObject(window)
    , tree_(tree)
    , currentText_(std::move(currentText))
{
    filterDelay_.setSingleShot(true);
    filterDelay_.setInterval(150);
    connect(filter, &QLineEdit::textChanged, &filterDelay_, qOverload<>(&QTimer::start));
    connect(&filterDelay_, &QTimer::timeout, this, [filter, &model] { model.setFilter(filter->text()); });
    connect(new QShortcut(QKeySequence::Find, window), &QShortcut::activated, this, [filter] {
        filter->setFocus();
        filter->selectAll();
    });
    connect(new QShortcut(QKeySequence::Copy, tree), &QShortcut::activated, this, &PlaceTreeControls::copyCurrent);
    connect(tree, &QTreeView::customContextMenuRequested, this, [this, window, russian](const QPoint& pos) {
        if (!tree_->indexAt(pos).isValid())
            return;
        QMenu menu(window);
        menu.addAction(russian ? QStringLiteral("Копировать") : QStringLiteral("Copy"), this,
                       &PlaceTreeControls::copyCurrent);
        for (const auto& [text, command] : commands_)
            menu.addAction(text, command);
        menu.exec(tree_->viewport()->mapToGlobal(pos));
    });
}

void PlaceTreeControls::addMenuCommand(const QString& text, std::function<void()> command)
{
    commands_.emplace_back(text, std::move(command));
}

void PlaceTreeControls::copyCurrent() const
{
    if (tree_->currentIndex().isValid())
        QGuiApplication::clipboard()->setText(currentText_());
}
