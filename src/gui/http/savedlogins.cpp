#include "gui/http/savedlogins.h"

#include "core/app/i18n.h"
#include "core/devices/utils.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "gui/app/dialogs.h"
#include "gui/app/translate.h"
#include "ui_savedlogins.h"

#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidgetItem>

namespace {
constexpr int kKeyRole = Qt::UserRole;
}

TSavedLoginsForm::TSavedLoginsForm(QWidget* parent)
    : QDialog(parent), Ui_(std::make_unique<Ui::TSavedLoginsForm>())
{
    Ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    Ui_->LoginList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Ui_->LoginList->header()->setStretchLastSection(true);
    connect(Ui_->ForgetButton, &QPushButton::clicked, this, [this] { ForgetSelected(); });
    connect(Ui_->ForgetAllButton, &QPushButton::clicked, this, [this] { ForgetAll(); });
    connect(Ui_->CloseButton, &QPushButton::clicked, this, &QDialog::close);
    connect(Ui_->LoginList, &QTreeWidget::itemSelectionChanged, this, [this] { ShowButtons(); });
    TranslateComponent(this);
    ShowButtons();
}

TSavedLoginsForm::~TSavedLoginsForm() { *Alive = false; }

void TSavedLoginsForm::SetKeyring(TKeyringLogins* keyring, const std::string& why)
{
    Keyring = keyring;
    Why = why;
    ShowButtons();
}

void TSavedLoginsForm::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        UseLanguage(GetCurrentLanguage());
        RetranslateComponent(this);
        // The list's column headings are no property the window's translation follows.
        Ui_->LoginList->setHeaderLabels({QString::fromUtf8(_("MAC")), QString::fromUtf8(_("Name")),
                                         QString::fromUtf8(_("Type")), QString::fromUtf8(_("User Name"))});
        Reload();
    }
    QDialog::showEvent(event);
}

std::function<void(const TKeyringResult&)> TSavedLoginsForm::Answer()
{
    ++Asking;
    ShowButtons();
    return [this, alive = Alive](const TKeyringResult& result) {
        if (!*alive)
            return;
        --Asking;
        Fill(result);
    };
}

void TSavedLoginsForm::Reload()
{
    if (!Keyring) {
        Ui_->LoginList->clear();
        Ui_->NoteLabel->setText(QString::fromStdString(Format(_("No keyring to remember logins in: %s"), Why.c_str())));
        ShowButtons();
        emit Listed_();
        return;
    }
    Keyring->List(Answer());
}

void TSavedLoginsForm::ForgetSelected()
{
    const QList<QTreeWidgetItem*> selected = Ui_->LoginList->selectedItems();
    if (!Keyring || selected.isEmpty() || Asking > 0)
        return;
    const std::string key = selected.front()->data(0, kKeyRole).toString().toStdString();
    auto answer = Answer();
    Keyring->Forget(key, [answer, key, alive = Alive](const TKeyringResult& result) {
        if (*alive && result.Ok())
            LogAction("", key == kEveryDeviceKey ? std::string(_("The login for every device was forgotten."))
                                                 : Format(_("The login of %s was forgotten."), key.c_str()),
                      LOG_INFO);
        answer(result);  // the index after the change, or why it failed
    });
}

void TSavedLoginsForm::ForgetAll()
{
    if (!Keyring || Asking > 0 || Ui_->LoginList->topLevelItemCount() == 0)
        return;
    if (!Dialogs::Confirm(this, _("Forget every login remembered in the keyring?")))
        return;
    auto answer = Answer();
    Keyring->ForgetAll([answer, alive = Alive](const TKeyringResult& result) {
        if (*alive && result.Ok())
            LogAction("", _("Every remembered login was forgotten."), LOG_INFO);
        answer(result);  // the index after the change, or why it failed
    });
}

void TSavedLoginsForm::Fill(const TKeyringResult& result)
{
    Ui_->LoginList->clear();
    if (!result.Ok()) {
        Ui_->NoteLabel->setText(QString::fromStdString(Format(_("The keyring refused: %s"), result.Error.c_str())));
    } else {
        Ui_->NoteLabel->setText(QString::fromUtf8(_("The logins remembered in the keyring. Their passwords stay there.")));
        auto add = [this](const std::string& key, const std::string& shown, const TListed& listed,
                          const std::string& user) {
            auto* item = new QTreeWidgetItem(Ui_->LoginList);
            item->setText(0, QString::fromStdString(shown));
            item->setText(1, QString::fromStdString(listed.Name));
            item->setText(2, QString::fromStdString(listed.Type));
            item->setText(3, QString::fromStdString(user));
            item->setData(0, kKeyRole, QString::fromStdString(key));
        };
        for (const TLoginIndex::TDevice& device : result.Index.Devices) {
            uint8_t mac[6];
            const std::string shown = ParseMac(device.Key, mac) == 0 ? FormatMac(mac) : device.Key;
            add(device.Key, shown, Listed ? Listed(device.Key) : TListed{}, device.User);
        }
        if (result.Index.EveryDeviceUser)
            add(kEveryDeviceKey, _("Every device"), {}, *result.Index.EveryDeviceUser);
        if (Ui_->LoginList->topLevelItemCount() > 0)
            Ui_->LoginList->setCurrentItem(Ui_->LoginList->topLevelItem(0));
    }
    ShowButtons();
    emit Listed_();
}

void TSavedLoginsForm::ShowButtons()
{
    const bool ready = Keyring && Asking == 0;
    Ui_->ForgetButton->setEnabled(ready && !Ui_->LoginList->selectedItems().isEmpty());
    Ui_->ForgetAllButton->setEnabled(ready && Ui_->LoginList->topLevelItemCount() > 0);
}
