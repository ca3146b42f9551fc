// Small pieces every settings dialog is built from.
#pragma once

#include "core/MessageBox.h"

#include <string>

class QCheckBox;
class QDialog;
class QDialogButtonBox;
class QLineEdit;
class QString;
class QWidget;

// A check box with an object name (for tests and styling) and its initial state.
QCheckBox* NamedCheckBox(const QString& text, const char* name, bool checked, QWidget* parent);

// The OK and Cancel buttons ("buttonOk", "buttonCancel"), wired to the dialog's accept() and
// reject().
QDialogButtonBox* OkCancelButtons(QDialog* dialog);

// A digits-only field filters what is typed, but a value that came from a file may hold
// anything. True when the field holds only digits, at least minDigits and at most maxDigits of
// them (-1: no limit); otherwise the message is shown, the field selected and false returned.
bool FieldHoldsDigits(QLineEdit* edit, int minDigits, int maxDigits, const std::string& message,
                      const MessageBoxFn& showMessage);
