#include <QLineEdit>
#include <QPointer>
#include <QTextEdit>
#include <QPrinter>
#include <QTextBrowser>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/Process.h"
#include "viewer/frame/CAboutDlg.h"
#include "viewer/summary/CInformationDlg.h"
#include "viewer/summary/CReportDlg.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell {
namespace {

class ReportDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempFolder("tarvell-report-");
        ASSERT_FALSE(dir_.empty());
        SharedReportSort() = ReportSortState{};
    }
    void TearDown() override { RemoveTree(dir_); }

    QString Path(const char* name) const { return QString::fromStdString(JoinPath(dir_, name)); }

    // A report of `rows` rows, three columns.
    CReportDlg* Make(const std::vector<std::vector<QString>>& rows) {
        auto* dlg = new CReportDlg(QStringLiteral("Detection events report"),
                                   QStringLiteral("Tarvell - detection report"), nullptr, clock_);
        dlg->List().InsertColumn(0, QStringLiteral("Device Name"), 100);
        dlg->List().InsertColumn(1, QStringLiteral("Source Mac"), 100);
        dlg->List().InsertColumn(2, QStringLiteral("Description"), 100);
        std::vector<ListRow> list;
        for (const auto& r : rows) {
            ListRow row;
            row.cells = r;
            list.push_back(std::move(row));
        }
        dlg->List().Rows()->SetRows(std::move(list));
        return dlg;
    }

    static std::vector<QString> Column(const CReportDlg& dlg, int column) {
        std::vector<QString> out;
        for (int r = 0; r < dlg.List().Rows()->rowCount(); ++r)
            out.push_back(dlg.List().Rows()->ItemText(r, column));
        return out;
    }

    // The text of a PDF file as pdftotext reads it.
    static std::string PdfText(const QString& pdf) {
        ProcessOptions options;
        options.argv = {"pdftotext", "-layout", pdf.toStdString(), "-"};
        options.captureOutput = true;
        options.timeLimitMs = 30'000;
        const ProcessResult result = RunProcess(options);
        EXPECT_TRUE(result.Succeeded()) << result.errorText << result.err;
        return result.out;
    }

    std::string dir_;
    FakeClock clock_;
};

TEST_F(ReportDlgTest, AnEmptyReportSaysSoAndPrintsOnlyTheHeaderRow) {
    QPointer<CReportDlg> dlg = Make({});
    dlg->show();
    EXPECT_EQ(dlg->SummaryText(), QStringLiteral("There are currently no available results."));
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Tarvell Report"));
    const QString pdf = Path("empty.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    dlg->PrintTo(printer);
    const std::string text = PdfText(pdf);
    EXPECT_NE(text.find("Tarvell - detection report"), std::string::npos) << text;
    EXPECT_NE(text.find("There are currently no available results."), std::string::npos) << text;
    EXPECT_NE(text.find("Device Name"), std::string::npos) << text;
    EXPECT_NE(text.find("Source Mac"), std::string::npos) << text;
    dlg->close();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dlg.isNull());  // closing deletes the dialog
}

