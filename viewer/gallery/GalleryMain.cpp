// The gallery: the viewer's shared controls on one window, with the drawn images and a list of
// 100 000 rows. Developers look at it; tools/screenshots runs it under a virtual X server.
//   tarvell-gallery                      shows the gallery
//   tarvell-gallery --out DIR            writes the gallery's pictures as PNG files into DIR
//   tarvell-gallery --grab-screen FILE   writes a picture of the whole screen (another program's
//                                        window, for instance) into FILE
#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "SheetDemo.h"
#include "viewer/core/base/CommandIds.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/shots/ShotStage.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/CThemeTabCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {
namespace {

constexpr int kGalleryRows = 100000;

QString Menu(unsigned menu, CommandId id) { return FromUtf8(MenuText(menu, id)); }

// The banner's look: the light gradient with the maker's and the product's names.
class Banner : public QWidget {
public:
    explicit Banner(QWidget* parent) : QWidget(parent) {
        setFixedHeight(64);
        text_ = new CFlatToolBarCtrl(this);
        text_->SetTextColor(ToQColor(look::kLink));
        text_->SetHotColorOn(true);
        text_->SetUnderlineHot(true);
        for (CommandId id : {cmd::kFileMenu, cmd::kOptionsMenu, cmd::kToolsMenu, cmd::kHelpMenu}) {
            text_->AddButton(FlatButton{cmd::kSpacer, QString(), -1, false});
            text_->AddButton(FlatButton{id, Menu(res::kMainMenuTexts, id), -1, true, true});
        }
        text_->move(300, 36);
        icons_ = new CFlatToolBarCtrl(this);
        icons_->SetListStyle(false);
        icons_->SetTextColor(ToQColor(look::kLink));
        icons_->SetImageList(&ViewerImages(res::kToolbarNormal));
        icons_->SetHotImageList(&ViewerImages(res::kToolbarHot));
        int image = 1;
        for (CommandId id : {cmd::kMonitor, cmd::kProtect, cmd::kAlerts}) {
            if (id != cmd::kMonitor) icons_->AddButton(FlatButton{cmd::kDivider, QString(), -1});
            icons_->AddButton(FlatButton{id, Menu(res::kMainToolbar, id), image++});
        }
        icons_->resize(icons_->sizeHint());
    }

protected:
    void resizeEvent(QResizeEvent*) override { icons_->move(width() - icons_->width() - 10, 0); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        FillPageGradient(p, rect());
        p.fillRect(QRect(0, height() - 1, width(), 1), ToQColor(look::kBandEdge));
        p.setFont(DesignFont(QStringLiteral("Impact"), 20, 400, true, true));
        p.setPen(ToQColor(look::kMakerGrey));
        p.drawText(QRect(10, 25, 290, 25), Qt::TextSingleLine, QStringLiteral("Quenmark"));
        p.setFont(DesignFont(QStringLiteral("Arial"), 26, 700));
        p.setPen(ToQColor(look::kProductRed));
        p.drawText(QRect(140, 24, 200, 36), Qt::TextSingleLine, QStringLiteral("Tarvell"));
        const ImageList& state = ViewerImages(res::kServiceState);
        state.Draw(p, 1, QPoint(width() - 280, 10));
        p.setFont(BodyFont(*this));
        p.setPen(ToQColor(look::kLink));
        p.drawText(QRect(width() - 280, 30, 54, 30), Qt::AlignCenter | Qt::TextSingleLine,
                   Menu(res::kMainToolbar, cmd::kService));
    }

private:
    CFlatToolBarCtrl* text_;
    CFlatToolBarCtrl* icons_;
};

// The main view's header: the purple band, its title and icon, and a drop-down toolbar.
class Header : public QWidget {
public:
    explicit Header(QWidget* parent) : QWidget(parent) {
        setFixedHeight(81);
        bar_ = new CFlatToolBarCtrl(this);
        bar_->SetTextColor(Qt::white);
        bar_->SetUnderlineHot(true);
        bar_->AddButton(
            FlatButton{cmd::kDetectionMonitor, Menu(res::kMainMenu, cmd::kDetectionMonitor)});
        bar_->AddButton(
            FlatButton{cmd::kPreventionMonitor, Menu(res::kMainMenu, cmd::kPreventionMonitor)});
        bar_->SetRows(2);
        bar_->resize(bar_->sizeHint());
    }

protected:
    void resizeEvent(QResizeEvent*) override { bar_->move(width() - 167, 22); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        FillPageGradient(p, rect());
        FillGradientColumns(p, QRect(0, 0, width(), 80), look::kBandLeft, look::kBandRight);
        p.fillRect(QRect(0, 80, width(), 1), ToQColor(look::kBandEdge));
        ViewerImages(res::kToolbarHot).Draw(p, 1, QPoint(15, 25));
        p.setFont(DesignFont(QStringLiteral("Tahoma"), 28));
        p.setPen(Qt::white);
        p.drawText(QRect(60, 30, 340, 45), Qt::TextSingleLine,
                   Menu(res::kTitleMenu, cmd::kTitleMonitor));
        p.setFont(DesignFont(QStringLiteral("Tahoma"), 13, 700));
        p.drawText(QRect(width() - 195, 5, 180, 16), Qt::TextSingleLine,
                   FromUtf8(LoadString(str::kTakeMeTo)));
        DrawDottedDivider(p, width() - 215, 20, 71, look::kHeaderDotDark, look::kHeaderDotLight);
    }

private:
    CFlatToolBarCtrl* bar_;
};

// A sheet of every drawn image.
class ImageSheet : public QWidget {
public:
    explicit ImageSheet(QWidget* parent) : QWidget(parent) { setMinimumSize(560, 60); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        int x = 4;
        for (unsigned r : {res::kAppIcon, res::kToolbarNormal, res::kToolbarHot, res::kServiceState,
                           res::kFavorites, res::kEventRows}) {
            const ImageList& l = ViewerImages(r);
            for (int i = 0; i < l.Count(); ++i) {
                l.Draw(p, i, QPoint(x, 4));
                x += l.Size().width() + 4;
            }
            x += 8;
        }
        p.fillRect(QRect(x, 4, 42, 33), ToQColor(look::kBandLeft));
        ViewerImages(res::kBackButton).Draw(p, 0, QPoint(x, 4));
    }
};

std::vector<ListRow> ManyRows(int count) {
    static const char* const kTypes[] = {"Unauthorized Node",  "New Mac",
                                         "Changed Ip",         "Threat Receive",
                                         "WMI Not Responding", "System Blocking"};
    std::vector<ListRow> rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        ListRow r;
        r.cells = {
            QStringLiteral("00A0C9%1").arg(i, 6, 16, QLatin1Char('0')).toUpper(),
            QStringLiteral("switch-%1 port %2").arg(i % 48).arg(i % 24 + 1),
            QString::fromLatin1(kTypes[i % 6]) + QStringLiteral("\nNode 10.0.%1.%2 on port %3")
                                                     .arg((i / 250) % 256)
                                                     .arg(i % 250 + 1)
                                                     .arg(i % 24 + 1),
            QString::number(i % 2)};
        r.image = (i % 4);
        r.data = static_cast<quint64>(i);
        rows.push_back(std::move(r));
    }
    return rows;
}

