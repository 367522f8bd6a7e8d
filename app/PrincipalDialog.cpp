#include "PrincipalDialog.h"

#include "platform/PrintableText.h"

#include <QKeyEvent>
#include <QPushButton>

namespace {

constexpr int kLookupRole = Qt::UserRole; // the row's text for lookUpPrincipal, raw

} // namespace

PrincipalDialog::PrincipalDialog(QWidget* parent, bool russian, const std::vector<gw::KnownPrincipal>& known)
    : QDialog(parent)
    , russian_(russian)
{
    ui.setupUi(this);
    setWindowTitle(russian ? QStringLiteral("Кто имеет доступ…") : QStringLiteral("Who has access…"));
    ui.prompt->setText(russian ? QStringLiteral("Чьи права показать: любого, пользователя или члена группы. Выберите "
                                                "в списке или введите имя или номер (группа: group:ИМЯ).")
                               : QStringLiteral("Whose rights to show: anyone's, a user's or a group member's. Choose "
                                                "from the list, or type a name or number (a group: group:NAME)."));
    ui.name->setPlaceholderText(russian ? QStringLiteral("Фильтр, либо имя или номер")
                                        : QStringLiteral("Filter, or a name or number"));
    ui.buttons->button(QDialogButtonBox::Ok)->setText(russian ? QStringLiteral("Проверить") : QStringLiteral("Check"));
    ui.buttons->button(QDialogButtonBox::Cancel)
        ->setText(russian ? QStringLiteral("Отмена") : QStringLiteral("Cancel"));
    ui.problem->setStyleSheet(QStringLiteral("color: #c00000"));

    auto* anyone = new QListWidgetItem(
        russian
            ? QStringLiteral("любой — пользователь, не названный ни в одной записи и не входящий в названные группы")
            : QStringLiteral("anyone — a user named in no entry and in no named group"),
        ui.principals);
    anyone->setData(kLookupRole, QByteArrayLiteral("anyone"));
    for (const gw::KnownPrincipal& p : known) {
        const bool user = p.kind == gw::Principal::Kind::User;
        const QString what = user ? (russian ? QStringLiteral("пользователь") : QStringLiteral("user"))
                                  : (russian ? QStringLiteral("группа") : QStringLiteral("group"));
        auto* item = new QListWidgetItem(QStringLiteral("%1 %2 (%3 %4)")
                                             .arg(what, gw::printableText(gw::byteArray(p.name)),
                                                  user ? QStringLiteral("uid") : QStringLiteral("gid"))
                                             .arg(p.id),
                                         ui.principals);
        item->setData(kLookupRole, gw::byteArray(p.lookup));
    }
    connect(ui.name, &QLineEdit::textChanged, this, &PrincipalDialog::filter);
    connect(ui.principals, &QListWidget::currentItemChanged, this, &PrincipalDialog::showChoice);
    connect(ui.principals, &QListWidget::itemDoubleClicked, this, &PrincipalDialog::accept);
    connect(ui.buttons, &QDialogButtonBox::accepted, this, &PrincipalDialog::accept);
    connect(ui.buttons, &QDialogButtonBox::rejected, this, &PrincipalDialog::reject);
    ui.name->installEventFilter(this);
    ui.name->setFocus();
    showChoice();
}

bool PrincipalDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != ui.name || event->type() != QEvent::KeyPress
        || static_cast<QKeyEvent*>(event)->key() != Qt::Key_Down)
        return QDialog::eventFilter(watched, event);
    for (int row = 0; row < ui.principals->count(); ++row) {
        if (!ui.principals->item(row)->isHidden()) {
            ui.principals->setCurrentRow(row);
            ui.principals->setFocus();
            break;
        }
    }
    return true;
}

void PrincipalDialog::filter(const QString& text)
{
    for (int row = 0; row < ui.principals->count(); ++row) {
        QListWidgetItem* item = ui.principals->item(row);
        item->setHidden(!item->text().contains(text.trimmed(), Qt::CaseInsensitive));
    }
    // A row the filter hides is chosen no more: what was typed is.
    if (QListWidgetItem* current = ui.principals->currentItem(); current && current->isHidden())
        ui.principals->setCurrentItem(nullptr);
    showChoice();
}

QByteArray PrincipalDialog::lookup() const
{
    if (const QListWidgetItem* current = ui.principals->currentItem(); current && !current->isHidden())
        return current->data(kLookupRole).toByteArray();
    // As typed, as the command line takes it: a name may begin or end with a blank.
    return ui.name->text().toUtf8();
}

void PrincipalDialog::showChoice()
{
    const QListWidgetItem* current = ui.principals->currentItem();
    const QByteArray typed = lookup();
    QString choice;
    if (current && !current->isHidden())
        choice = current->text();
    else if (!typed.isEmpty())
        choice = gw::printableText(typed);
    ui.chosen->setText(choice.isEmpty() ? QString()
                                        : (russian_ ? QStringLiteral("Будут показаны права: %1")
                                                    : QStringLiteral("The rights shown will be those of: %1"))
                                              .arg(choice));
    ui.problem->clear();
    ui.buttons->button(QDialogButtonBox::Ok)->setEnabled(!typed.isEmpty());
}

void PrincipalDialog::accept()
{
    const QByteArray wanted = lookup();
    if (wanted.isEmpty())
        return;
    std::string error;
    if (!gw::lookUpPrincipal(wanted.toStdString(), principal_, error)) {
        // The lookup says which it looked for; the words are the window's language's.
        const bool group = wanted.startsWith("group:");
        const QString name = gw::printableText(group ? wanted.mid(6) : wanted);
        ui.problem->setText(
            group ? (russian_ ? QStringLiteral("✗ Нет такой группы: %1") : QStringLiteral("✗ No such group: %1"))
                        .arg(name)
                  : (russian_ ? QStringLiteral("✗ Нет такого пользователя: %1") : QStringLiteral("✗ No such user: %1"))
                        .arg(name));
        return;
    }
    QDialog::accept();
}
