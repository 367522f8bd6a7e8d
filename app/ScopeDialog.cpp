#include "ScopeDialog.h"

#include <QPushButton>

ScopeDialog::ScopeDialog(QWidget* parent, bool russian, const gw::FolderScope& scope, const gw::IgnoredParts& ignored)
    : QDialog(parent)
{
    ui.setupUi(this);
    if (!russian)
        useEnglish();
    connect(ui.limitDepth, &QCheckBox::toggled, ui.maxDepth, &QWidget::setEnabled);
    connect(ui.buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui.buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    ui.includeHidden->setChecked(scope.includeHidden);
    QStringList patterns;
    for (const std::string& p : scope.excludePatterns)
        patterns << QString::fromStdString(p);
    ui.excludePatterns->setPlainText(patterns.join(QLatin1Char('\n')));
    ui.limitDepth->setChecked(scope.maxDepth >= 0);
    if (scope.maxDepth >= 0)
        ui.maxDepth->setValue(scope.maxDepth);
    ui.oneFileSystem->setChecked(scope.oneFileSystem);
    ui.ignoreOwner->setChecked(ignored.ownerName);
    ui.ignoreGroup->setChecked(ignored.groupName);
}

void ScopeDialog::useEnglish()
{
    setWindowTitle(QStringLiteral("What to check"));
    ui.foldersBox->setTitle(QStringLiteral("Folders"));
    ui.includeHidden->setText(QStringLiteral("Check hidden folders too (names beginning with \".\")"));
    ui.excludeLabel->setText(QStringLiteral("Leave out folders whose name, or whose path below the checked folder, "
                                            "matches a pattern (one a line; * and ? as in the shell):"));
    ui.limitDepth->setText(QStringLiteral("At most"));
    ui.depthTail->setText(QStringLiteral("levels below the checked folder"));
    ui.oneFileSystem->setText(QStringLiteral("Do not enter other mounted file systems"));
    ui.comparedBox->setTitle(QStringLiteral("Comparison"));
    ui.ignoreOwner->setText(QStringLiteral("Do not compare the owner's name, only its rights"));
    ui.ignoreGroup->setText(QStringLiteral("Do not compare the owning group's name, only its rights"));
}

gw::FolderScope ScopeDialog::scope() const
{
    gw::FolderScope scope;
    scope.includeHidden = ui.includeHidden->isChecked();
    for (const QString& line : ui.excludePatterns->toPlainText().split(QLatin1Char('\n'))) {
        if (!line.isEmpty())
            scope.excludePatterns.push_back(line.toUtf8().toStdString());
    }
    scope.maxDepth = ui.limitDepth->isChecked() ? ui.maxDepth->value() : -1;
    scope.oneFileSystem = ui.oneFileSystem->isChecked();
    return scope;
}

gw::IgnoredParts ScopeDialog::ignored() const
{
    return {ui.ignoreOwner->isChecked(), ui.ignoreGroup->isChecked()};
}
