#include "viewer/alerts/CAlertPopupDlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <algorithm>

#include "viewer/alerts/AlertImages.h"
#include "viewer/alerts/SoundPlayer.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/DialogUnits.h"
#include "shared/EventTypes.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/core/base/CommandIds.h"

namespace tarvell {
namespace {

constexpr Rgb kHeadingInk{26, 0, 66};
constexpr int kBandHeight = 25;
constexpr int kCloseSize = 21;

QRect DluQRect(int x, int y, int w, int h) {
    const Rect r = DluRect(x, y, w, h);
    return QRect(r.left, r.top, r.Width(), r.Height());
}

QLabel* MakeLabel(QWidget* parent, const QFont& font, Rgb ink, QRect at) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, ToQColor(ink));
    label->setPalette(pal);
    label->setAttribute(Qt::WA_TranslucentBackground);
    at.setHeight(std::max(at.height(), QFontMetrics(font).height()));  // room for descenders
    label->setGeometry(at);
    return label;
}

Rect ToRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

CAlertPopupDlg::CAlertPopupDlg(CTarvellApp& app, std::string key, SoundPlayer* sound,
                               InformationOpener openInformation, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      app_(app),
      key_(std::move(key)),
      sound_(sound),
      openInformation_(std::move(openInformation)) {
    setObjectName(QStringLiteral("alertPopup"));
    setWindowTitle(QStringLiteral("Tarvell Alert"));  // not shown; names the window to the desktop
    setAttribute(Qt::WA_ShowWithoutActivating);  // a popup never takes the keyboard from the user
    setFixedSize(DluToPixelsX(186), DluToPixelsY(161));

    title_ = MakeLabel(this, DesignFont(QStringLiteral("Tahoma"), 16, 700), look::kWhite,
                       DluQRect(3, 3, 163, 8));
    title_->setText(FromUtf8(LoadString(str::kAppTitle)) + QStringLiteral(" Alert"));
    kindIcon_ = new QLabel(this);
    kindIcon_->setGeometry(DluQRect(13, 30, 20, 20));
    kindIcon_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    heading_ = MakeLabel(this, DesignFont(QStringLiteral("Tahoma"), 16, 700), kHeadingInk,
                         DluQRect(40, 35, 129, 10));
    body_ = Named(new QPlainTextEdit(this), QStringLiteral("Alert"));
    body_->setReadOnly(true);
    body_->setFrameShape(QFrame::NoFrame);
    body_->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    QPalette pal = body_->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, ToQColor(look::kText));
    body_->setPalette(pal);
    body_->document()->setDocumentMargin(0);
    // Whole lines down to the program icon's row: no line is cut through its letters, and a
    // longer text scrolls.
    const QRect body = DluQRect(13, 60, 159, 74);
    const int line = QFontMetrics(body_->font()).lineSpacing();
    body_->setGeometry(body.x(), body.y(), body.width(),
                       std::max(line, body.height() / line * line + 2 * body_->frameWidth()));
    body_->viewport()->installEventFilter(this);
    programIcon_ = new QLabel(this);
    programIcon_->setPixmap(ProgramIcon().pixmap(32, 32));
    programIcon_->setGeometry(QRect(QPoint(DluToPixelsX(4), DluToPixelsY(136)), QSize(32, 32)));
    learnMore_ = new LinkLabel(QStringLiteral("Learn more about this alert..."), 0, this);
    learnMore_->SetColor(ToQColor(kHeadingInk));
    learnMore_->setFont(DesignFont(QStringLiteral("Tahoma"), 13, 400, false, true));
    // At least its dialog-unit width; wider when the installed face runs wider than Tahoma.
    const QRect link = DluQRect(26, 142, 98, 8);
    learnMore_->setGeometry(link.x(), link.y(),
                            std::max(link.width(), learnMore_->sizeHint().width()),
                            std::max(link.height(), learnMore_->sizeHint().height()));
    connect(learnMore_, &LinkLabel::activated, this, [this] { LearnMore(); });
    close_ = new QLabel(this);
    close_->setObjectName(QStringLiteral("closeIcon"));
    close_->installEventFilter(this);
    SetCloseImage(0);
    for (QWidget* w : std::initializer_list<QWidget*>{title_, kindIcon_, heading_, programIcon_})
        w->setAttribute(Qt::WA_TransparentForMouseEvents);

    slide_.setInterval(kSlideStepMs);
    connect(&slide_, &QTimer::timeout, this, [this] { Step(); });
    timeout_.setSingleShot(true);
    connect(&timeout_, &QTimer::timeout, this, [this] { TimedOut(); });
    connect(this, &QDialog::finished, this, [this] {
        slide_.stop();
        timeout_.stop();
    });
}

CAlertPopupDlg::~CAlertPopupDlg() = default;

