// A report as a list (detection or prevention events, detection or prevention alerts) that sorts
// by any column, prints as an HTML table and exports as comma- or tab-separated text. The dialog
// is modeless but blocks its parent window (the main frame) while it is open, and deletes itself
// when closed. The caller creates it with new, inserts the columns into List(), fills the rows and
// shows it; the columns fit their contents and the last one takes the rest of the width. The sort
// column and direction are shared by every report dialog of the process. GUI thread only.
#pragma once

#include <vector>

#include "platform/Clock.h"
#include "viewer/core/summary/ReportText.h"
#include "viewer/widgets/CPrintableDlg.h"

class QLabel;
class QPrinter;

namespace tarvell {

class CSortListCtrl;

class CReportDlg : public CPrintableDlg {
    Q_OBJECT
public:
    // `caption` goes into the header band ("Detection events report"), `title` above the list
    // ("Tarvell - detection report"). The time of the summary line comes from `clock`.
    CReportDlg(const QString& caption, const QString& title, QWidget* parent = nullptr,
               Clock& clock = DefaultClock());

    CSortListCtrl& List() const { return *list_; }

    // "There are currently no available results." or "Report created at ... includes n results.",
    // set when the dialog is shown.
    QString SummaryText() const;
    // A click on a column header: the shared column becomes `column`, the shared direction flips,
    // the rows are sorted by that column's texts as bytes, and the header shows the arrow.
    void SortByColumn(int column);

    // The list as it is now (headers, pixel widths, rows in display order).
    ReportTable Table() const;
    QString PrintHtml() const;
    void PrintTo(QPrinter& printer) const override;
    // The export (ExportTo): comma-separated unless the name ends in ".txt".
    std::string ExportData(const QString& path) const override;

protected:
    void CloseClicked() override { close(); }
    void showEvent(QShowEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void closeEvent(QCloseEvent*) override;

private:
    void UpdateTexts();

    Clock& clock_;
    QString caption_, title_;
    QLabel* titleLabel_;
    QLabel* summaryLabel_;
    CSortListCtrl* list_;
};

// A report dialog made from a table (UTF-8 cells, `table.widths` the relative column widths) and
// shown; it deletes itself when closed.
QWidget* OpenReportDialog(QWidget* parent, const QString& caption, const QString& title,
                          const ReportTable& table);

}  // namespace tarvell