class Gallery : public QWidget {
public:
    Gallery() : stateOff_(QSize(16, 16)), stateOn_(QSize(16, 16)) {
        setWindowTitle(QStringLiteral("Tarvell gallery"));
        resize(1180, 860);
        for (const QColor& c : {QColor(200, 200, 200), QColor(60, 160, 70)}) {
            QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
            img.fill(Qt::transparent);
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing);
            p.setBrush(c);
            p.setPen(c.darker(140));
            p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
            p.end();
            stateOff_.Add(img);
            stateOn_.Add(img);
        }

        auto* grid = new QGridLayout(this);
        grid->setContentsMargins(0, 0, 0, 8);
        banner_ = new Banner(this);
        header_ = new Header(this);
        grid->addWidget(banner_, 0, 0, 1, 2);
        grid->addWidget(header_, 1, 0, 1, 2);

        list_ = new CPaintListCtrl(this);
        list_->InsertColumn(0, QStringLiteral("Device Mac"), 125);
        list_->InsertColumn(1, QStringLiteral("Device Port"), 140);
        list_->InsertColumn(2, QStringLiteral("Description"), 260);
        list_->InsertColumn(3, QStringLiteral("State"), 50);
        list_->SetSmallImages(&ViewerImages(res::kEventRows));
        list_->SetTwoLineText(true);
        list_->SetKeepSelection(true);
        list_->SetStateImages(&stateOff_, &stateOn_);
        list_->SetStateColumns({3});
        list_->Rows()->SetRows(ManyRows(kGalleryRows));
        list_->SetBoldRows({0, 2, 3});
        list_->SetSortIndicator(0, true);
        list_->SelectRow(1);
        grid->addWidget(list_, 2, 0, 2, 1);

