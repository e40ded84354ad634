#include "gui/setup/plandialog.h"
#include "gui/app/qtext.h"

#include "core/app/i18n.h"
#include "core/devices/netinterfaces.h"
#include "core/log/actionlog.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "gui/app/colourscheme.h"
#include "gui/app/dialogs.h"
#include "gui/app/form.h"
#include "gui/app/translate.h"
#include "ui_plandialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QShowEvent>

#include <ctime>

namespace {

// Blocking problems are shown in the scheme's red: the row and the plan's own problems.
QColor BlockingColour(const QWidget* widget, bool onFace)
{
    const QPalette& palette = widget->palette();
    return SchemeColour(onFace ? FaceColours(palette, TColourRole::Blocking).Text
                               : ListColours(palette, TColourRole::Blocking).Text);
}

// The short name of a field in the "Other Changes" column.
std::string FieldLabel(TSetupField field)
{
    return _(SetupFieldDef(field).Label);
}

// The name of a field's row in the form: its check box "chk" + name, its line edit "te" + name
// (the DHCP state: its combo box "cb" + name). The IP address row gives the first of the
// consecutive addresses.
QString RowName(TSetupField field)
{
    return field == TSetupField::IP ? QStringLiteral("FirstIP") : QString::fromLatin1(FieldKey(field));
}

// "before → after" when the plan changes the field, else the value as it is.
std::string BeforeAfter(const TDevicePlan& device, TSetupField field)
{
    if (!device.Field(field).Changed)
        return device.ShownBefore(field);
    return device.ShownBefore(field) + " \u2192 " + device.ShownAfter(field);
}

bool DeviceBlocked(const TPlan& plan, const TDevicePlan& device)
{
    for (size_t index : device.Problems)
        if (plan.Problems[index].Blocking())
            return true;
    return false;
}

}  // namespace

TPlanDialog::TPlanDialog(TPyxetForm* form) : QDialog(form), Form(form), Ui_(std::make_unique<Ui::TPlanDialog>())
{
    Ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowModality(Qt::WindowModal);
    std::vector<std::pair<QCheckBox*, QLineEdit*>> fields;
    for (const TSetupFieldDef& field : SetupFields())
        if (field.Kind != TFieldKind::Flag)
            fields.push_back({CheckBox(field.Id), Edit(field.Id)});
    for (const auto& [box, edit] : fields) {
        edit->setEnabled(false);
        connect(box, &QCheckBox::toggled, this, [this, edit](bool on) {
            edit->setEnabled(on && State == TState::Editing);
            if (on)
                edit->setFocus();
            MakePreview();
        });
        connect(edit, &QLineEdit::textChanged, this, [this] { MakePreview(); });
    }
    for (const TSetupFieldDef& field : SetupFields())
        if (field.Kind == TFieldKind::Flag)
            connect(FlagBox(field.Id), &QComboBox::currentIndexChanged, this, [this] { MakePreview(); });
    connect(Ui_->btnLoadPlan, &QPushButton::clicked, this, [this] { LoadPlanClick(); });
    connect(Ui_->btnApply, &QPushButton::clicked, this, [this] { ApplyClick(); });
    connect(Ui_->btnStop, &QPushButton::clicked, this, [this] { StopClick(); });
    connect(Ui_->btnClose, &QPushButton::clicked, this, [this] { reject(); });

    QTableWidget* table = Ui_->PreviewTable;
    table->setColumnCount(kPlanColumnCount);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    SetHeaders();
    TranslateComponent(this);
}

TPlanDialog::~TPlanDialog() = default;

void TPlanDialog::SetHeaders()
{
    Ui_->PreviewTable->setHorizontalHeaderLabels({Q(_("MAC")), Q(_("Type")), Q(_("Name")), Q(_("IP Address")),
                                                  Q(_("Status")), Q(_("Other Changes")), Q(_("Problems"))});
}

void TPlanDialog::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        RetranslateComponent(this);
        SetHeaders();
    }
    QDialog::showEvent(event);
}

void TPlanDialog::PrepareSetup(std::vector<const TProduct*> chosen)
{
    Chosen = std::move(chosen);
    Undo = false;
    File.reset();
    setWindowTitle(Q(_("Set Up Checked Devices")));
    MakePreview();
}

bool TPlanDialog::PrepareUndo(const std::string& path)
{
    auto file = std::make_unique<TPlanFile>();
    TPlanReadError error;
    if (!LoadPlanFile(path, *file, error)) {
        Dialogs::Error(this,
                       Format(_("The plan %s cannot be read.\n%s"), SafeText(path).c_str(), error.Message.c_str()));
        return false;
    }
    Chosen.clear();
    Undo = true;
    File = std::move(file);
    setWindowTitle(Q(_("Undo Last Plan")));
    Ui_->FormGroup->setVisible(false);
    Ui_->btnLoadPlan->setVisible(false);
    Ui_->lblPlanFile->setText(Q(Format(_("Undo file: %s"), SafeText(path).c_str())));
    MakePreview();
    return true;
}

