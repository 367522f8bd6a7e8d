#include "DifferencesWindow.h"

#include "platform/PrintablePath.h"

DifferencesWindow::DifferencesWindow(QWidget* parent, const QString& heading, std::vector<DifferencePlace> places,
                                     bool russian, std::function<void(const QByteArray&)> showFolder)
    : QDialog(parent)
    , model_(std::move(places), russian)
    , showFolder_(std::move(showFolder))
{
    ui.setupUi(this);
    setWindowTitle(russian ? QStringLiteral("Различия") : QStringLiteral("Differences"));
    ui.heading->setText(heading);
    ui.filter->setPlaceholderText(russian ? QStringLiteral("Фильтр: часть пути или записи (Ctrl+F)")
                                          : QStringLiteral("Filter: part of a path or an entry (Ctrl+F)"));
    ui.places->setModel(&model_);
    controls_ = new PlaceTreeControls(this, ui.filter, ui.places, model_, russian, [this] { return currentText(); });
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
    controls_->copyCurrent();
}
