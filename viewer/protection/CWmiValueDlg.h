// "WMI Value": one accepted value, added to (index -1) or replacing a row of `values`, which stays
// in ascending order. A value holding "|" or a line break is told with 20021. GUI thread only.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "viewer/core/base/Prompt.h"

class QPlainTextEdit;

namespace tarvell {

class CWmiValueDlg : public QDialog {
    Q_OBJECT
public:
    CWmiValueDlg(std::vector<std::string>& values, int index, Prompt& prompt,
                 QWidget* parent = nullptr);
    void accept() override;

    QPlainTextEdit* Edit() const { return edit_; }

private:
    std::vector<std::string>& values_;
    int index_;
    Prompt& prompt_;
    QPlainTextEdit* edit_;
};

}  // namespace tarvell
