#include "viewer/settings/CSettingsWnd.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/settings/LocalSettings.h"
#include "viewer/core/settings/SettingsRules.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/CLocalSettingsPanel.h"
#include "viewer/settings/CSettingsPanelBase.h"
#include "viewer/settings/SettingsSheets.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/Pickers.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {
// The six category images, 32 x 32: a rounded tile with a glyph of its own per category.
QImage CategoryImage(int index) {
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    static const QColor tiles[6] = {QColor(102, 51, 153), QColor(66, 120, 170),
                                    QColor(60, 140, 110), QColor(170, 110, 50),
                                    QColor(140, 70, 120), QColor(190, 60, 50)};
    p.setPen(Qt::NoPen);
    p.setBrush(tiles[index]);
    p.drawRoundedRect(QRectF(3, 3, 26, 26), 6, 6);
    p.setPen(QPen(Qt::white, 2.2));
    p.setBrush(Qt::NoBrush);
    switch (index) {
        case 0:
            p.drawRect(QRectF(9, 9, 14, 10));
            p.drawLine(12, 23, 20, 23);
            break;  // screen
        case 1:
            p.drawEllipse(QRectF(12, 8, 8, 8));
            p.drawArc(QRectF(8, 17, 16, 12), 0, 180 * 16);
            break;  // user
        case 2:
            p.drawArc(QRectF(8, 8, 16, 16), 30 * 16, 120 * 16);
            p.drawArc(QRectF(12, 12, 8, 8), 30 * 16, 120 * 16);
            p.drawPoint(16, 20);
            break;  // signal
        case 3:
            p.drawRect(QRectF(7, 12, 18, 8));
            p.drawPoint(11, 16);
            p.drawPoint(15, 16);
            break;  // switch
        case 4:
            p.drawEllipse(QRectF(8, 8, 6, 6));
            p.drawEllipse(QRectF(18, 18, 6, 6));
            p.drawLine(13, 13, 19, 19);
            break;
        default:
            p.drawLine(16, 8, 16, 19);
            p.drawPoint(16, 24);
            break;  // alert
    }
    return image;
}

// Up, down, focused and disabled.
std::array<QPixmap, 4> SaveImages() {
    std::array<QPixmap, 4> out;
    const QColor fills[4] = {QColor(102, 51, 153), QColor(72, 30, 115), QColor(125, 75, 175),
                             QColor(200, 195, 205)};
    for (int i = 0; i < 4; ++i) {
        QPixmap pm(100, 25);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(i == 2 ? QPen(QColor(66, 26, 66), 1.5) : QPen(Qt::NoPen));
        p.setBrush(fills[i]);
        p.drawRoundedRect(QRectF(0.5, 0.5, 99, 24), 5, 5);
        p.setPen(i == 3 ? QColor(245, 245, 245) : QColor(Qt::white));
        p.setFont(DesignFont(QStringLiteral("Tahoma"), 13, 700));
        p.drawText(QRect(i == 1 ? 1 : 0, i == 1 ? 1 : 0, 100, 25), Qt::AlignCenter,
                   QStringLiteral("Save"));
        p.end();
        out[static_cast<std::size_t>(i)] = pm;
    }
    return out;
}
}  // namespace

CSaveButton::CSaveButton(QWidget* parent) : QAbstractButton(parent), images_(SaveImages()) {
    setText(QStringLiteral("Save"));
    setFocusPolicy(Qt::StrongFocus);
}

void CSaveButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int state = !isEnabled() ? 3 : isDown() ? 1 : hasFocus() ? 2 : 0;
    p.drawPixmap(0, 0, images_[static_cast<std::size_t>(state)]);
}

