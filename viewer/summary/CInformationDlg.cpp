#include "viewer/summary/CInformationDlg.h"

#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTextBrowser>
#include <cerrno>
#include <cstring>

#include "platform/Files.h"
#include "viewer/core/summary/ReportText.h"
#include "viewer/widgets/DialogLook.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

QWidget* OpenInformationWindow(const QString& title, const QString& html) {
    auto* page = new CInformationDlg(title, html);
    page->setAttribute(Qt::WA_DeleteOnClose);
    page->setWindowModality(Qt::ApplicationModal);
    page->show();
    return page;
}

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

CInformationDlg::CInformationDlg(const QString& title, const QString& html, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Tarvell Information"));
    title_ = new QLabel(title, this);
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(HeaderFont(true));
    QPalette pal = title_->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    title_->setPalette(pal);
    print_ = MakeHeaderLink(QStringLiteral("Print"), this);
    export_ = MakeHeaderLink(QStringLiteral("Export"), this);
    connect(print_, &LinkLabel::activated, this, [this] { Print(); });
    connect(export_, &LinkLabel::activated, this, [this] { Export(); });
    close_ = new QPushButton(QStringLiteral("Close"), this);
    close_->setDefault(true);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    browser_ = new QTextBrowser(this);
    browser_->setOpenLinks(false);   // a page shows; it does not navigate anywhere
    browser_->setHtml(html);
    resize(560, 440);
}

QString CInformationDlg::ExportText(const QString& path) const {
    const std::string text = browser_->document()->toPlainText().toStdString();
    return QString::fromStdString(ExportInformationText(text, ExportKindOf(path.toStdString())));
}

bool CInformationDlg::ExportTo(const QString& path, QString* why) const {
    const QByteArray bytes = ExportText(path).toUtf8();
    if (AtomicWriteFile(path.toStdString(), std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))))
        return true;
    if (why != nullptr) *why = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

void CInformationDlg::PrintTo(QPrinter& printer) const { browser_->document()->print(&printer); }

void CInformationDlg::Print() {
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    WaitCursor wait;
    PrintTo(printer);
}

void CInformationDlg::Export() {
    const QString path = AskExportPath(this);
    if (path.isEmpty()) return;
    WaitCursor wait;
    QString why;
    if (!ExportTo(path, &why)) ShowWriteFailure(this, path, why);
}

void CInformationDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // The first size is the smallest: the dialog can grow but not shrink below it.
    close_->setFocus();
    if (!sizeRecorded_) {
        setMinimumSize(size());
        sizeRecorded_ = true;
    }
}

void CInformationDlg::resizeEvent(QResizeEvent*) {
    const int cx = width(), cy = height();
    PlaceHeaderLinks(export_, print_, cx);
    title_->setGeometry(10, 3, std::max(0, export_->x() - 40), 16);
    const QSize button = close_->sizeHint().expandedTo(QSize(75, 23));
    close_->setGeometry(cx - 10 - button.width(), cy - 11 - button.height(), button.width(), button.height());
    browser_->setGeometry(11, 40, std::max(0, cx - 24), std::max(0, close_->y() - 20 - 40));
    update();
}

void CInformationDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintDialogFrame(p, rect(), width() - (close_->x() + close_->width()), close_->x() + close_->width() - 1,
                     close_->y() - 15);
    const auto [exportIcon, printIcon] = PlaceHeaderLinks(export_, print_, width());
    p.drawImage(exportIcon, HeaderIcon(0));
    p.drawImage(printIcon, HeaderIcon(1));
}

}  // namespace tarvell
