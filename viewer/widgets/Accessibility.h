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

class QLabel;

namespace tarvell {

// Installs the factory once per process; later calls do nothing.
void InstallAccessibleFactory();

// A label that the user clicks (an image that starts or stops something): a push button named
// `name`, whose press action sends the label a left click.
void MakeAccessibleButton(QLabel* label, const QString& name);

}  // namespace tarvell