CSettingsWnd::CSettingsWnd(const PageContext& context, QWidget* parent, FolderPicker* folders,
                           FilePicker* files)
    : QWidget(parent), context_(context), images_(QSize(32, 32)) {
    setObjectName(QStringLiteral("page8"));
    toolbar_ = new CFlatToolBarCtrl(this);
    toolbar_->SetTextColor(ToQColor(look::kText));
    toolbar_->SetBoldSelected(true);
    toolbar_->SetListStyle(false);
    toolbar_->setAutoFillBackground(true);
    QPalette pal = toolbar_->palette();
    pal.setColor(QPalette::Window, Qt::white);
    toolbar_->setPalette(pal);
    for (int i = 0; i < kPanels; ++i) images_.Add(CategoryImage(i));
    toolbar_->SetImageList(&images_);
    const auto categories = SettingsCategories();
    for (int i = 0; i < kPanels; ++i) {
        const CommandId command = categories[static_cast<std::size_t>(i)].command;
        FlatButton button;
        button.command = command;
        button.text = FromUtf8(MenuText(res::kSettingsMenu, command));
        button.image = i;
        toolbar_->AddButton(button);
    }
    toolbar_->SetRows(kPanels);
    toolbar_->SetButtonWidth(110, 110);
    connect(toolbar_, &CFlatToolBarCtrl::commandTriggered, this,
            [this](CommandId c) { context_.router.Send(c); });

    save_ = new CSaveButton(this);
    save_->setEnabled(false);
    connect(save_, &QAbstractButton::clicked, this,
            [this] { context_.router.Send(cmd::kSettingsSave); });

    FolderPicker& folderPicker = folders ? *folders : DesktopFolderPicker();
    FilePicker& filePicker = files ? *files : DesktopFilePicker();
    local_ = new CLocalSettingsPanel(context_, folderPicker, filePicker, this);
    panels_[0] = local_;
    for (int i = 1; i < kPanels; ++i) {
        const SettingsCategory& c = categories[static_cast<std::size_t>(i)];
        CSettingsPanelBase* made =
            MakeSettingsPanel(c.command, SheetServices{context_, folderPicker, filePicker, this});
        panels_[static_cast<std::size_t>(i)] =
            made ? made : new CTitledSettingsPanel(FromUtf8(c.title), c.command, this);
    }
    for (CSettingsPanelBase* panel : panels_) {
        panel->hide();
        connect(panel, &CSettingsPanelBase::changed, this, [this] { EnableSave(true); });
    }
    for (const SettingsCategory& c : categories) {
        const CommandId command = c.command;
        commands_.On(command, [this, command] { ShowCategory(command); });
    }
    commands_.On(
        cmd::kSettingsSave, [this] { OnSave(); }, [this] { return save_->isEnabled(); });
}

bool CSettingsWnd::MayOpen(CommandId command) const {
    const CTarvellDoc& doc = context_.app.Document().Fields();
    return CategoryEnabled(command, !doc.ViewerUsers.empty(), context_.app.GetUserPermissions());
}

void CSettingsWnd::ShowCategory(CommandId command) {
    if (!MayOpen(command)) return;
    const auto categories = SettingsCategories();
    for (int i = 0; i < kPanels; ++i) {
        const CommandId c = categories[static_cast<std::size_t>(i)].command;
        toolbar_->SetPressed(c, c == command);
        CSettingsPanelBase* panel = panels_[static_cast<std::size_t>(i)];
        if (c == command) {
            panel->LoadPanel();
            panel->show();
        } else {
            panel->hide();
        }
    }
    current_ = command;
    EnableSave(false);
}

CSettingsPanelBase* CSettingsWnd::VisiblePanel() const {
    for (CSettingsPanelBase* panel : panels_)
        if (panel->Category() == current_) return panel;
    return nullptr;
}

void CSettingsWnd::EnableSave(bool enable) { save_->setEnabled(enable); }

void CSettingsWnd::OnSave() {
    EnableSave(false);
    unsigned message = 0;
    bool stored = false;
    if (current_ == cmd::kSettingsLocal) {
        message = SaveLocalSettings(context_.app, local_->Servers(), local_->Values());
        stored = message == str::kSettingsSaved;
    } else if (const CSettingsPanelBase* panel = VisiblePanel(); panel && panel->Document()) {
        message = SaveVisiblePanel(context_.app, *panel->Document());
        stored = message == str::kSettingsSaved;
    }
    // Nothing (or not all) was stored: the user may try again.
    if (!stored) EnableSave(true);
    if (message) context_.prompt.AskString(message, PromptButtons::Ok, PromptIcon::Information);
}

void CSettingsWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A restore or a return from the tray keeps the visible panel and its unsaved edits.
    if (!showing_.Starts(*event)) return;
    // The reload comes before the gating, so the gating reads the server's users as they are.
    RepairTextTables(context_.app);
    for (const SettingsCategory& c : SettingsCategories())
        toolbar_->EnableButton(c.command, MayOpen(c.command));
    ShowCategory(cmd::kSettingsLocal);
}

void CSettingsWnd::hideEvent(QHideEvent* event) {
    if (showing_.Stops(*this, *event))
        for (CSettingsPanelBase* panel : panels_) panel->hide();
    QWidget::hideEvent(event);
}

void CSettingsWnd::resizeEvent(QResizeEvent*) {
    const int w = width(), h = height();
    toolbar_->setGeometry(30, 30, 110, std::max(0, h - 60));
    save_->setGeometry(w - 130, h - 55, 100, 25);
    for (CSettingsPanelBase* panel : panels_)
        panel->setGeometry(170, 30, std::max(0, w - 200), std::max(0, h - 85));
}

void CSettingsWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width(), h = height();
    for (int x = 0; x < w; ++x) {
        const int k = 10 * x / std::max(1, w);
        p.fillRect(QRect(x, 0, 1, h), QColor(240 + k, 230 + k, 245 + k));
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(ToQColor(look::kPanelFrame));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(20.5, 20.5, 129, h - 41), 3, 3);
    p.drawRoundedRect(QRectF(160.5, 20.5, w - 181, h - 41), 3, 3);
}

}  // namespace tarvell