bool CAlertPopupDlg::Begin() {
    CAlertItem alert;
    if (!app_.LookupAlert(key_, alert)) {
        setResult(kPopupGone);
        return false;
    }
    kind_ = KindOf(alert);
    if (kind_.icon >= 0)
        kindIcon_->setPixmap(QPixmap::fromImage(AlertKindImages().Image(kind_.icon)));
    const AlertText text = MakeAlertText(alert);
    heading_->setText(FromStored(text.heading));
    std::string body = AlertBody(key_, alert, text.text);
    for (std::size_t at = body.find("\r\n"); at != std::string::npos; at = body.find("\r\n", at))
        body.erase(at, 1);
    body_->setPlainText(FromStored(body));

    QScreen* screen = QGuiApplication::primaryScreen();
    const Rect desktop = ToRect(screen->geometry()), work = ToRect(screen->availableGeometry());
    const Size size{width(), height()};
    std::vector<Point> steps = SlidePositions(size, desktop, work);
    if (steps.empty()) {
        move(desktop.right - size.width - 1, desktop.bottom - size.height);
        show();
        SlidIn();
        return true;
    }
    move(steps.front().x, steps.front().y);
    show();
    StartSlide(std::move(steps), false);
    return true;
}

QString CAlertPopupDlg::Heading() const { return heading_->text(); }
QString CAlertPopupDlg::Body() const { return body_->toPlainText(); }
QRect CAlertPopupDlg::CloseIconRect() const {
    return QRect(width() - 23, 2, kCloseSize, kCloseSize);
}

void CAlertPopupDlg::StartSlide(std::vector<Point> steps, bool out) {
    steps_ = std::move(steps);
    step_ = 0;
    sliding_ = true;
    slidingOut_ = out;
    Step();
    slide_.start();
}

void CAlertPopupDlg::Step() {
    if (step_ < steps_.size()) {
        move(steps_[step_].x, steps_[step_].y);
        ++step_;
        if (step_ < steps_.size()) return;
    }
    slide_.stop();
    sliding_ = false;
    if (slidingOut_) {
        hide();
        done(0);
    } else {
        SlidIn();
    }
}

void CAlertPopupDlg::SlidIn() {
    if (const std::uint32_t seconds = app_.PopupTimeout(); seconds > 0)
        timeout_.start(static_cast<int>(std::min<std::uint32_t>(seconds, 24u * 3600u) * 1000u));
    const std::string sound = app_.PopupSound();
    if (!sound.empty() && sound_) sound_->Play(sound);
}

void CAlertPopupDlg::TimedOut() {
    if (!app_.PopupSound().empty() && sound_) sound_->Stop();
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    std::vector<Point> steps = SlideOutPositions({width(), height()}, y(), ToRect(s->geometry()));
    if (steps.empty()) {
        hide();
        done(0);
        return;
    }
    StartSlide(std::move(steps), true);
}

void CAlertPopupDlg::LearnMore() {
    CAlertItem alert;
    if (!openInformation_ || !app_.LookupAlert(key_, alert)) return;
    if (info_) {
        info_->raise();
        return;
    }
    info_ = openInformation_(FromUtf8(AlertInformationTitle(alert.Category)),
                             FromUtf8(EventTypeHelp(alert.Description)));
}

void CAlertPopupDlg::SetCloseImage(int index) {
    closeImage_ = index;
    close_->setPixmap(QPixmap::fromImage(AlertCloseImages().Image(index)));
}

void CAlertPopupDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    close_->setGeometry(CloseIconRect());
}

void CAlertPopupDlg::mousePressEvent(QMouseEvent* e) {
    activateWindow();
    QDialog::mousePressEvent(e);
}

void CAlertPopupDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        done(0);  // as the close icon: at once, no slide
        return;
    }
    QDialog::keyPressEvent(e);
}

bool CAlertPopupDlg::eventFilter(QObject* watched, QEvent* e) {
    // The popup shows without the keyboard; a click on its text gives it the keyboard, so
    // Escape reaches it.
    if (watched == body_->viewport() && e->type() == QEvent::MouseButtonPress) activateWindow();
    if (watched != close_) return QDialog::eventFilter(watched, e);
    switch (e->type()) {
        case QEvent::Enter: SetCloseImage(1); break;
        case QEvent::Leave: SetCloseImage(0); break;
        case QEvent::MouseButtonRelease: {
            const auto* m = static_cast<QMouseEvent*>(e);
            if (m->button() == Qt::LeftButton && close_->rect().contains(m->position().toPoint())) {
                done(0);  // at once, no slide; a sound plays on
                return true;
            }
            break;
        }
        default: break;
    }
    return QDialog::eventFilter(watched, e);
}

void CAlertPopupDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width(), h = height();
    for (int y = 0; y < h; ++y) {
        const int k = 10 * y / h;
        p.fillRect(0, y, w, 1, QColor(240 + k, 230 + k, 245 + k));
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(ToQColor(look::kPanelFrame), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(5.5, 32.5, w - 11, h - 38), 3, 3);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (kind_.hasBrush) p.fillRect(0, 0, w, kBandHeight, ToQColor(kind_.brush));
    p.setPen(Qt::black);
    p.drawLine(0, kBandHeight, w, kBandHeight);
    p.setPen(QColor(100, 100, 100));  // the thin border
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, w - 1, h - 1);
}

}  // namespace tarvell
