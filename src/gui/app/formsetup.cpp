// The "Device Setup" panel of the main window: the field rules that enable "Apply Changes" and
// lock the address fields, and the three command buttons. The decisions and the commands live in
// core/setup; this file reads the fields, asks through the message boxes and shows the result.
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "core/setup/commands.h"
#include "core/setup/fields.h"
#include "ui_form.h"

#include <QApplication>

namespace {

// The device view's two looks of a field: read-only and shaded with the colour that stands for
// the desktop's inactive window borders, or editable on the window colour.
// Questions become confirmation boxes, refusals error boxes.
class TDialogAsker : public TSetupAsker {
public:
    explicit TDialogAsker(QWidget* parent) : Parent(parent) {}
    bool Confirm(const std::string& question) override { return Dialogs::Confirm(Parent, question); }
    void Refuse(const std::string& message) override { Dialogs::Error(Parent, message); }

private:
    QWidget* Parent;
};

} // namespace

void TPyxetForm::SetupSetupPanel()
{
    const std::pair<QLineEdit*, void (TPyxetForm::*)()> fields[] = {
        {Ui_->teDeviceName, &TPyxetForm::teDeviceNameChange},
        {Ui_->teDeviceIP, &TPyxetForm::teDeviceIPChange},
        {Ui_->teDeviceMask, &TPyxetForm::teDeviceMaskChange},
        {Ui_->teDeviceGateway, &TPyxetForm::teDeviceGatewayChange},
        {Ui_->teDeviceDNS1, &TPyxetForm::teDeviceDNS1Change},
        {Ui_->teDeviceDNS2, &TPyxetForm::teDeviceDNS2Change},
        {Ui_->teHTTPPort, &TPyxetForm::teHTTPPortChange},
        {Ui_->teTelnetPort, &TPyxetForm::teTelnetPortChange},
    };
    // Program steps that set a text (showing a device, emptying the panel) run the rules too.
    for (const auto& [field, handler] : fields)
        connect(field, &QLineEdit::textChanged, this, [this, run = handler] { (this->*run)(); });
    connect(Ui_->chbDhcp, &QCheckBox::toggled, this, [this] { chbDhcpClick(); });
    connect(Ui_->btnConfigDevice, &QAbstractButton::clicked, this, [this] { btnConfigDeviceClick(); });
    connect(Ui_->btnRestartDevice, &QAbstractButton::clicked, this, [this] { btnRestartDeviceClick(); });
    connect(Ui_->btnSetDefault, &QAbstractButton::clicked, this, [this] { btnSetDefaultClick(); });
}

void TPyxetForm::LockAddressFields(bool locked)
{
    for (QLineEdit* field : {Ui_->teDeviceIP, Ui_->teDeviceMask, Ui_->teDeviceGateway})
        SetFieldLook(field, locked);
    for (QLineEdit* field : {Ui_->teDeviceDNS1, Ui_->teDeviceDNS2})
        if (!KeepsItsLook(field->text().toStdString()))
            SetFieldLook(field, locked);
}

namespace {

void FieldChanged(QPushButton* apply, const TProduct* device, bool demoMode, TSetupField field, const QLineEdit* edit)
{
    if (const auto enabled = ApplyEnabledAfterEdit(device, demoMode, field, edit->text().toStdString(), edit->isReadOnly()))
        apply->setEnabled(*enabled);
}

} // namespace

void TPyxetForm::teDeviceNameChange()
{
    FieldChanged(Ui_->btnConfigDevice, SelectedDevice(), DemoMode, TSetupField::Name, Ui_->teDeviceName);
}

void TPyxetForm::teDeviceIPChange()
{
    FieldChanged(Ui_->btnConfigDevice, SelectedDevice(), DemoMode, TSetupField::IP, Ui_->teDeviceIP);
}

void TPyxetForm::teDeviceMaskChange()
{
    FieldChanged(Ui_->btnConfigDevice, SelectedDevice(), DemoMode, TSetupField::Mask, Ui_->teDeviceMask);
}