        tabs_ = new CThemeTabCtrl(this);
        for (const char* t : {"Servers", "Popup Alerts", "Access"})
            tabs_->AddTab(QString::fromLatin1(t));
        tabs_->setMinimumSize(420, 200);
        auto* panel = new QWidget(tabs_);
        auto* links = new QGridLayout(panel);
        links->addWidget(new LinkLabel(QStringLiteral("View detection settings"),
                                       cmd::kIntrusionDetection, panel),
                         0, 0);
        links->addWidget(new LinkLabel(QStringLiteral("View prevention settings"),
                                       cmd::kIntrusionPrevention, panel),
                         1, 0);
        panel_ = panel;
        grid->addWidget(tabs_, 2, 1);

        auto* side = new QWidget(this);
        auto* sideGrid = new QGridLayout(side);
        empty_ = new CPaintListCtrl(side);
        empty_->InsertColumn(0, QStringLiteral("Alert"), 200);
        empty_->InsertColumn(1, QStringLiteral("Date"), 180);
        empty_->SetEmptyText(QStringLiteral("There are currently no active alerts."));
        sideGrid->addWidget(empty_, 0, 0);
        plain_ = new CSortListCtrl(side);
        plain_->InsertColumn(0, QStringLiteral("Device Ip"), 120);
        plain_->InsertColumn(1, QStringLiteral("Device Name"), 200);
        for (int i = 0; i < 6; ++i) {
            const int r = plain_->Rows()->InsertItem(i, QStringLiteral("10.0.0.%1").arg(10 - i));
            plain_->Rows()->SetItemText(r, 1, QStringLiteral("switch-%1").arg(i));
        }
        plain_->SetSortIndicator(0, false);
        sideGrid->addWidget(plain_, 1, 0);
        grid->addWidget(side, 3, 1);

        sheet_ = new ImageSheet(this);
        grid->addWidget(sheet_, 4, 0, 1, 2);
        grid->setColumnStretch(0, 3);
        grid->setColumnStretch(1, 2);
        grid->setRowStretch(2, 1);
        grid->setRowStretch(3, 1);
    }

    // Writes the pictures; false after the first that cannot be written.
    bool WritePictures(const QDir& dir) const {
        const std::pair<const char*, QWidget*> shots[] = {
            {"gallery.png", const_cast<Gallery*>(this)},
            {"list-100000-rows.png", list_},
            {"banner-toolbars.png", banner_},
            {"header-toolbar.png", header_},
            {"tabs.png", tabs_},
            {"empty-list.png", empty_},
            {"sort-list.png", plain_},
            {"images.png", sheet_}};
        for (const auto& [name, widget] : shots) {
            const QString path = dir.filePath(QString::fromLatin1(name));
            if (!widget->grab().save(path, "PNG")) {
                std::fprintf(stderr,
                             "Picture %s could not be written; no further pictures are written\n",
                             path.toLocal8Bit().constData());
                return false;
            }
        }
        return true;
    }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        panel_->setGeometry(tabs_->DisplayRect().adjusted(8, 8, -8, -8));
    }

private:
    ImageList stateOff_, stateOn_;
    Banner* banner_;
    Header* header_;
    CPaintListCtrl* list_;
    CThemeTabCtrl* tabs_;
    QWidget* panel_;
    CPaintListCtrl* empty_;
    CSortListCtrl* plain_;
    ImageSheet* sheet_;
};

int Usage() {
    std::fprintf(stderr, "usage: tarvell-gallery [--out DIR | --grab-screen FILE]\n");
    return 2;
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) {
    using namespace tarvell;
    QApplication app(argc, argv);
    const QStringList args = StartPictures();
    if (const auto screen = OptionValue(args, "--grab-screen")) return SaveScreen(*screen) ? 0 : 1;
    Gallery gallery;
    if (const auto out = OptionValue(args, "--out")) {
        const QDir dir(*out);
        if (!dir.exists()) {
            std::fprintf(stderr, "Folder %s does not exist; no pictures are written\n",
                         out->toLocal8Bit().constData());
            return 1;
        }
        gallery.show();
        QApplication::processEvents();
        return gallery.WritePictures(dir) && WriteSheetPictures(dir) ? 0 : 1;
    }
    if (args.size() != 1) return Usage();
    gallery.show();
    return app.exec();
}
