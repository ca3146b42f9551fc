// The window framework's modal message box with an OK button, as a MessageBoxFn for the
// dialogs. Tests pass a recorder instead.
#pragma once

#include "core/MessageBox.h"

class QWidget;

MessageBoxFn QtMessageBoxFn(QWidget* parent);
