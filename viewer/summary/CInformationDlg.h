// The modal dialog that shows an HTML page (an event type's information page, a protection's, or
// any page a screen builds) under a title, with links to print the page and to export its text.
// The page is shown from memory: nothing is written to a temporary file. Pages that want columns
// in the export write "[sep]" between the cells of a line (ReportText.h). GUI thread only.
#pragma once

#include <QDialog>
#include <QSize>

class QLabel;
class QPrinter;
class QPushButton;
class QTextBrowser;

namespace tarvell {

class LinkLabel;

class CInformationDlg : public QDialog {
    Q_OBJECT
public:
    CInformationDlg(const QString& title, const QString& html, QWidget* parent = nullptr);

    QTextBrowser* Browser() const { return browser_; }
    // The page as plain text with its separator markers turned into the export's form.
    QString ExportText(const QString& path) const;
    // Writes the export to `path` (CSV or tab-separated by its extension); false with `why` when
    // the file could not be written (an existing file is then left as it was).
    bool ExportTo(const QString& path, QString* why = nullptr) const;
    void PrintTo(QPrinter& printer) const;

    // The Print and Export links: the print dialog, and the save dialog then ExportTo.
    void Print();
    void Export();

protected:
    void showEvent(QShowEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    QLabel* title_;
    LinkLabel* print_;
    LinkLabel* export_;
    QPushButton* close_;
    QTextBrowser* browser_;
    bool sizeRecorded_ = false;
};

// An information dialog in a window of its own, modal to the application, deleted when closed
// (the alert popup's "Learn more": the page stays when the popup goes).
QWidget* OpenInformationWindow(const QString& title, const QString& html);

// The header links of the information and report dialogs: white, underlined, on the band.
LinkLabel* MakeHeaderLink(const QString& text, QWidget* parent);
// Places "Print" 10 pixels from the right, its icon 5 to its left, "Export" 15 to the left of
// that, its icon 5 to its left, all at y = 3; returns the two icons' positions (export, print).
std::pair<QPoint, QPoint> PlaceHeaderLinks(LinkLabel* exportLink, LinkLabel* printLink, int cx);

}  // namespace tarvell
