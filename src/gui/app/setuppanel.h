// The "Device Setup" panel of the main window: the setup fields of the device the list shows, the
// DHCP box that locks the address fields, and the three commands ("Apply Changes", "Restart
// Device", "Set Factory Defaults"). The decisions and the commands live in core/setup; the panel
// reads its fields, asks through the message boxes and shows the result.
#pragma once
#include "core/devices/setupfields.h"
#include "core/setup/fields.h"

#include <QObject>

#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QWidget;
class TControlLock;
class TProduct;

class TSetupPanel : public QObject {
public:
    // window: the main window whose device area holds the panel's controls; batchLock: the lock
    // a running batch holds, which the panel's controls join.
    TSetupPanel(QWidget* window, TControlLock& batchLock);

    // The device the list shows: its details in the fields (the texts run the change rules).
    // Null: no device any more, the fields keep their texts.
    void Show(TProduct* device);
    TProduct* Device() const { return Shown; }
    // Nothing shown: empty fields, the DHCP box unmarked, "Apply Changes" disabled.
    void Clear();
    // In demonstration mode every command is at hand and none sends anything.
    void SetDemoMode(bool demo) { DemoMode = demo; }
    // "Set Factory Defaults" and "Restart Device".
    void EnableCommands(bool enabled);
    // The controls that rest while the list shows no row.
    std::vector<QObject*> RestingControls() const;
    // The shaded fields' colours from the window's present palette.
    void FollowPalette();
    // The texts the panel sets itself, in the language of the moment.
    void Retranslate() { ShowRestartHint(); }

    // Locked look (read-only, shaded) or editable look for the address fields; a name-server
    // field showing "N/A" keeps the look it has.
    void LockAddressFields(bool locked);
    void FieldChange(TSetupField field);
    void chbDhcpClick();
    void btnConfigDeviceClick();
    void btnRestartDeviceClick();
    void btnSetDefaultClick();

    // A setup field's look: read-only fields are shaded like inactive window borders.
    static void SetFieldLook(QLineEdit* field, bool readOnly);

private:
    struct TField {
        TSetupField Field;
        QLineEdit* Edit;
    };
    QLineEdit* Edit(TSetupField field) const;
    // "Restart Device" disabled for a device that takes no restart command says so in its tool tip.
    void ShowRestartHint();

    QWidget* Window;
    std::vector<TField> Fields;
    QCheckBox* Dhcp;
    QWidget* FieldGroup;
    QPushButton* Apply;
    QPushButton* Restart;
    QPushButton* Default;
    TProduct* Shown = nullptr;
    bool DemoMode = false;
};
