#include "ui/qt/qt_dialog_host.h"

#include <exception>

#include <QDesktopServices>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QShowEvent>
#include <QUrl>

#include "ui/qt/history_dialog.h"
#include "ui/qt/restore_dialog.h"
#include "ui/qt/translated.h"

namespace aurex {

void ShowEscapedError(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, Translated(kAppTitle, kQtContext),
                    Translated(text.toStdString(), kQtContext), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void RunGuarded(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        ShowEscapedError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowEscapedError("An unknown error occurred.");
    }
}

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowEscapedError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowEscapedError("An unknown error occurred.");
    }
    return false;
}

ModelDialog::ModelDialog(FormModel& form, QWidget* owner) : QDialog(owner), form_(form)
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    form_.SetModalResult(ModalResult::None);
    view_ = std::make_unique<FormView>(form_, this, RunGuarded);
    form_.AddListener(this);
    // Enter presses the default button: leave it to the buttons' own default flag.
    for (Control* c : form_.Controls()) {
        if (c->Kind() == ControlKind::Button) {
            if (auto* w = view_->WidgetFor(*c)) {
                w->setFocusPolicy(Qt::StrongFocus);
            }
        }
    }
}

ModelDialog::~ModelDialog()
{
    form_.RemoveListener(this);
}

void ModelDialog::ControlChanged(const FormModel&, const Control* control, ControlProperty what)
{
    if (control == nullptr && what == ControlProperty::ModalResult && form_.Result() != ModalResult::None) {
        done(form_.Result() == ModalResult::Ok ? QDialog::Accepted : QDialog::Rejected);
    }
}

void ModelDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    RunGuarded([this] { form_.FormActivate(); });
}

void ModelDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        for (Control* c : form_.Controls()) {
            if (c->Style().cancelButton) {
                RunGuarded([c] { c->Click(); });
                return;
            }
        }
    }
    QDialog::keyPressEvent(event);
}

void ModelDialog::reject()
{
    // The close box (or Esc without a cancel button) closes without any button's event.
    if (form_.Result() == ModalResult::None) {
        form_.SetModalResult(ModalResult::Cancel);
    }
    QDialog::reject();
}

QWidget* QtDialogHost::WidgetOf(const FormModel& form) const
{
    const auto it = owners_.find(&form);
    return it == owners_.end() ? nullptr : it->second;
}

namespace {

// Screen readers read a box by its caption and text; Esc answers No, or closes an OK box. Every
// question asks whether to do something that cannot be taken back: Enter must not do the harm,
// so No is what it presses.
void LetBoxBeRead(QMessageBox& box, MessageButtons buttons)
{
    box.setTextFormat(Qt::PlainText);
    box.setAccessibleName(box.windowTitle());
    box.setAccessibleDescription(box.text());
    const QMessageBox::StandardButton safe =
        buttons == MessageButtons::YesNo ? QMessageBox::No : QMessageBox::Ok;
    box.setEscapeButton(safe);
    box.setDefaultButton(safe);
}

} // namespace

void QtDialogHost::AskWithoutWaiting(const FormModel& owner, const UiText& text, const UiText& caption,
                                     std::function<void(MessageAnswer)> answered)
{
    WithdrawQuestion(owner);
    const char* context = owner.Name().c_str();
    auto* box =
        new QMessageBox(QMessageBox::Question, Translated(caption, context), Translated(text, context),
                        QMessageBox::Yes | QMessageBox::No, WidgetOf(owner));
    LetBoxBeRead(*box, MessageButtons::YesNo);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [this, &owner, box, answered = std::move(answered)] {
        questions_.erase(&owner);
        answered(box->clickedButton() == box->button(QMessageBox::Yes) ? MessageAnswer::Yes
                                                                       : MessageAnswer::No);
    });
    questions_[&owner] = box;
    box->open(); // modal to the window, yet returns at once
}

void QtDialogHost::WithdrawQuestion(const FormModel& owner)
{
    const auto it = questions_.find(&owner);
    if (it == questions_.end()) {
        return;
    }
    QPointer<QMessageBox> box = it->second;
    questions_.erase(it);
    if (box) {
        box->disconnect(box); // no answer: the question is gone
        delete box.data();
    }
}

MessageAnswer QtDialogHost::ShowMessage(const FormModel& owner, const UiText& text, const UiText& caption,
                                        MessageIcon icon, MessageButtons buttons)
{
    QMessageBox::Icon qicon = QMessageBox::Critical;
    if (icon == MessageIcon::Information) {
        qicon = QMessageBox::Information;
    } else if (icon == MessageIcon::Question) {
        qicon = QMessageBox::Question;
    }
    const auto qbuttons =
        buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
    const char* context = owner.Name().c_str();
    QMessageBox box(qicon, Translated(caption, context), Translated(text, context), qbuttons,
                    WidgetOf(owner));
    LetBoxBeRead(box, buttons);
    const int pressed = box.exec();
    if (buttons == MessageButtons::Ok) {
        return MessageAnswer::Ok;
    }
    return pressed == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

void QtDialogHost::ShowModal(const FormModel& owner, FormModel& dialog)
{
    ModelDialog d(dialog, WidgetOf(owner));
    Register(dialog, &d);
    if (onDialogShown) {
        auto hook = onDialogShown;
        QMetaObject::invokeMethod(
            &d, [hook, &d] { hook(d); }, Qt::QueuedConnection);
    }
    d.exec();
    owners_.erase(&dialog);
}

void QtDialogHost::ShowFolder(const FormModel&, const std::string& folder)
{
    const QString path = QString::fromStdString(folder);
    if (openFolder) {
        openFolder(path);
    } else {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
}

std::string QtDialogHost::ChooseBackupFile(const FormModel& owner, const std::string& folder)
{
    return ChooseBackupToRestore(folder, WidgetOf(owner));
}

void QtDialogHost::ShowHistory(const FormModel& owner, UpdateHistory& history)
{
    ShowHistoryDialog(WidgetOf(owner), history);
}

std::string QtDialogHost::ChooseSaveFile(const FormModel& owner, const UiText& caption,
                                         const std::string& suggestedPath)
{
    return QFileDialog::getSaveFileName(WidgetOf(owner), Translated(caption, owner.Name().c_str()),
                                        QString::fromStdString(suggestedPath))
        .toStdString();
}

void QtDialogHost::RequestClose(FormModel& form)
{
    if (QWidget* w = WidgetOf(form)) {
        w->close();
    }
}

} // namespace aurex
