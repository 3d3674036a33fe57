#pragma once

// Every text of the program that the Qt rendering shows goes through here, and so through
// QCoreApplication::translate: a translation loaded with a QTranslator is shown, otherwise the
// program's own words. The context is the name of the form the text is shown on, as tr() would
// use a class's name. The model, logs, history and console keep the untranslated texts.

#include <string>

#include <QString>

#include "text/ui_text.h"

namespace aurex {

class Control;
class FormModel;

// The context of the Qt-only parts (dialogs and messages with no form model behind them).
inline constexpr const char* kQtContext = "AurexWindow";

QString Translated(const UiText& text, const char* context);

// A control's caption as shown: translated unless the control shows data (its style says
// verbatim) or is an edit, whose text is what the user typed.
QString ShownCaption(const Control& control);
// A text of the control's (its hint, its accessible name) in its form's context.
QString ShownText(const Control& control, const UiText& text);
QString ShownCaption(const FormModel& form);

} // namespace aurex
