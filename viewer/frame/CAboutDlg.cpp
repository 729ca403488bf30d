#include "viewer/frame/CAboutDlg.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSysInfo>
#include <QTextEdit>
#include <QUrl>

#include "viewer/core/look/Look.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/DialogLook.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

CAboutDlg::CAboutDlg(const QString& version, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Tarvell"));
    const QFont text = BodyFont(*this);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, ToQColor(look::kText));

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    icon->setGeometry(24, 24, 32, 32);

    auto* heading = new QLabel(QStringLiteral("Tarvell system information:"), this);
    heading->setFont(text);
    heading->setPalette(pal);
    heading->setGeometry(72, 24, 300, 18);

    version_ = new QLineEdit(
        QStringLiteral("%1 version %2").arg(FromUtf8(LoadString(str::kAppTitle)), version), this);
    version_->setReadOnly(true);
    SetControlName(version_, QStringLiteral("Version"));
    version_->setFont(text);
    version_->setGeometry(72, 46, 320, 22);

    info_ = Named(new QTextEdit(this), QStringLiteral("About"));
    info_->setReadOnly(true);
    info_->setFont(text);
    info_->setPlainText(
        QStringLiteral("Program: Tarvell %1\nQt: %2\nSystem: %3\nKernel: %4 %5\nMachine: %6")
            .arg(version, QString::fromLatin1(qVersion()), QSysInfo::prettyProductName(),
                 QSysInfo::kernelType(), QSysInfo::kernelVersion(),
                 QSysInfo::currentCpuArchitecture()));
    info_->setGeometry(24, 78, 368, 110);

    auto* onTheWeb = new QLabel(QStringLiteral("On the Web:"), this);
    onTheWeb->setFont(text);
    onTheWeb->setPalette(pal);
    onTheWeb->setGeometry(24, 200, 80, 18);
    web_ = new LinkLabel(QString::fromLatin1(kMakerWebAddress), 1150, this);
    web_->setFont(BodyFont(*this, QStringLiteral("Tahoma"), 400));
    web_->SetColor(ToQColor(look::kText));
    web_->setGeometry(104, 200, 288, 18);
    connect(web_, &LinkLabel::activated, this, [] {
        WaitCursor wait;
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerWebAddress)));
    });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setGeometry(317, 232, 75, 23);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(416, 276);
}

void CAboutDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintBands(p, rect(), false);
    FillRoundedPanel(p, rect().adjusted(10, 10, -10, -10));
}

}  // namespace tarvell
