// The about box TAboutBox: the program's picture and version, the maker's notice, name and web
// address. Created once at start-up; shown modally from "About...", in the language of the moment.
#pragma once
#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class TAboutBox;
}

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    Ui::TAboutBox* ui() const { return Ui_.get(); }

    // The program's version, read once when the box is made.
    const std::string VersionText;

    void ProgramIconClick();
    void Label3Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    std::unique_ptr<Ui::TAboutBox> Ui_;
};
