#include "ui/qt/translated.h"

#include <QCoreApplication>

#include "app/control.h"

namespace aurex {

QString Translated(const UiText& text, const char* context)
{
    return QString::fromStdString(text.Render([context](const std::string& source) {
        return source.empty() ? source : QCoreApplication::translate(context, source.c_str()).toStdString();
    }));
}

QString ShownText(const Control& control, const UiText& text)
{
    const FormModel* form = control.Form();
    return Translated(text, form != nullptr ? form->Name().c_str() : kQtContext);
}

QString ShownCaption(const Control& control)
{
    if (control.Style().verbatim || control.Kind() == ControlKind::Edit) {
        return QString::fromStdString(control.Caption());
    }
    return ShownText(control, control.Text());
}

QString ShownCaption(const FormModel& form)
{
    return Translated(form.Text(), form.Name().c_str());
}

} // namespace aurex
