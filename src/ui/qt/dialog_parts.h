#pragma once

// Small pieces the program's own Qt dialogs share.

#include <QPushButton>
#include <QString>
#include <string>

namespace aurex {

inline QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// A push button with its object and accessible names and what it does, which Enter does not press
// by default.
inline QPushButton* DialogButton(const QString& text, const char* objectName, const QString& accessible,
                                 const QString& description, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(objectName));
    button->setAccessibleName(accessible);
    button->setAccessibleDescription(description);
    button->setAutoDefault(false);
    return button;
}

} // namespace aurex
