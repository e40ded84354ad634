// TCompareDialog: Utilities -> "Compare Configurations...". Left and right each a file, a device
// (downloaded now) or one of a device's history versions; the differences table (identity places
// marked, "Differences only", copied as text), a document that is not well-formed compared line
// by line and marked as such, and "Restore This Version..." for a history version. With "Every
// checked device" on the left, the drift view: the checked devices grouped by the differences
// they have from the right side, a group's devices checked in the list in one click.
#pragma once
#include "core/config/compareview.h"
#include "gui/config/comparesources.h"

#include <QDialog>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Ui {
class TCompareDialog;
}
class QComboBox;

enum class TCompareSource { File, Device, History, EveryChecked };

class TCompareDialog : public QDialog {
    Q_OBJECT
public:
    TCompareDialog(TCompareHost host, QWidget* parent = nullptr);
    ~TCompareDialog() override;

    Ui::TCompareDialog* ui() const { return Ui_.get(); }

    // [Compare] Identity: further identity places.
    std::vector<std::string> ExtraIdentity;
    // The history folder versions are read from.
    std::string HistoryRoot;

    // The devices offered, listed again from the window.
    void Reload();
    // Compare (after the downloads, when a side is a device).
    void CompareClick();
    // Both sides files, these two, compared at once.
    void CompareFiles(const std::string& left, const std::string& right);
    // The rows shown now and the drift found last.
    const std::vector<TCompareRow>& Rows() const { return Shown; }
    const TDrift& Drift() const { return LastDrift; }
    bool LineCompare() const { return ByLines; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct TSide {
        TCompareSource Source = TCompareSource::File;
        std::optional<TCompareDevice> Device;
        std::string Path;  // File and History
        QByteArray Bytes;
        bool Read = false;
        std::string Error;
    };
    TSide Side(bool left) const;
    void SourceChanged(bool left);
    void FillVersions(bool left);
    // Both sides' bytes are in: the compare, or the drift of the fetched devices.
    void Compare(TSide left, TSide right);
    void CompareDrift(const std::vector<TCompareDevice>& devices, const std::vector<TDeviceResult>& fetched,
                      const TSide& reference);
    void ShowRows();
    void ShowGroup(int row);
    void CheckGroup();
    void RestoreVersion();
    std::vector<std::string> IdentityFor(const TConfigDocument& doc, const TCompareDevice& device) const;

    std::unique_ptr<Ui::TCompareDialog> Ui_;
    TCompareHost Host;
    std::vector<TCompareDevice> Listed;
    TConfigDocument LeftDoc, RightDoc;
    std::vector<TConfigDifference> Differences;
    bool ByLines = false;
    bool Compared = false;
    std::vector<TCompareRow> Shown;
    TDrift LastDrift;
    std::vector<TCompareDevice> DriftDevices;
    std::vector<TDriftDevice> DriftResults;
    std::optional<TSide> RestoreSide;
};
