// TPreviewDialog: what a write would change, shown before "Restore Selected", "Configure
// Devices..." and a restore from the history write anything. Per device the number of
// differences, the identity places that would change (in red), or why it could not be read; the
// selected device's differences in a table. For "Configure Devices..." the box "Keep each
// device's own identity" (ticked when the file would change identity places) makes the preview
// again with each device's own body. Write accepts, Cancel rejects; the dialog decides nothing
// itself (core/http/preview.h does).
#pragma once
#include "core/http/preview.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TPreviewDialog;
}

class TPreviewDialog : public QDialog {
    Q_OBJECT
public:
    // `keepIdentityBox`: "Configure Devices...", where each device may keep its own identity.
    TPreviewDialog(TPreviewInput input, bool keepIdentityBox, QWidget* parent = nullptr);
    ~TPreviewDialog() override;

    Ui::TPreviewDialog* ui() const { return Ui_.get(); }
    // The preview as shown (made again when the box changes).
    const TPreview& Preview() const { return Shown; }

private:
    void MakePreview();
    void ShowDevice(int row);

    std::unique_ptr<Ui::TPreviewDialog> Ui_;
    TPreviewInput Input;
    TPreview Shown;
};
