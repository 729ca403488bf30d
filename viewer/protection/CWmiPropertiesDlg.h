// "WMI Properties": one condition, added to (index -1) or replacing a row of `rows`. A property
// name is taken ignoring case; any other name is told with 20021 and the dialog stays open. GUI
// thread only.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <string>
#include <vector>

#include "viewer/core/base/Prompt.h"
#include "viewer/core/protection/WmiConditions.h"

class QComboBox;
class QListWidget;
class QTextEdit;

namespace tarvell {

class CWmiPropertiesDlg : public QDialog {
    Q_OBJECT
public:
    CWmiPropertiesDlg(std::vector<WmiConditionRow>& rows, int index, Prompt& prompt,
                      QWidget* parent = nullptr);
    void accept() override;

    QComboBox* Property() const { return property_; }
    QTextEdit* Description() const { return description_; }
    QListWidget* Values() const { return list_; }
    QPushButton* AddButton() const { return add_; }
    // As "Add..." (index -1) or "Edit..." after the value dialog's OK.
    void RunValue(int index);
    const std::vector<std::string>& ValueTexts() const { return values_; }

private:
    void Fill();
    void Sync();
    void Describe();

    std::vector<WmiConditionRow>& rows_;
    int index_;
    Prompt& prompt_;
    std::vector<std::string> values_;
    QComboBox* property_;
    QTextEdit* description_;
    QListWidget* list_;
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* remove_;
};

}  // namespace tarvell
