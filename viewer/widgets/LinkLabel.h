// A link: a line of text in the link colour that shows the hand cursor, is underlined while the
// mouse is over it, and on a click (or Return/Space with the focus) emits its command id. The
// owner connects `activated` to the command router, so a link reaches the page that handles it.
// An inactive link (SetActive(false)) is plain text: the body text colour, never underlined, the
// arrow cursor, and deaf to clicks and keys; it becomes a link again with SetActive(true).
#pragma once

#include <QColor>
#include <QWidget>

#include "viewer/core/base/CommandIds.h"

namespace tarvell {

class LinkLabel : public QWidget {
    Q_OBJECT
public:
    explicit LinkLabel(const QString& text, CommandId command = 0, QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const { return text_; }
    CommandId Command() const { return command_; }
    void SetCommand(CommandId command) { command_ = command; }
    void SetColor(const QColor& c) {
        color_ = c;
        update();
    }
    bool IsHot() const { return hot_; }
    void SetActive(bool active);
    bool IsActive() const { return active_; }
    // Underlined always (true) or only while hot (false, at construction).
    void SetUnderlined(bool always) {
        underlined_ = always;
        update();
    }
    QSize sizeHint() const override;

signals:
    void activated(tarvell::CommandId command);

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void changeEvent(QEvent*) override;

private:
    QString text_;
    CommandId command_;
    QColor color_;
    bool hot_ = false;
    bool active_ = true;
    bool underlined_ = false;
};

}  // namespace tarvell
