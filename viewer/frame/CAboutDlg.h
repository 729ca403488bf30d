// The viewer's About box: the program icon, its name and version, a few lines on the system it
// runs on, and a link to the maker's web site (opened in the desktop's browser). Run modally by
// the application's About command. GUI thread only.
#pragma once

#include <QDialog>

class QLineEdit;
class QTextEdit;

namespace tarvell {

class LinkLabel;

inline constexpr const char* kMakerWebAddress = "https://www.tarvell.example/";

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(const QString& version, QWidget* parent = nullptr);

    QLineEdit* VersionEdit() const { return version_; }
    QTextEdit* SystemInfo() const { return info_; }
    LinkLabel* WebLink() const { return web_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QLineEdit* version_;
    QTextEdit* info_;
    LinkLabel* web_;
};

}  // namespace tarvell
