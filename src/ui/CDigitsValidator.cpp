#include "ui/CDigitsValidator.h"

CDigitsValidator::CDigitsValidator(QObject* parent, int maxLength) : QValidator(parent), m_maxLength(maxLength) {}

QValidator::State CDigitsValidator::validate(QString& input, int& /*pos*/) const {
    if (m_maxLength >= 0 && input.size() > m_maxLength) {
        return Invalid;
    }
    for (const QChar ch : input) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) {
            return Invalid;
        }
    }
    return Acceptable;
}
