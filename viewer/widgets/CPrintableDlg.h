// The base of the dialogs that print and export what they show (the information and report
// dialogs): the dialog frame with a heading in the header band, the white "Export" and "Print"
// links with their icons at its right end, and a Close button at the bottom right. A subclass
// gives the printed document (PrintTo) and the export's bytes (ExportData) and places its own
// controls in its resizeEvent after the base's. GUI thread only.
#pragma once

#include <QDialog>
#include <QPoint>
#include <string>
#include <utility>

class QLabel;
class QPrinter;
class QPushButton;

namespace tarvell {

class LinkLabel;

class CPrintableDlg : public QDialog {
    Q_OBJECT
public:
    // `windowTitle` goes into the title bar, `heading` into the header band.
    CPrintableDlg(const QString& windowTitle, const QString& heading, QWidget* parent = nullptr);

    void SetHeading(const QString& heading);
    QString Heading() const;

    virtual void PrintTo(QPrinter& printer) const = 0;
    // The export of the dialog's content for `path` (its kind follows the file's extension).
    virtual std::string ExportData(const QString& path) const = 0;
    // Writes ExportData to `path` at once; false with `why` when the file could not be written
    // (an existing file is then left as it was).
    bool ExportTo(const QString& path, QString* why = nullptr) const;

    // The Print and Export links: the print dialog then PrintTo; the save dialog then ExportTo.
    void Print();
    void Export();

protected:
    QPushButton* CloseButton() const { return close_; }
    // What the Close button does: accept at construction.
    virtual void CloseClicked() { accept(); }

    // The first size shown becomes the smallest; the Close button takes the focus.
    void showEvent(QShowEvent*) override;
    // Places the header links, the heading and the Close button (10 pixels from the right,
    // 11 from the bottom).
    void resizeEvent(QResizeEvent*) override;
    // The frame with its white panel down to 15 pixels above the Close button, and the icons.
    void paintEvent(QPaintEvent*) override;

private:
    QLabel* heading_;
    LinkLabel* print_;
    LinkLabel* export_;
    QPushButton* close_;
    bool sizeRecorded_ = false;
};

// The header links: white, underlined, on the band.
LinkLabel* MakeHeaderLink(const QString& text, QWidget* parent);
// Places "Print" 10 pixels from the right, its icon 5 to its left, "Export" 15 to the left of
// that, its icon 5 to its left, all at y = 3; returns the two icons' positions (export, print).
std::pair<QPoint, QPoint> PlaceHeaderLinks(LinkLabel* exportLink, LinkLabel* printLink, int cx);

}  // namespace tarvell
