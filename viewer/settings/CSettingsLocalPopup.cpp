#include "viewer/settings/CSettingsLocalPopup.h"

#include <QFrame>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/SettingsPageKit.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Pickers.h"
#include "viewer/widgets/QtGeometry.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {}  // namespace

CSettingsLocalPopup::CSettingsLocalPopup(CTarvellApp& app, Prompt& prompt, FilePicker& files,
                                         QWidget* parent)
    : CPropertyPage(QStringLiteral("Popup Alerts"), parent),
      app_(app),
      prompt_(prompt),
      files_(files) {
    setMinimumSize(DluQRect(0, 0, 235, 210).size());
    setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    PageText(
        this,
        QStringLiteral("Set the popup options that will be used for display the popup alerts on "
                       "your computer."),
        DluQRect(7, 7, 221, 24));
    auto* group = new QFrame(this);
    group->setFrameShape(QFrame::StyledPanel);
    group->setGeometry(DluQRect(7, 35, 221, 168));
    group->lower();
    PageText(this, QStringLiteral("Popup options"), DluQRect(11, 31, 60, 9), false)
        ->setAutoFillBackground(true);
    PageText(
        this,
        QStringLiteral("Use this option to automatically close the popup windows after specified "
                       "period of seconds."),
        DluQRect(13, 55, 209, 24));
    timeoutBox_ = new QCheckBox(QStringLiteral("Enable popup timeout"), this);
    timeoutBox_->setGeometry(DluQRect(13, 84, 130, 11));
    slider_ = Named(new QSlider(Qt::Horizontal, this), QStringLiteral("Popup timeout"));
    slider_->setGeometry(DluQRect(9, 98, 160, 12));
    slider_->setRange(kPopupSliderMin, kPopupSliderMax);
    value_ = PageText(this, QStringLiteral("0"), DluQRect(168, 99, 19, 9), false);
    value_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    seconds_ = PageText(this, QStringLiteral("seconds."), DluQRect(190, 99, 36, 9), false);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setGeometry(DluQRect(13, 120, 209, 1));
    PageText(this,
             QStringLiteral("Use this option to select specific sound file that will be played "
                            "automatically when popup windows are opened."),
             DluQRect(13, 135, 209, 26));
    soundBox_ = new QCheckBox(QStringLiteral("Enable popup sound"), this);
    soundBox_->setGeometry(DluQRect(13, 164, 130, 11));
    sound_ = Named(new QLineEdit(this), QStringLiteral("Popup sound file"));
    sound_->setGeometry(DluQRect(13, 183, 152, 12));
    browse_ = new QPushButton(QStringLiteral("Browse..."), this);
    browse_->setGeometry(DluQRect(172, 182, 50, 14));
    ShowTimeout(false);
    ShowSound(false);

    // Each box's value, whatever changed it (a click, the space key, an assistive technology).
    connect(timeoutBox_, &QCheckBox::toggled, this, [this](bool on) {
        slider_->setValue(kPopupSliderMin);
        ShowTimeout(on);
        SetModified();
    });
    connect(soundBox_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) sound_->clear();
        ShowSound(on);
        SetModified();
    });
    connect(slider_, &QSlider::valueChanged, this, [this](int position) {
        value_->setText(FromUtf8(PopupSliderLabel(timeoutBox_->isChecked(), position)));
        // A drag counts once, at its release.
        if (!slider_->isSliderDown()) SetModified();
    });
    connect(slider_, &QSlider::sliderReleased, this, [this] { SetModified(); });
    connect(sound_, &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(browse_, &QPushButton::clicked, this, [this] {
        if (const auto file = files_.PickFile(this, QStringLiteral("Sounds (*.wav)"))) {
            sound_->setText(*file);
            SetModified();
        }
    });
}

void CSettingsLocalPopup::ShowTimeout(bool on) {
    slider_->setEnabled(on);
    value_->setEnabled(on);
    seconds_->setEnabled(on);
    value_->setText(FromUtf8(PopupSliderLabel(on, slider_->value())));
}

void CSettingsLocalPopup::ShowSound(bool on) {
    sound_->setEnabled(on);
    browse_->setEnabled(on);
}

void CSettingsLocalPopup::OnInitDialog() {
    // The stored values whether popups are on or not: OK after a look at the page keeps them.
    const PopupOptions options = PopupOptionsOf(app_.PopupTimeout(), app_.PopupSound());
    // Shown, not changed: the boxes' own reactions (position 1, an emptied path) stay out.
    const QSignalBlocker quietTimeout(timeoutBox_), quietSound(soundBox_);
    timeoutBox_->setChecked(options.timeoutOn);
    slider_->setValue(options.timeoutOn ? options.position : kPopupSliderMin);
    ShowTimeout(options.timeoutOn);
    soundBox_->setChecked(options.soundOn);
    sound_->setText(QString::fromStdString(options.sound));
    ShowSound(options.soundOn);
}

PopupOptions CSettingsLocalPopup::Options() const {
    PopupOptions o;
    o.timeoutOn = timeoutBox_->isChecked();
    o.position = slider_->value();
    o.soundOn = soundBox_->isChecked();
    o.sound = sound_->text().toStdString();
    return o;
}

bool CSettingsLocalPopup::OnOK() {
    const PopupStore store = PopupValuesOf(Options());
    if (store.message) {
        prompt_.AskString(store.message, PromptButtons::Ok, PromptIcon::Information);
        return false;
    }
    const std::uint32_t oldTimeout = app_.PopupTimeout();
    std::string oldSound = app_.PopupSound();
    app_.SetPopupPreferences(app_.PopupAlerts(), store.values.timeout, store.values.sound);
    if (!app_.SaveSettings()) {
        // Not stored: the popups go on with the old values, and the sheet stays so the user may
        // try again or cancel.
        app_.SetPopupPreferences(app_.PopupAlerts(), oldTimeout, std::move(oldSound));
        prompt_.AskString(str::kSettingsSaveFailed, PromptButtons::Ok, PromptIcon::Warning);
        return false;
    }
    return true;
}

bool RunPopupOptions(CTarvellApp& app, Prompt& prompt, FilePicker& files, QWidget* parent) {
    CPropertySheet sheet(QStringLiteral("Popup Options"), parent);
    sheet.AddPage(new CSettingsLocalPopup(app, prompt, files));
    return sheet.DoModal() == kSheetOk;
}

}  // namespace tarvell
