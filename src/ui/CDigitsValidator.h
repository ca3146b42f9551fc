// An edit-field validator that lets only the digits 0-9 be typed, optionally up to a length.
#pragma once

#include <QValidator>

class CDigitsValidator : public QValidator {
    Q_OBJECT
public:
    explicit CDigitsValidator(QObject* parent = nullptr, int maxLength = -1);
    State validate(QString& input, int& pos) const override;

private:
    int m_maxLength;
};
