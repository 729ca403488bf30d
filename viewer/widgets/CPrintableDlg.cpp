#include "viewer/widgets/CPrintableDlg.h"

#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Files.h"
#include "viewer/widgets/DialogLook.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

LinkLabel* MakeHeaderLink(const QString& text, QWidget* parent) {
    auto* link = new LinkLabel(text, 0, parent);
    link->SetColor(Qt::white);
    link->setFont(HeaderFont(false, true));
    link->resize(link->sizeHint());
    return link;
}

std::pair<QPoint, QPoint> PlaceHeaderLinks(LinkLabel* exportLink, LinkLabel* printLink, int cx) {
    const QSize p = printLink->sizeHint(), e = exportLink->sizeHint();
    const int printX = cx - 10 - p.width();
    printLink->setGeometry(printX, 3, p.width(), 16);
    const QPoint printIcon(printX - 5 - 16, 3);
    const int exportX = printIcon.x() - 15 - e.width();
    exportLink->setGeometry(exportX, 3, e.width(), 16);
    const QPoint exportIcon(exportX - 5 - 16, 3);
    return {exportIcon, printIcon};
}

CPrintableDlg::CPrintableDlg(const QString& windowTitle, const QString& heading, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(windowTitle);
    heading_ = new QLabel(heading, this);
    heading_->setTextFormat(Qt::PlainText);
    heading_->setFont(HeaderFont(true));
    QPalette pal = heading_->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    heading_->setPalette(pal);
    print_ = MakeHeaderLink(QStringLiteral("Print"), this);
    export_ = MakeHeaderLink(QStringLiteral("Export"), this);
    connect(print_, &LinkLabel::activated, this, [this] { Print(); });
    connect(export_, &LinkLabel::activated, this, [this] { Export(); });
    close_ = new QPushButton(QStringLiteral("Close"), this);
    close_->setDefault(true);
    connect(close_, &QPushButton::clicked, this, [this] { CloseClicked(); });
}

void CPrintableDlg::SetHeading(const QString& heading) { heading_->setText(heading); }

QString CPrintableDlg::Heading() const { return heading_->text(); }

bool CPrintableDlg::ExportTo(const QString& path, QString* why) const {
    const std::string data = ExportData(path);
    if (AtomicWriteFile(path.toStdString(), data)) return true;
    if (why != nullptr) *why = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

void CPrintableDlg::Print() {
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    WaitCursor wait;
    PrintTo(printer);
}

void CPrintableDlg::Export() {
    const QString path = AskExportPath(this);
    if (path.isEmpty()) return;
    WaitCursor wait;
    QString why;
    if (!ExportTo(path, &why)) ShowWriteFailure(this, path, why);
}

void CPrintableDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    close_->setFocus();
    if (!sizeRecorded_) {
        setMinimumSize(size());
        sizeRecorded_ = true;
    }
}

void CPrintableDlg::resizeEvent(QResizeEvent*) {
    const int cx = width(), cy = height();
    PlaceHeaderLinks(export_, print_, cx);
    heading_->setGeometry(10, 3, std::max(0, export_->x() - 40), 16);
    const QSize button = close_->sizeHint().expandedTo(QSize(75, 23));
    close_->setGeometry(cx - 10 - button.width(), cy - 11 - button.height(), button.width(),
                        button.height());
    update();
}

void CPrintableDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintDialogFrame(p, rect(), width() - (close_->x() + close_->width()),
                     close_->x() + close_->width() - 1, close_->y() - 15);
    const auto [exportIcon, printIcon] = PlaceHeaderLinks(export_, print_, width());
    p.drawImage(exportIcon, HeaderIcon(0));
    p.drawImage(printIcon, HeaderIcon(1));
}

}  // namespace tarvell