void TPyxetForm::teDeviceGatewayChange()
{
    FieldChanged(Ui_->btnConfigDevice, SelectedDevice(), DemoMode, TSetupField::Gateway, Ui_->teDeviceGateway);
}

void TPyxetForm::teDeviceDNS1Change()
{
    FieldChanged(Ui_->btnConfigDevice, SelectedDevice(), DemoMode, TSetupField::DNS1, Ui_->teDeviceDNS1);
}

void TPyxetForm::teDeviceDNS2Change()
{
    FieldChanged(Ui_->btnConfigDevice, SelectedDevice(), DemoMode, TSetupField::DNS2, Ui_->teDeviceDNS2);
}

void TPyxetForm::teHTTPPortChange()
{
    FieldChanged(Ui_->btnConfigDevice, SelectedDevice(), DemoMode, TSetupField::HTTPPort, Ui_->teHTTPPort);
}

void TPyxetForm::teTelnetPortChange()
{
    FieldChanged(Ui_->btnConfigDevice, SelectedDevice(), DemoMode, TSetupField::TelnetPort, Ui_->teTelnetPort);
}

void TPyxetForm::chbDhcpClick()
{
    const bool checked = Ui_->chbDhcp->isChecked();
    LockAddressFields(AddressFieldsLocked(checked, DemoMode));
    if (const auto enabled = ApplyEnabledAfterDhcpClick(SelectedDevice(), DemoMode, checked))
        Ui_->btnConfigDevice->setEnabled(*enabled);
}

void TPyxetForm::btnConfigDeviceClick()
{
    if (DemoMode || !SelectedDevice())
        return;
    TSetupValues values;
    values.Name = NameToApply(Ui_->teDeviceName->text().toStdString(), SelectedDevice()->CopyInfo().Name);
    values.IP = Ui_->teDeviceIP->text().toStdString();
    values.Mask = Ui_->teDeviceMask->text().toStdString();
    values.Gateway = Ui_->teDeviceGateway->text().toStdString();
    values.DNS1 = Ui_->teDeviceDNS1->text().toStdString();
    values.DNS2 = Ui_->teDeviceDNS2->text().toStdString();
    values.Dhcp = Ui_->chbDhcp->isChecked() ? 1 : 0;
    values.HTTPPort = Ui_->teHTTPPort->text().toStdString();
    values.TelnetPort = Ui_->teTelnetPort->text().toStdString();
    TDialogAsker asker(this);
    if (ApplyChanges(SelectedDevice(), values, asker) != TCommandOutcome::Sent)
        return;
    // The addresses were stored without the blanks around them: show them as stored.
    const TProductInfo stored = SelectedDevice()->CopyInfo();
    const std::pair<QLineEdit*, TSetupField> addresses[] = {
        {Ui_->teDeviceIP, TSetupField::IP},           {Ui_->teDeviceMask, TSetupField::Mask},
        {Ui_->teDeviceGateway, TSetupField::Gateway}, {Ui_->teDeviceDNS1, TSetupField::DNS1},
        {Ui_->teDeviceDNS2, TSetupField::DNS2},
    };
    for (const auto& [field, which] : addresses)
        if (const QString text = QString::fromStdString(StoredText(stored, which)); field->text() != text)
            field->setText(text);
    Ui_->btnConfigDevice->setEnabled(false);
}

void TPyxetForm::btnRestartDeviceClick()
{
    // In demonstration mode the button is enabled without any device: nothing to restart.
    if (DemoMode || !SelectedDevice())
        return;
    TDialogAsker asker(this);
    RestartDevice(SelectedDevice(), asker);
}

void TPyxetForm::btnSetDefaultClick()
{
    if (DemoMode || !SelectedDevice())
        return;
    TDialogAsker asker(this);
    SetFactoryDefaults(SelectedDevice(), asker);
}
