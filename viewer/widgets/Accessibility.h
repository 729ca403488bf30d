// Accessible names and roles of the controls the viewer paints itself, for screen readers and
// any automation over the desktop's accessibility bus. A toolbar is a tool bar whose children are
// its buttons: push buttons, a drop-down button a menu button, dividers, spacers and hidden
// buttons left out; a toolbar of drop-down buttons only (the banner's words) is a menu bar of
// menu items. A tab control is a page tab list of its tabs. A link is a link named by its text.
// Their press action does what a click does, and a disabled control refuses it. The lists need
// nothing here: they are item views, whose rows and cells Qt exposes from the model's display
// texts. Every widget of the viewer that paints a control a user can act on registers its interface
// in the factory below, and the controls call InstallAccessibleFactory from their constructors, so
// any program using them is covered. GUI thread only.
#pragma once

#include <QString>
#include <QStringList>

class QLabel;
class QWidget;

namespace tarvell {

// Installs the factory once per process; later calls do nothing.
void InstallAccessibleFactory();

// A label that the user clicks (an image that starts or stops something): a push button named
// `name`, whose press action sends the label a left click.
void MakeAccessibleButton(QLabel* label, const QString& name);

// Pairs a label with the control it names: the label becomes the control's buddy (a click on it
// or its mnemonic focuses the control, and screen readers report the relation) and its text,
// without the trailing colon and mnemonic marks, the control's accessible name. Returns `control`.
template <class Control>
Control* Labelled(QLabel* label, Control* control);
void SetBuddyName(QLabel* label, QWidget* control);
// The same pairing for a layout that places the label: returns `label`.
inline QLabel* Buddy(QLabel* label, QWidget* control) {
    SetBuddyName(label, control);
    return label;
}
// The accessible name of a control that has no label of its own (a painted control, a list under
// a group title, an edit whose meaning a sentence beside it gives); returns `control`.
template <class Control>
Control* Named(Control* control, const QString& name);
void SetControlName(QWidget* control, const QString& name);
// The text a label gives as a name: no "&" marks, no trailing ":" or "...", blanks trimmed.
QString NameFromLabel(const QString& text);

// The controls under `root` a user can act on that have no accessible name: buttons, check boxes,
// radio buttons, edits, spin boxes, combo boxes, sliders and lists, hidden ones included (they
// may be shown later). A combo box counts as named only by its own name or a buddy label, as its
// name on Linux is otherwise the current choice; a list only by its own name. Each entry reads
// "<class> <object name or path> (<role>)", in tree order.
QStringList UnnamedControls(QWidget* root);

template <class Control>
Control* Labelled(QLabel* label, Control* control) {
    SetBuddyName(label, control);
    return control;
}
template <class Control>
Control* Named(Control* control, const QString& name) {
    SetControlName(control, name);
    return control;
}

}  // namespace tarvell
