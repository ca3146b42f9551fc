// Small pieces every settings dialog is built from.
#pragma once

class QCheckBox;
class QDialog;
class QDialogButtonBox;
class QString;
class QWidget;

// A check box with an object name (for tests and styling) and its initial state.
QCheckBox* NamedCheckBox(const QString& text, const char* name, bool checked, QWidget* parent);

// The OK and Cancel buttons ("buttonOk", "buttonCancel"), wired to the dialog's accept() and
// reject().
QDialogButtonBox* OkCancelButtons(QDialog* dialog);
