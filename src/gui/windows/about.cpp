#include "gui/windows/about.h"
#include "gui/app/qtext.h"

#include "core/app/i18n.h"
#include "core/app/version.h"
#include "gui/app/artwork.h"
#include "gui/app/translate.h"
#include "gui/devices/weblink.h"
#include "ui_about.h"

namespace {
// The address as the label shows it: without its scheme and trailing slash.
QString ShownAddress(const std::string& url)
{
    QString text = Q(url);
    text.remove(QStringLiteral("https://")).remove(QStringLiteral("http://"));
    if (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}
}  // namespace

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      VersionText(ProgramVersion()), Ui_(std::make_unique<Ui::TAboutBox>())
{
    Ui_->setupUi(this);
    setFixedSize(176, 213);
    Ui_->ProgramIcon->setPixmap(ProgramPicture());
    Ui_->Copyright->setText(Q(kMakerNotice));
    Ui_->MakerName->setText(Q(kMakerName));
    Ui_->Label3->setText(ShownAddress(kMakerWebAddress));
    Ui_->Label3->setToolTip(Q(kMakerWebAddress));
    OnClick(Ui_->ProgramIcon, [this] { ProgramIconClick(); });
    OnClick(Ui_->Label3, [this] { Label3Click(); });
    connect(Ui_->OKButton, &QPushButton::clicked, this, &QDialog::accept);
    // The notice, the maker's name and the address are the maker's own: never translated.
    // The version label is filled on every showing.
    for (const char* name : {"Copyright", "MakerName", "Label3", "Version"})
        TP_Ignore(this, name);
    TranslateComponent(this);
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TAboutBox::FormShow()
{
    UseLanguage(GetCurrentLanguage());
    RetranslateComponent(this);
    Ui_->Version->setText(Q(_("Version:") + VersionText));
}

void TAboutBox::ProgramIconClick() { OpenWebPage(kMakerWebAddress); }

void TAboutBox::Label3Click() { OpenWebPage(kMakerWebAddress); }
