// TSetupPanel: the field rules that enable "Apply Changes" and lock the address fields, the
// details of the device shown, and the three command buttons.
#include "gui/app/setuppanel.h"

#include "core/app/i18n.h"
#include "core/devices/details.h"
#include "core/devices/product.h"
#include "core/setup/commands.h"
#include "gui/app/colourscheme.h"
#include "gui/app/controllock.h"
#include "gui/app/dialogs.h"
#include "gui/app/qtext.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Questions become confirmation boxes, refusals error boxes.
class TDialogAsker : public TSetupAsker {
public:
    explicit TDialogAsker(QWidget* parent) : Parent(parent) {}
    bool Confirm(const std::string& question) override { return Dialogs::Confirm(Parent, question); }
    void Refuse(const std::string& message) override { Dialogs::Error(Parent, message); }

private:
    QWidget* Parent;
};

template <class T>
T* Child(QWidget* window, const char* name)
{
    return window->findChild<T*>(QLatin1String(name));
}

// The look first, then the text: setting the text runs the field's change rule.
void ShowField(QLineEdit* field, const TFieldLook& look)
{
    TSetupPanel::SetFieldLook(field, look.ReadOnly);
    field->setText(Q(look.Text));
}

} // namespace

TSetupPanel::TSetupPanel(QWidget* window, TControlLock& batchLock)
    : QObject(window), Window(window), Dhcp(Child<QCheckBox>(window, "chbDhcp")),
      FieldGroup(Child<QGroupBox>(window, "GroupBox2")), Apply(Child<QPushButton>(window, "btnConfigDevice")),
      Restart(Child<QPushButton>(window, "btnRestartDevice")), Default(Child<QPushButton>(window, "btnSetDefault"))
{
    // Every field of the table but the DHCP state (the box) has a line edit, named after the
    // field's key: "teDeviceName", "teDeviceIP", ..., the ports "teHTTPPort" and "teTelnetPort".
    for (const TSetupFieldDef& def : SetupFields()) {
        if (def.Kind == TFieldKind::Flag)
            continue;
        const QString prefix = def.Kind == TFieldKind::Port ? QStringLiteral("te") : QStringLiteral("teDevice");
        auto* edit = window->findChild<QLineEdit*>(prefix + QLatin1String(def.Key));
        Fields.push_back({def.Id, edit});
        // Program steps that set a text (showing a device, emptying the panel) run the rules too.
        connect(edit, &QLineEdit::textChanged, this, [this, which = def.Id] { FieldChange(which); });
    }
    connect(Dhcp, &QCheckBox::toggled, this, [this] { chbDhcpClick(); });
    connect(Apply, &QAbstractButton::clicked, this, [this] { btnConfigDeviceClick(); });
    connect(Restart, &QAbstractButton::clicked, this, [this] { btnRestartDeviceClick(); });
    connect(Default, &QAbstractButton::clicked, this, [this] { btnSetDefaultClick(); });
    // An edit during a batch would enable "Apply Changes" again.
    batchLock.Join({Apply, Default, Restart, FieldGroup});
}

QLineEdit* TSetupPanel::Edit(TSetupField field) const
{
    for (const TField& f : Fields)
        if (f.Field == field)
            return f.Edit;
    return nullptr;
}

std::vector<QObject*> TSetupPanel::RestingControls() const
{
    return {FieldGroup, Restart, Default, Apply};
}

void TSetupPanel::SetFieldLook(QLineEdit* field, bool readOnly)
{
    field->setReadOnly(readOnly);
    // Shaded in the scheme's colours, or the window's own look again.
    const QPalette window = field->window()->palette();
    QPalette palette = field->palette();
    if (readOnly) {
        const TSchemeColours shaded = ListColours(window, TColourRole::ShadedField);
        palette.setColor(QPalette::Base, SchemeColour(shaded.Background));
        palette.setColor(QPalette::Text, SchemeColour(shaded.Text));
    } else {
        palette.setColor(QPalette::Base, window.color(QPalette::Base));
        palette.setColor(QPalette::Text, window.color(QPalette::Text));
    }
    field->setPalette(palette);
}

void TSetupPanel::FollowPalette()
{
    for (const TField& f : Fields)
        SetFieldLook(f.Edit, f.Edit->isReadOnly());
}

