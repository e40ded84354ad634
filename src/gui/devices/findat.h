// TFindAtForm: asks for the addresses of a search on other subnets. OK is taken only for a text
// that names a search to run; anything else is refused in an error box that names the wrong
// specs (or says why), and the dialog stays open.
#pragma once
#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TFindAtForm;
}

class TFindAtForm : public QDialog {
    Q_OBJECT
public:
    explicit TFindAtForm(QWidget* parent = nullptr);
    ~TFindAtForm() override;

    Ui::TFindAtForm* ui() const { return Ui_.get(); }

    std::string Text() const;
    void SetText(const std::string& text);
    // The addresses of the text last accepted.
    const std::vector<uint32_t>& Addresses() const { return Accepted; }

    // Checks the text; false after the error box.
    bool TakeText();

    // Shows the dialog modally; true for an accepted search. With the dialogs in automatic mode
    // (tests) it is not shown: the next queued text is typed and OK pressed (Cancel when none
    // is queued, or when the text is refused).
    bool Execute();
    static void QueueText(const std::string& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TFindAtForm> Ui_;
    std::vector<uint32_t> Accepted;
};
