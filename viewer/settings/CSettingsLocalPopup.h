// The popup options page, alone in the modal sheet "Popup Options": whether a popup closes
// itself after 10..100 seconds and which sound it plays. OK stores both in the viewer's registry
// key; the page always starts from the stored values. GUI thread only.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include "viewer/core/settings/LocalSettings.h"
#include "viewer/widgets/CPropertySheet.h"

namespace tarvell {

class CTarvellApp;
class FilePicker;
class Prompt;

class CSettingsLocalPopup : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsLocalPopup(CTarvellApp& app, Prompt& prompt, FilePicker& files,
                        QWidget* parent = nullptr);

    void OnInitDialog() override;
    bool OnOK() override;

    QCheckBox* TimeoutBox() const { return timeoutBox_; }
    QSlider* Slider() const { return slider_; }
    QLabel* ValueLabel() const { return value_; }
    QCheckBox* SoundBox() const { return soundBox_; }
    QLineEdit* SoundEdit() const { return sound_; }
    QPushButton* BrowseButton() const { return browse_; }
    PopupOptions Options() const;

private:
    void ShowTimeout(bool on);
    void ShowSound(bool on);

    CTarvellApp& app_;
    Prompt& prompt_;
    FilePicker& files_;
    QCheckBox* timeoutBox_;
    QSlider* slider_;
    QLabel* value_;
    QLabel* seconds_;
    QCheckBox* soundBox_;
    QLineEdit* sound_;
    QPushButton* browse_;
};

// Runs the sheet "Popup Options" with the page; true when OK stored the values.
bool RunPopupOptions(CTarvellApp& app, Prompt& prompt, FilePicker& files, QWidget* parent);

}  // namespace tarvell