void TSetupPanel::Show(TProduct* device)
{
    Shown = device;
    if (!device)
        return;
    const TDeviceDetailsLook look = DeviceDetailsLook(device->CopyInfo(), Dhcp->isChecked());
    // In this order: the texts run the fields' change rules, which compare with the device.
    ShowField(Edit(TSetupField::Name), look.Name);
    Edit(TSetupField::IP)->setText(Q(look.IP));
    Edit(TSetupField::Mask)->setText(Q(look.Mask));
    Edit(TSetupField::Gateway)->setText(Q(look.Gateway));
    Edit(TSetupField::DNS1)->setText(Q(look.DNS1.Text));
    Edit(TSetupField::DNS2)->setText(Q(look.DNS2.Text));
    ShowField(Edit(TSetupField::HTTPPort), look.HTTPPort);
    ShowField(Edit(TSetupField::TelnetPort), look.TelnetPort);
    Dhcp->setEnabled(look.DhcpEnabled);
    Dhcp->setChecked(look.DhcpChecked);  // a disabled box keeps its mark: no change
    SetFieldLook(Edit(TSetupField::DNS1), look.DNS1.ReadOnly);
    SetFieldLook(Edit(TSetupField::DNS2), look.DNS2.ReadOnly);
    Default->setEnabled(look.SetDefaultEnabled);
    Restart->setEnabled(look.RestartEnabled);
    ShowRestartHint();
}

void TSetupPanel::Clear()
{
    for (const TField& f : Fields)
        f.Edit->setText(QString());
    Dhcp->setChecked(false);
    Apply->setEnabled(false);
}

void TSetupPanel::EnableCommands(bool enabled)
{
    Default->setEnabled(enabled);
    Restart->setEnabled(enabled);
    ShowRestartHint();
}

void TSetupPanel::ShowRestartHint()
{
    const bool refuses = Shown && !Shown->CopyInfo().CanRestart;
    Restart->setToolTip(refuses ? Q(_("This device takes no restart command.")) : QString());
}

void TSetupPanel::LockAddressFields(bool locked)
{
    for (TSetupField field : {TSetupField::IP, TSetupField::Mask, TSetupField::Gateway})
        SetFieldLook(Edit(field), locked);
    for (TSetupField field : {TSetupField::DNS1, TSetupField::DNS2})
        if (!KeepsItsLook(Edit(field)->text().toStdString()))
            SetFieldLook(Edit(field), locked);
}

void TSetupPanel::FieldChange(TSetupField field)
{
    const QLineEdit* edit = Edit(field);
    if (const auto enabled = ApplyEnabledAfterEdit(Shown, DemoMode, field, edit->text().toStdString(), edit->isReadOnly()))
        Apply->setEnabled(*enabled);
}

void TSetupPanel::chbDhcpClick()
{
    const bool checked = Dhcp->isChecked();
    LockAddressFields(AddressFieldsLocked(checked, DemoMode));
    if (const auto enabled = ApplyEnabledAfterDhcpClick(Shown, DemoMode, checked))
        Apply->setEnabled(*enabled);
}

void TSetupPanel::btnConfigDeviceClick()
{
    if (DemoMode || !Shown)
        return;
    TSetupValues values;
    for (const TField& f : Fields)
        SetFieldValue(values, f.Field, f.Edit->text().toStdString());
    values.Name = NameToApply(values.Name, Shown->CopyInfo().Name);
    values.Dhcp = Dhcp->isChecked() ? 1 : 0;
    TDialogAsker asker(Window);
    if (ApplyChanges(Shown, values, asker) != TCommandOutcome::Sent)
        return;
    // The addresses were stored without the blanks around them: show them as stored.
    const TProductInfo stored = Shown->CopyInfo();
    for (const TField& f : Fields)
        if (FieldKind(f.Field) == TFieldKind::Address)
            if (const QString shownText = Q(StoredText(stored, f.Field)); f.Edit->text() != shownText)
                f.Edit->setText(shownText);
    Apply->setEnabled(false);
}

void TSetupPanel::btnRestartDeviceClick()
{
    // In demonstration mode the button is enabled without any device: nothing to restart.
    if (DemoMode || !Shown)
        return;
    TDialogAsker asker(Window);
    RestartDevice(Shown, asker);
}

void TSetupPanel::btnSetDefaultClick()
{
    if (DemoMode || !Shown)
        return;
    TDialogAsker asker(Window);
    SetFactoryDefaults(Shown, asker);
}
