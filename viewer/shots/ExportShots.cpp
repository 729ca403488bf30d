// Pictures of the export option sheets: HTML Options (General, Pages) and SQL Options (General
// with a masked password, Tables), against settings made here in a temporary tree.
//   tarvell-export-shots --out DIR
#include <QApplication>
#include <cstdio>

#include "viewer/shots/ShotStage.h"
#include "platform/Files.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/settings/ExportSettings.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/settings/ExportSettingsUi.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/Pickers.h"

using namespace tarvell;

namespace {

// The HTML and SQL export settings the pictures show.
CTarvellDoc Settings() {
    CTarvellDoc doc;
    doc.SetDefaults();
    doc.HtmlEventsColumns.clear();
    doc.HtmlAlertsColumns.clear();
    doc.SqlEventsColumns.clear();
    doc.SqlAlertsColumns.clear();
    SeedHtmlDefaults(doc);
    SeedSqlDefaults(doc);
    doc.HtmlInterval = 5;
    doc.HtmlFolder = "/srv/tarvell/pages";
    doc.SqlInterval = 15;
    doc.SqlDatabase =
        "DRIVER={PostgreSQL "
        "Unicode};SERVER=db.corp.example;PORT=5432;DATABASE=tarvell;UID=tarvell;PWD=s3cret;";
    doc.SqlEventsColumns[7].clear();
    return doc;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    ShotStage stage;
    if (const int rc = OpenShotStage(stage, "tarvell-export-shots", Settings())) return rc;
    {
        CTarvellApp app(stage.env);
        app.ReloadDocument();
        PromptRecorder prompt;
        {
            CPropertySheet sheet(QStringLiteral("HTML Options"));
            AddHtmlOptionsPages(sheet, app, prompt, DesktopFolderPicker());
            stage.ShootSheet(sheet, {"settings-html-general.png", "settings-html-pages.png"});
        }
        {
            CPropertySheet sheet(QStringLiteral("SQL Options"));
            AddSqlOptionsPages(sheet, app, prompt);
            sheet.show();
            QLineEdit* location = static_cast<CSettingsAccessSql*>(sheet.Page(0))->LocationEdit();
            location->setCursorPosition(
                static_cast<int>(location->text().size()));  // the masked password
            stage.Shoot(sheet, "settings-sql-general.png");
            sheet.SetActivePage(1);
            static_cast<CExportFieldsPage*>(sheet.Page(1))->FieldList()->SelectRow(7);
            stage.Shoot(sheet, "settings-sql-tables.png");
            sheet.hide();
        }
    }
    return stage.status;
}
