// The preview step of the writing commands, between the download of the devices' configurations
// (a fetch batch) and the write: the preview dialog is made from the fetch's results, and Write
// hands on what each device is to be sent. Kept apart from the batch controller, which only
// knows the devices and the batches.
#pragma once
#include "core/http/batch.h"

#include <QByteArray>

#include <functional>
#include <string>
#include <vector>

class QDialog;
class QWidget;

enum class TWriteKind {
    Restore,  // "Restore Selected": each device's backup file
    Common,   // "Configure Devices...": one file to every device; each may keep its own identity
    Version,  // a history version back to its device
};

struct TWriteRequest {
    TWriteKind Kind = TWriteKind::Restore;
    std::vector<TBatchDevice> Devices;
    std::vector<std::string> Addresses;  // each device's configured address, parallel to Devices
    // Restore: the backup folder; Common: the chosen file; Version: the version's file.
    std::string File;
    std::vector<std::string> ExtraIdentity;  // [Compare] Identity
};

// What Write decided: one body per device (empty: the file as it is) and one refusal per device
// ("" none), for TTransferOrder::Bodies and Refusals.
struct TWriteChoice {
    std::vector<QByteArray> Bodies;
    std::vector<std::string> Refusals;
};

// Opens the preview (window-modal, not waited for) of `fetched`, the fetch's results in the
// request's device order. Write logs the history version taken before each write and calls
// `write`; Cancel only closes. The dialog deletes itself once closed.
QDialog* OpenWritePreview(QWidget* parent, const TWriteRequest& request, const std::vector<TDeviceResult>& fetched,
                          std::function<void(TWriteChoice)> write);
