#include "viewer/settings/SettingsPageKit.h"

#include <QFrame>
#include <QHeaderView>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/QtGeometry.h"
#include "viewer/widgets/ShellPage.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

// ---- panel

CFieldsSettingsPanel::CFieldsSettingsPanel(const QString& title, CommandId category,
                                           std::span<const PanelField> fields,
                                           const SheetServices& services, QWidget* parent)
    : CSettingsPanelBase(title, category, parent),
      services_(services),
      values_(fields),
      checks_(fields.size(), nullptr) {}

QCheckBox* CFieldsSettingsPanel::AddFieldCheck(std::size_t field, QRect place) {
    const PanelField& f = values_.Fields()[field];
    QCheckBox* box =
        AddCheck(QString::fromLatin1(f.label.data(), static_cast<int>(f.label.size())), place);
    checks_.at(field) = box;
    connect(box, &QCheckBox::toggled, this, [this, field](bool on) { SetValue(field, on); });
    return box;
}

LinkLabel* CFieldsSettingsPanel::AddSheetLink(std::size_t field, const QString& sheet,
                                              QRect place) {
    QCheckBox* box = checks_.at(field);
    // The box's own text becomes the link: the box keeps its indicator only.
    const QString text = box->text();
    box->setText(QString());
    box->setAccessibleName(text);
    box->setFixedWidth(20);
    LinkLabel* link = AddLinkedTo(box, text, place);
    connect(link, &LinkLabel::activated, this, [this, sheet] {
        SheetServices s = services_;
        s.parent = window();
        OpenSettingsSheet(sheet, s);
    });
    return link;
}

void CFieldsSettingsPanel::SetValue(std::size_t field, std::int64_t value) {
    values_.SetValue(field, value);
}

void CFieldsSettingsPanel::LoadPanel() {
    values_.Load(services_.context.app.Document().Fields());
    for (std::size_t i = 0; i < checks_.size(); ++i) {
        if (!checks_[i]) continue;
        // A load, not a change: the window turns Save off after it; the box's link follows it.
        checks_[i]->setChecked(values_.Value(i) != 0);
    }
    ShowValues();
}

// ---- page pieces

QLabel* PageText(QWidget* page, const QString& text, QRect place, bool wrap) {
    auto* label = new QLabel(text, page);
    label->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    label->setStyleSheet(QStringLiteral("color: rgb(83,83,83);"));
    label->setWordWrap(wrap);
    label->setGeometry(place);
    return label;
}

void PageGroup(QWidget* page, const QString& title, QRect frame) {
    auto* box = new QFrame(page);
    box->setFrameShape(QFrame::StyledPanel);
    box->setGeometry(frame);
    box->lower();
    QRect titlePlace(frame.x() + 6, frame.y() - 7, 8 * static_cast<int>(title.size()), 14);
    PageText(page, title, titlePlace, false)->setAutoFillBackground(true);
}

void PageLook(CPropertyPage* page) {
    page->setMinimumSize(DluQRect(0, 0, 235, 210).size());
    page->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    page->setAutoFillBackground(true);
}

void PageIntro(CPropertyPage* page, const QString& text) {
    PageLook(page);
    PageText(page, text, DluQRect(7, 7, 221, 20));
}

QTreeWidget* ReportList(QWidget* page, const std::vector<std::pair<QString, int>>& columns,
                        QRect place) {
    auto* list = new QTreeWidget(page);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setSectionsMovable(false);
    list->header()->setStretchLastSection(false);
    list->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    QPalette pal = list->palette();
    pal.setColor(QPalette::Text, ToQColor(look::kText));
    list->setPalette(pal);
    QStringList labels;
    for (const auto& c : columns) labels << c.first;
    list->setColumnCount(static_cast<int>(columns.size()));
    list->setHeaderLabels(labels);
    for (std::size_t i = 0; i < columns.size(); ++i)
        list->setColumnWidth(static_cast<int>(i), columns[i].second);
    list->setGeometry(place);
    return list;
}

std::vector<std::string> ColumnTexts(const QTreeWidget* list, int column) {
    std::vector<std::string> out;
    for (int r = 0; r < list->topLevelItemCount(); ++r)
        out.push_back(Utf8(list->topLevelItem(r)->text(column)));
    return out;
}

LinkLabel* PageLink(CPropertyPage* page, const QString& text, QRect place) {
    LinkLabel* link = page->MakeLink(text);
    link->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    link->SetColor(QColor(0, 70, 213));
    link->SetUnderlined(true);
    link->setGeometry(place);
    return link;
}

bool SavePage(CTarvellApp& app, Prompt& prompt, const std::function<void(CTarvellDoc&)>& edit) {
    const unsigned message = EditResultMessage(EditSettings(app, edit));
    if (message == 0) return true;
    prompt.AskString(message, PromptButtons::Ok, PromptIcon::Warning);
    return false;
}

bool Refuse(Prompt& prompt, unsigned message) {
    if (message == 0) return true;
    prompt.AskString(message, PromptButtons::Ok, PromptIcon::Information);
    return false;
}

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace tarvell
