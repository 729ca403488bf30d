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

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    ShotStage stage;
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
    const auto writeSettings = [&doc](const std::string& server) {
        return static_cast<bool>(doc.SaveToFile(JoinPath(server, "Tarvell.ini"), true));
    };
    if (const int rc = OpenShotStage(stage, "tarvell-export-shots", writeSettings)) return rc;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(JoinPath(stage.root, "config")));
    int status = 0;
    {
        CTarvellApp app(stage.env);
        app.ReloadDocument();
        PromptRecorder prompt;
        {
            CPropertySheet sheet(QStringLiteral("HTML Options"));
            AddHtmlOptionsPages(sheet, app, prompt, DesktopFolderPicker());
            sheet.show();
            if (!SaveShot(sheet, stage.out, "settings-html-general.png")) status = 1;
            sheet.SetActivePage(1);
            if (!SaveShot(sheet, stage.out, "settings-html-pages.png")) status = 1;
            sheet.hide();
        }
        {
            CPropertySheet sheet(QStringLiteral("SQL Options"));
            AddSqlOptionsPages(sheet, app, prompt);
            sheet.show();
            QLineEdit* location = static_cast<CSettingsAccessSql*>(sheet.Page(0))->LocationEdit();
            location->setCursorPosition(
                static_cast<int>(location->text().size()));  // the masked password
            if (!SaveShot(sheet, stage.out, "settings-sql-general.png")) status = 1;
            sheet.SetActivePage(1);
            static_cast<CExportFieldsPage*>(sheet.Page(1))->FieldList()->SelectRow(7);
            if (!SaveShot(sheet, stage.out, "settings-sql-tables.png")) status = 1;
            sheet.hide();
        }
    }
    RemoveTree(stage.root);
    return status;
}