TEST_F(ReportDlgTest, APrintedReportHoldsTheHeaderAndEscapedCells) {
    CReportDlg* dlg = Make(
        {{QStringLiteral("core <b>x</b>"), QStringLiteral("00:1a"), QStringLiteral("New Mac")}});
    dlg->show();
    EXPECT_TRUE(dlg->SummaryText().startsWith(QStringLiteral("Report created at ")));
    EXPECT_TRUE(dlg->SummaryText().endsWith(QStringLiteral(" includes 1 results.")));
    EXPECT_TRUE(dlg->PrintHtml().contains(QStringLiteral("core &lt;b&gt;x&lt;/b&gt;")));
    const QString pdf = Path("one.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    dlg->PrintTo(printer);
    const std::string text = PdfText(pdf);
    EXPECT_NE(text.find("Description"), std::string::npos) << text;
    EXPECT_NE(text.find("core <b>x</b>"), std::string::npos) << text;
    dlg->close();
}

TEST_F(ReportDlgTest, TheSameColumnTwiceReversesAndASecondDialogContinues) {
    const std::vector<std::vector<QString>> rows = {{"b", "2"}, {"c", "1"}, {"a", "3"}};
    CReportDlg* first = Make(rows);
    first->show();
    first->SortByColumn(0);
    EXPECT_EQ(Column(*first, 0), (std::vector<QString>{"a", "b", "c"}));
    EXPECT_EQ(first->List().SortColumn(), 0);
    EXPECT_TRUE(first->List().SortAscending());
    first->SortByColumn(0);
    EXPECT_EQ(Column(*first, 0), (std::vector<QString>{"c", "b", "a"}));
    EXPECT_FALSE(first->List().SortAscending());
    first->close();

    CReportDlg* second = Make(rows);
    second->show();
    second->SortByColumn(1);  // continues from the last direction: ascending again
    EXPECT_EQ(Column(*second, 1), (std::vector<QString>{"1", "2", "3"}));
    EXPECT_TRUE(second->List().SortAscending());
    second->close();
}

TEST_F(ReportDlgTest, ExportQuotesOnlyWhatNeedsItAndReplacesAnExistingFile) {
    CReportDlg* dlg = Make(
        {{QStringLiteral("core, floor 2"), QStringLiteral("aa"), QStringLiteral("say \"hi\"")}});
    dlg->show();
    const QString csv = Path("r.csv");
    ASSERT_TRUE(AtomicWriteFile(csv.toStdString(), "old contents"));
    ASSERT_TRUE(dlg->ExportTo(csv));
    EXPECT_EQ(ReadWholeFile(csv.toStdString(), 4096).value_or(""),
              "Device Name,Source Mac,Description\r\n\"core, floor 2\",aa,\"say \"\"hi\"\"\"\r\n");
    const QString txt = Path("r.TXT");
    ASSERT_TRUE(dlg->ExportTo(txt));
    EXPECT_EQ(ReadWholeFile(txt.toStdString(), 4096).value_or(""),
              "Device Name\tSource Mac\tDescription\r\ncore, floor 2\taa\t\"say \"\"hi\"\"\"\r\n");
    QString why;
    EXPECT_FALSE(dlg->ExportTo(Path("missing-folder/r.csv"), &why));
    EXPECT_FALSE(why.isEmpty());
    dlg->close();
}

TEST_F(ReportDlgTest, TheColumnsFitTheirTextsAndTheLastTakesTheRest) {
    CReportDlg* dlg = Make({{"core", "00:1a:2b:3c:4d:5e:00:1a:2b:3c:4d:5e", "x"}});
    dlg->resize(800, 500);
    dlg->show();
    QApplication::processEvents();
    const CSortListCtrl& list = dlg->List();
    EXPECT_GT(list.columnWidth(1), list.fontMetrics().horizontalAdvance(
                                       QStringLiteral("00:1a:2b:3c:4d:5e:00:1a:2b:3c:4d:5e")));
    EXPECT_LT(list.columnWidth(0), list.columnWidth(1)) << "no share of the width by percent";
    EXPECT_EQ(list.columnWidth(0) + list.columnWidth(1) + list.columnWidth(2),
              list.viewport()->width());
    EXPECT_EQ(dlg->List().geometry().topLeft(), QPoint(22, 105));
    dlg->close();
}

TEST_F(ReportDlgTest, AReportBlocksItsParentAndKeepsItsFirstSizeAsTheSmallest) {
    QWidget frame;
    frame.resize(300, 200);
    frame.show();
    auto* dlg =
        new CReportDlg(QStringLiteral("Prevention alerts report"),
                       QStringLiteral("Tarvell - prevention alerts report"), &frame, clock_);
    dlg->resize(640, 400);
    dlg->show();
    EXPECT_EQ(dlg->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dlg->minimumSize(), QSize(640, 400));
    dlg->close();
}

TEST_F(ReportDlgTest, TheAboutBoxNamesTheVersionAndTheWebAddress) {
    CAboutDlg about(QStringLiteral("3.6"));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Tarvell"));
    EXPECT_TRUE(about.VersionEdit()->text().endsWith(QStringLiteral("version 3.6")));
    EXPECT_TRUE(about.VersionEdit()->isReadOnly());
    EXPECT_TRUE(about.SystemInfo()->toPlainText().contains(QStringLiteral("Tarvell 3.6")));
    EXPECT_EQ(about.WebLink()->Text(), QString::fromLatin1(kMakerWebAddress));
}

// ---- information dialog

TEST_F(ReportDlgTest, AnInformationPageShowsFromMemoryAndExportsItsCells) {
    const std::string stale = JoinPath("/tmp", "Information.htm");
    const bool staleBefore = FileExists(stale);
    CInformationDlg dlg(QStringLiteral("New Mac"),
                        QStringLiteral("<p>Head, line</p><p>A[sep]B, C[sep]D</p>"));
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Tarvell Information"));
    EXPECT_TRUE(dlg.Browser()->toPlainText().contains(QStringLiteral("A[sep]B")));
    EXPECT_EQ(FileExists(stale), staleBefore);  // nothing written to the temporary folder
    const QString csv = Path("page.csv"), txt = Path("page.txt"), other = Path("page.dat");
    ASSERT_TRUE(dlg.ExportTo(csv));
    ASSERT_TRUE(dlg.ExportTo(txt));
    ASSERT_TRUE(dlg.ExportTo(other));
    EXPECT_EQ(ReadWholeFile(csv.toStdString(), 4096).value_or(""), "Head, line\nA,\"B, C\",D");
    EXPECT_EQ(ReadWholeFile(txt.toStdString(), 4096).value_or(""), "Head, line\nA\tB, C\tD");
    EXPECT_EQ(ReadWholeFile(other.toStdString(), 4096).value_or(""),
              "Head, line\nA[sep]B, C[sep]D");
    const QString pdf = Path("page.pdf");
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    dlg.PrintTo(printer);
    EXPECT_NE(PdfText(pdf).find("Head, line"), std::string::npos);
    dlg.hide();
}

}  // namespace
}  // namespace tarvell
