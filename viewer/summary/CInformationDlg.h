// The modal dialog that shows an HTML page (an event type's information page, a protection's, or
// any page a screen builds) under a title, with links to print the page and to export its text.
// The page is shown from memory: nothing is written to a temporary file. Pages that want columns
// in the export write "[sep]" between the cells of a line (ReportText.h). GUI thread only.
#pragma once

#include <QSize>

#include "viewer/widgets/CPrintableDlg.h"

class QPrinter;
class QTextBrowser;

namespace tarvell {

class CInformationDlg : public CPrintableDlg {
    Q_OBJECT
public:
    CInformationDlg(const QString& title, const QString& html, QWidget* parent = nullptr);

    QTextBrowser* Browser() const { return browser_; }
    // The page as plain text with its separator markers turned into the export's form.
    QString ExportText(const QString& path) const;
    // The export (ExportTo, CSV or tab-separated by the extension) is ExportText in UTF-8.
    std::string ExportData(const QString& path) const override;
    void PrintTo(QPrinter& printer) const override;

protected:
    void resizeEvent(QResizeEvent*) override;

private:
    QTextBrowser* browser_;
};

// An information dialog in a window of its own, modal to the application, deleted when closed
// (the alert popup's "Learn more": the page stays when the popup goes).
QWidget* OpenInformationWindow(const QString& title, const QString& html);

}  // namespace tarvell
