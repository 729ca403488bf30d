#include "viewer/summary/CReportDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QPrinter>
#include <QStyle>
#include <QTextDocument>

#include "platform/DateText.h"
#include "viewer/core/look/Look.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/DialogLook.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/ListRowsModel.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {
namespace {

QLabel* MakeLabel(QWidget* parent, const QFont& font, const QColor& color) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
    return label;
}

std::string Utf8(const QString& s) { return s.toStdString(); }

}  // namespace

CReportDlg::CReportDlg(const QString& caption, const QString& title, QWidget* parent, Clock& clock)
    : CPrintableDlg(QStringLiteral("Tarvell Report"), caption, parent),
      clock_(clock),
      caption_(caption),
      title_(title) {
    setAttribute(Qt::WA_DeleteOnClose);
    // Modeless, yet the main frame waits while a report is open.
    setWindowModality(Qt::WindowModal);
    titleLabel_ =
        MakeLabel(this, DesignFont(QStringLiteral("Tahoma"), 16, 700), ToQColor(look::kText));
    summaryLabel_ =
        MakeLabel(this, DesignFont(QStringLiteral("Tahoma"), 13, 700), ToQColor(look::kText));
    list_ = Named(new CSortListCtrl(this), QStringLiteral("Report"));
    list_->SetFitColumns(true);
    connect(list_, &CSortListCtrl::headerClicked, this, &CReportDlg::SortByColumn);
    resize(720, 480);
}

QString CReportDlg::SummaryText() const { return summaryLabel_->text(); }

void CReportDlg::UpdateTexts() {
    SetHeading(caption_);
    titleLabel_->setText(title_);
    const int rows = list_->Rows() ? list_->Rows()->rowCount() : 0;
    summaryLabel_->setText(FromUtf8(
        ReportSummaryText(static_cast<std::size_t>(rows), FormatUserDateTime(clock_.Now()))));
}

void CReportDlg::SortByColumn(int column) {
    ListRowsModel* rows = list_->Rows();
    if (rows == nullptr || column < 0 || column >= rows->columnCount()) return;
    ReportSortState& sort = SharedReportSort();
    sort.Click(column);
    const bool ascending = sort.ascending;
    const auto cell = [column](const ListRow& r) {
        return static_cast<std::size_t>(column) < r.cells.size()
                   ? Utf8(r.cells[static_cast<std::size_t>(column)])
                   : std::string();
    };
    rows->SortItems([&](const ListRow& a, const ListRow& b) {
        return ascending ? ReportCellLess(cell(a), cell(b)) : ReportCellLess(cell(b), cell(a));
    });
    list_->SetSortIndicator(column, ascending);
}

ReportTable CReportDlg::Table() const {
    ReportTable table;
    const ListRowsModel* rows = list_->Rows();
    if (rows == nullptr) return table;
    const int columns = rows->columnCount();
    for (int c = 0; c < columns; ++c) {
        table.headers.push_back(
            Utf8(rows->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()));
        table.widths.push_back(list_->columnWidth(c));
    }
    table.rows.reserve(static_cast<std::size_t>(rows->rowCount()));
    for (int r = 0; r < rows->rowCount(); ++r) {
        std::vector<std::string> cells;
        cells.reserve(static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c) cells.push_back(Utf8(rows->ItemText(r, c)));
        table.rows.push_back(std::move(cells));
    }
    return table;
}

QString CReportDlg::PrintHtml() const {
    return QString::fromStdString(BuildReportHtml(Utf8(title_), Utf8(SummaryText()), Table()));
}

void CReportDlg::PrintTo(QPrinter& printer) const {
    QTextDocument document;
    document.setHtml(PrintHtml());
    document.print(&printer);
}

std::string CReportDlg::ExportData(const QString& path) const {
    return BuildReportExport(Table(), ExportSeparator(ExportKindOf(Utf8(path))));
}

void CReportDlg::showEvent(QShowEvent* e) {
    CPrintableDlg::showEvent(e);
    UpdateTexts();
}

void CReportDlg::resizeEvent(QResizeEvent* e) {
    CPrintableDlg::resizeEvent(e);
    const int cx = width();
    titleLabel_->setGeometry(22, 45, std::max(0, cx - 44), 22);
    summaryLabel_->setGeometry(22, 75, std::max(0, cx - 44), 18);
    list_->setGeometry(22, 105, std::max(0, cx - 44), std::max(0, CloseButton()->y() - 30 - 105));
    update();
}

void CReportDlg::closeEvent(QCloseEvent* e) {
    // The main window gets its input back, then the focus.
    if (QWidget* main = parentWidget() ? parentWidget()->window() : nullptr) main->activateWindow();
    CPrintableDlg::closeEvent(e);
}

QWidget* OpenReportDialog(QWidget* parent, const QString& caption, const QString& title,
                          const ReportTable& table) {
    auto* dlg = new CReportDlg(caption, title, parent);
    for (std::size_t c = 0; c < table.headers.size(); ++c)
        dlg->List().InsertColumn(static_cast<int>(c), FromUtf8(table.headers[c]), 100);
    std::vector<ListRow> rows;
    rows.reserve(table.rows.size());
    for (const auto& cells : table.rows) {
        ListRow row;
        row.cells.reserve(cells.size());
        for (const std::string& cell : cells) row.cells.push_back(FromUtf8(cell));
        rows.push_back(std::move(row));
    }
    dlg->List().Rows()->SetRows(std::move(rows));
    dlg->show();
    return dlg;
}

}  // namespace tarvell
