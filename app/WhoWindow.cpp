#include "WhoWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>

WhoWindow::WhoWindow(QWidget* parent, const gw::WhoFindings& findings, const QString& verdict, bool russian,
                     std::function<void()> openReport, std::function<void(const QByteArray&)> showFolder)
    : QDialog(parent)
    , model_(findings.places, russian)
    , showFolder_(std::move(showFolder))
{
    ui.setupUi(this);
    const QString who = QString::fromStdString(findings.who.name);
    const QString folder = QString::fromUtf8(findings.folder);
    setWindowTitle(russian ? QStringLiteral("Кто имеет доступ: %1").arg(who)
                           : QStringLiteral("Who has access: %1").arg(who));
    ui.heading->setText(
        (russian ? QStringLiteral("Папка %1.\n%2\nПоказаны места, где права меняются; место с теми же правами, что и "
                                  "над ним, по той же причине, посчитано под тем местом.")
                 : QStringLiteral("Below %1.\n%2\nListed where the rights change; a place with the same rights as the "
                                  "one above it, for the same reason, is counted below that one."))
            .arg(folder, verdict));
    ui.filter->setPlaceholderText(russian ? QStringLiteral("Фильтр: часть пути или записи (Ctrl+F)")
                                          : QStringLiteral("Filter: part of a path or an entry (Ctrl+F)"));
    ui.openReport->setText(russian ? QStringLiteral("Открыть отчёт о правах") : QStringLiteral("Open rights report"));
    ui.closeButton->setText(russian ? QStringLiteral("Закрыть") : QStringLiteral("Close"));
    ui.places->setModel(&model_);
    QHeaderView* header = ui.places->header();
    header->setStretchLastSection(false);
    header->resizeSection(WhoModel::Place, 380);
    for (int column = WhoModel::Read; column < WhoModel::ColumnCount; ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    controls_ = new PlaceTreeControls(this, ui.filter, ui.places, model_, russian, [this] { return currentText(); });
    controls_->addMenuCommand(russian ? QStringLiteral("Копировать строку") : QStringLiteral("Copy line"),
                              [this] { copyCurrentLine(); });
    ui.openReport->setEnabled(static_cast<bool>(openReport));
    if (openReport) {
        controls_->addMenuCommand(ui.openReport->text(), openReport);
        connect(ui.openReport, &QPushButton::clicked, this, openReport);
    }
    connect(ui.closeButton, &QPushButton::clicked, this, &QDialog::close);
    // A place's lines go across every column.
    connect(ui.places, &QTreeView::expanded, this, [this](const QModelIndex& place) {
        for (int row = 0; row < model_.rowCount(place); ++row)
            ui.places->setFirstColumnSpanned(row, place, true);
    });
    connect(ui.places, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        const gw::WhoPlace* place = model_.placeOf(index.siblingAtColumn(WhoModel::Place));
        if (place && showFolder_)
            showFolder_(place->rawPath);
    });
}

QString WhoWindow::currentText() const
{
    const QModelIndex index = ui.places->currentIndex();
    if (const gw::WhoPlace* place = model_.placeOf(index.siblingAtColumn(WhoModel::Place)))
        return QString::fromUtf8(place->path);
    return index.siblingAtColumn(WhoModel::Place).data().toString();
}

void WhoWindow::copyCurrent() const
{
    controls_->copyCurrent();
}

void WhoWindow::copyCurrentLine() const
{
    const QModelIndex index = ui.places->currentIndex();
    if (index.isValid())
        QGuiApplication::clipboard()->setText(model_.rowLine(index));
}