QCheckBox* TPlanDialog::CheckBox(TSetupField field) const
{
    return findChild<QCheckBox*>(QStringLiteral("chk") + RowName(field));
}

QLineEdit* TPlanDialog::Edit(TSetupField field) const
{
    return findChild<QLineEdit*>(QStringLiteral("te") + RowName(field));
}

QComboBox* TPlanDialog::FlagBox(TSetupField field) const
{
    return findChild<QComboBox*>(QStringLiteral("cb") + RowName(field));
}

TPlanForm TPlanDialog::ReadForm() const
{
    TPlanForm form;
    if (Undo)
        return form;
    for (const TSetupFieldDef& field : SetupFields()) {
        if (field.Kind == TFieldKind::Flag) {
            if (const int state = FlagBox(field.Id)->currentIndex(); state > 0)
                form[field.Id] = std::to_string(state - 1);  // "off", "on"
        } else if (CheckBox(field.Id)->isChecked()) {
            form[field.Id] = Edit(field.Id)->text().toStdString();
        }
    }
    return form;
}

void TPlanDialog::MakePreview()
{
    // Once the plan has run, the devices it named are found again and the plan's are gone: the
    // table keeps showing the results.
    if (State != TState::Editing)
        return;
    TPlanInputs inputs;
    for (const TDeviceEntry& entry : Form->Devices.DeviceList())
        inputs.Found.push_back(entry.Device.get());
    inputs.Chosen = Chosen;
    inputs.Form = ReadForm();
    inputs.File = File.get();
    inputs.Undo = Undo;
    if (Interfaces.empty())
        Interfaces = ListNetInterfaces();
    inputs.Interfaces = Interfaces;
    inputs.DemoMode = Form->DemoMode;
    CurrentPlan = MakePlan(inputs);
    ShowPlan();
    EnableControls();
}

void TPlanDialog::ShowPlan()
{
    QTableWidget* table = Ui_->PreviewTable;
    table->setUpdatesEnabled(false);
    table->setRowCount(static_cast<int>(CurrentPlan.Devices.size()));
    for (size_t row = 0; row < CurrentPlan.Devices.size(); ++row) {
        const TDevicePlan& device = CurrentPlan.Devices[row];
        std::string other;
        for (const TSetupFieldDef& field : SetupFields())
            if (field.Id != TSetupField::Name && field.Id != TSetupField::IP && device.Field(field.Id).Changed)
                other += (other.empty() ? "" : ", ") + FieldLabel(field.Id) + ": " + BeforeAfter(device, field.Id);
        std::string problems;
        for (size_t index : device.Problems)
            problems += (problems.empty() ? "" : "; ") + CurrentPlan.Problems[index].Message();
        const std::string cells[] = {SafeText(device.Before.MAC),
                                     SafeText(device.Before.TypeName),
                                     BeforeAfter(device, TSetupField::Name),
                                     BeforeAfter(device, TSetupField::IP),
                                     "",
                                     other,
                                     problems};
        const bool blocked = DeviceBlocked(CurrentPlan, device);
        for (int column = 0; column < kPlanColumnCount; ++column) {
            auto* item = new QTableWidgetItem(Q(cells[column]));
            item->setToolTip(item->text());
            if (blocked)
                item->setForeground(BlockingColour(table, false));
            table->setItem(static_cast<int>(row), column, item);
        }
    }
    table->resizeColumnsToContents();
    table->setUpdatesEnabled(true);

    std::string planProblems;
    bool blocking = false;
    for (const TPlanProblem* problem : CurrentPlan.PlanProblems()) {
        planProblems += (planProblems.empty() ? "" : "\n") + problem->Message();
        blocking = blocking || problem->Blocking();
    }
    Ui_->lblProblems->setText(Q(planProblems));
    Ui_->lblProblems->setVisible(!planProblems.empty());
    QPalette palette = Ui_->lblProblems->palette();
    palette.setColor(QPalette::WindowText,
                     blocking ? BlockingColour(this, true) : QApplication::palette(this).color(QPalette::WindowText));
    Ui_->lblProblems->setPalette(palette);
    std::string skipped;
    for (const TSkippedAddresses& range : CurrentPlan.Skipped)
        skipped += (skipped.empty() ? "" : "; ") + range.Text();
    Ui_->lblSkipped->setText(skipped.empty() ? QString() : Q(Format(_("Skipped addresses: %s"), skipped.c_str())));
    Ui_->lblSkipped->setVisible(!skipped.empty());
    Ui_->lblSummary->setText(
        Q(Format(_("Devices in the plan: %d, to be changed: %d"), static_cast<int>(CurrentPlan.Devices.size()),
                 static_cast<int>(CurrentPlan.ChangingDevices()))));
}

void TPlanDialog::EnableControls()
{
    const bool editing = State == TState::Editing;
    Ui_->FormGroup->setEnabled(editing);
    Ui_->btnLoadPlan->setEnabled(editing);
    Ui_->btnApply->setEnabled(editing && !CurrentPlan.Blocked() && CurrentPlan.ChangingDevices() > 0);
    Ui_->btnStop->setEnabled(State == TState::Running);
    Ui_->btnClose->setEnabled(State != TState::Running);
}

