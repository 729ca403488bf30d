// The viewer's flat toolbar (banner, main view header, summary favourites, settings window). It
// paints every button itself, whatever the desktop theme: text in TextColor (the hot colour when
// HotColorOn and the button is hot but not pressed), underlined when hot with UnderlineHot, bold
// while pressed with BoldSelected, in "Tahoma" of height pixels-per-inch / 7, without edges and
// without a pressed offset. A button with command 0 is a divider, painted as a column of lavender
// dots. Hot tracking follows hover and leave events (no mouse capture); over a hot button the
// cursor is the hand.
// Clicking a button emits `commandTriggered`; pressing a drop-down button emits `dropDown` with
// the button's rectangle, for the owner to open its menu there. GUI thread only.
#pragma once

#include <QColor>
#include <QWidget>
#include <vector>

#include "viewer/core/base/CommandIds.h"
#include "viewer/widgets/ImageList.h"

namespace tarvell {

struct FlatButton {
    CommandId command = 0;  // 0: a divider
    QString text;
    int image = -1;  // index into the toolbar's image lists; -1: no image
    bool enabled = true;
    bool dropDown = false;  // pressing it opens a menu (dropDown signal)
    bool hidden = false;
    bool pressed = false;  // stays drawn pressed (SetPressed), e.g. the chosen category
};

class CFlatToolBarCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CFlatToolBarCtrl(QWidget* parent = nullptr);

    // The button text colour; the system button text colour at construction.
    void SetTextColor(const QColor& c) {
        textColor_ = c;
        update();
    }
    QColor TextColor() const { return textColor_; }
    // A hot (not pressed) button's text is drawn in the link colour. Off at construction.
    void SetHotColorOn(bool on) {
        hotColorOn_ = on;
        update();
    }
    bool HotColorOn() const { return hotColorOn_; }
    // A hot button's text is underlined. Off at construction.
    void SetUnderlineHot(bool on) {
        underlineHot_ = on;
        update();
    }
    bool UnderlineHot() const { return underlineHot_; }
    // A pressed button's text is bold. Off at construction.
    void SetBoldSelected(bool on) {
        boldSelected_ = on;
        update();
    }
    bool BoldSelected() const { return boldSelected_; }

    // Text beside the image (true, the list style) or below it (false). True at construction.
    void SetListStyle(bool list);
    // The images of normal and hot buttons (owned by the caller; may be null).
    void SetImageList(const ImageList* images);
    void SetHotImageList(const ImageList* images) {
        hotImages_ = images;
        update();
    }
    // Buttons are laid out in this many rows (at least 1); 1 at construction.
    void SetRows(int rows);
    // Every button (dividers aside) at least `minWidth` and at most `maxWidth` pixels wide
    // (TB_SETBUTTONWIDTH); 0 leaves that bound free, as at construction.
    void SetButtonWidth(int minWidth, int maxWidth);

    int AddButton(const FlatButton& button);
    int ButtonCount() const { return static_cast<int>(buttons_.size()); }
    const FlatButton& Button(int index) const {
        return buttons_.at(static_cast<std::size_t>(index));
    }
    // The index of the first button with `command`, or -1.
    int CommandToIndex(CommandId command) const;
    // Changes a button's command and text by index; false for an index outside the toolbar.
    bool SetButtonInfo(int index, CommandId command, const QString& text);
    bool HideButton(CommandId command, bool hide);
    bool EnableButton(CommandId command, bool enable);
    // A button held pressed: drawn as a pressed button (bold with BoldSelected, never in the hot
    // colour) until released by SetPressed(command, false); it still sends its command when
    // clicked. False for a command not on the toolbar.
    bool SetPressed(CommandId command, bool pressed);
    bool IsPressed(CommandId command) const;
    // The button's place in the control (empty for a hidden button or an index outside).
    QRect ButtonRect(int index) const;
    int ButtonAt(QPoint pos) const;
    // Where the button's text is drawn (empty where ButtonRect is): beside the image in the list
    // style, below it otherwise.
    QRect TextRect(int index) const;
    // The hot button (under the mouse, enabled, not a divider), or -1.
    int HotIndex() const { return hot_; }
    // The button being pressed, or -1.
    int PressedIndex() const { return pressed_; }

    QSize sizeHint() const override;

signals:
    void commandTriggered(tarvell::CommandId command);
    void dropDown(tarvell::CommandId command, QRect buttonRect);

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent*) override;

private:
    QSize ButtonSize(const FlatButton& b) const;
    QSize NaturalButtonSize(const FlatButton& b) const;
    void Layout() const;
    void SetHot(int index);
    QFont ButtonFont(int index) const;
    bool DrawnPressed(int index) const;

    QColor textColor_;
    bool hotColorOn_ = false;
    int minButtonWidth_ = 0;
    int maxButtonWidth_ = 0;
    bool underlineHot_ = false;
    bool boldSelected_ = false;
    bool listStyle_ = true;
    const ImageList* images_ = nullptr;
    const ImageList* hotImages_ = nullptr;
    int rows_ = 1;
    std::vector<FlatButton> buttons_;
    mutable std::vector<QRect> rects_;
    mutable bool layoutValid_ = false;
    int hot_ = -1;
    int pressed_ = -1;
};

}  // namespace tarvell
