#include "viewer/summary/CInformationDlg.h"

#include <QPrinter>
#include <QPushButton>
#include <QTextBrowser>
#include <algorithm>

#include "viewer/core/summary/ReportText.h"

namespace tarvell {

QWidget* OpenInformationWindow(const QString& title, const QString& html) {
    auto* page = new CInformationDlg(title, html);
    page->setAttribute(Qt::WA_DeleteOnClose);
    page->setWindowModality(Qt::ApplicationModal);
    page->show();
    return page;
}

CInformationDlg::CInformationDlg(const QString& title, const QString& html, QWidget* parent)
    : CPrintableDlg(QStringLiteral("Tarvell Information"), title, parent) {
    browser_ = new QTextBrowser(this);
    browser_->setOpenLinks(false);  // a page shows; it does not navigate anywhere
    browser_->setHtml(html);
    resize(560, 440);
}

QString CInformationDlg::ExportText(const QString& path) const {
    const std::string text = browser_->document()->toPlainText().toStdString();
    return QString::fromStdString(ExportInformationText(text, ExportKindOf(path.toStdString())));
}

std::string CInformationDlg::ExportData(const QString& path) const {
    return ExportText(path).toUtf8().toStdString();
}

void CInformationDlg::PrintTo(QPrinter& printer) const { browser_->document()->print(&printer); }

void CInformationDlg::resizeEvent(QResizeEvent* e) {
    CPrintableDlg::resizeEvent(e);
    browser_->setGeometry(11, 40, std::max(0, width() - 24),
                          std::max(0, CloseButton()->y() - 20 - 40));
}

}  // namespace tarvell