void TPlanDialog::LoadPlanClick()
{
    if (State != TState::Editing)
        return;
    const std::string path = Dialogs::OpenFileName(this, _("Load Plan"), _("Plan file|*.csv|All files|*"));
    if (path.empty())
        return;
    auto file = std::make_unique<TPlanFile>();
    TPlanReadError error;
    if (!LoadPlanFile(path, *file, error)) {
        // The fields and a plan loaded before stay as they are.
        Dialogs::Error(this,
                       Format(_("The plan %s cannot be read.\n%s"), SafeText(path).c_str(), error.Message.c_str()));
        return;
    }
    File = std::move(file);
    Ui_->lblPlanFile->setText(Q(Format(_("Plan file: %s"), SafeText(path).c_str())));
    MakePreview();
}

void TPlanDialog::ApplyClick()
{
    if (State != TState::Editing || Form->Busy())
        return;
    MakePreview();  // the devices as they are now
    if (CurrentPlan.Blocked() || CurrentPlan.ChangingDevices() == 0)
        return;
    TPlanRunOptions options = RunOptions;
    options.RestartAllowed = true;
    bool restart = false;
    for (const TDevicePlan& device : CurrentPlan.Devices)
        restart = restart || (device.Changes() && PlanNeedsRestart(device));
    // One question for the whole plan; No leaves out the devices that would restart.
    if (restart)
        options.RestartAllowed = Dialogs::Confirm(
            this, _("To propagate new settings, device has to be restarted.\nDo you wish to continue?"));

    std::string path;
    std::string error;
    if (!WriteUndoFile(CurrentPlan, BackupFolder, std::time(nullptr), path, error)) {
        Dialogs::Error(this, Format(_("The undo file cannot be written: %s\nNothing was sent."), error.c_str()));
        return;
    }
    UndoFile = path;
    LogUndoFile(path);

    State = TState::Running;
    EnableControls();
    Form->PlanStarted();
    PlanRun = new TPlanRun(this);
    connect(PlanRun, &TPlanRun::StatusChanged, this, [this](int device) { ShowStatus(device); });
    connect(PlanRun, &TPlanRun::Finished, this, [this] { RunFinished(); });
    PlanRun->Start(CurrentPlan, Form->Devices, options);
    for (size_t device = 0; device < CurrentPlan.Devices.size(); ++device)
        ShowStatus(static_cast<int>(device));
}

void TPlanDialog::ShowStatus(int device)
{
    if (!PlanRun || device < 0 || static_cast<size_t>(device) >= PlanRun->Statuses().size()
        || device >= Ui_->PreviewTable->rowCount())
        return;
    const TPlanDeviceStatus& status = PlanRun->Statuses()[static_cast<size_t>(device)];
    QTableWidgetItem* item = Ui_->PreviewTable->item(device, static_cast<int>(TPlanColumn::Status));
    item->setText(Q(PlanStatusText(status)));
    item->setToolTip(item->text());
    const bool working = status.State == TPlanDeviceState::Sending || status.State == TPlanDeviceState::Verifying;
    const bool ended = !working && status.State != TPlanDeviceState::Waiting;
    item->setForeground(ended && PlanStatusFailed(status) ? BlockingColour(Ui_->PreviewTable, false)
                                                          : QApplication::palette(this).color(QPalette::Text));
    // The column as wide as its texts, and the device at work in view.
    Ui_->PreviewTable->resizeColumnToContents(static_cast<int>(TPlanColumn::Status));
    if (working)
        Ui_->PreviewTable->scrollToItem(item);
}

void TPlanDialog::StopClick()
{
    if (PlanRun && State == TState::Running)
        PlanRun->Stop();
}

void TPlanDialog::RunFinished()
{
    if (State != TState::Running)
        return;
    for (size_t device = 0; device < CurrentPlan.Devices.size(); ++device)
        ShowStatus(static_cast<int>(device));
    Ui_->PreviewTable->resizeColumnToContents(static_cast<int>(TPlanColumn::Status));
    int failed = 0;
    for (const TPlanDeviceStatus& status : PlanRun->Statuses())
        failed += PlanStatusFailed(status) ? 1 : 0;
    Ui_->lblSummary->setText(
        Q(Format(_("Plan finished: %d of %d devices failed"), failed, static_cast<int>(PlanRun->Statuses().size()))));
    State = TState::Done;
    EnableControls();
    // The plan's devices are freed by the discovery that follows: the preview is not made again.
    Chosen.clear();
    Form->PlanEnded();
}

void TPlanDialog::reject()
{
    if (State == TState::Running)  // Stop ends the plan; the dialog closes after it
        return;
    QDialog::reject();
}

void TPlanDialog::closeEvent(QCloseEvent* event)
{
    if (State == TState::Running) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
