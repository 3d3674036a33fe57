#pragma once

#include <map>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>

#include "app/dialog_host.h"
#include "ui/qt/form_view.h"

namespace aurex {

// Shows an error that escaped a handler, and lets the program run on.
void ShowEscapedError(const QString& text);

// Runs `call`, showing any error that escapes it.
void RunGuarded(const std::function<void()>& call);

// The application object with the top-level handler: an exception that escapes an event
// handler is shown in a message box and the event loop goes on.
class GuardedApplication : public QApplication
{
  public:
    GuardedApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// A modal dialog rendered from a form model.
class ModelDialog : public QDialog, public ControlListener
{
  public:
    ModelDialog(FormModel& form, QWidget* owner);
    ~ModelDialog() override;
    FormView& View() { return *view_; }
    void ControlChanged(const FormModel& form, const Control* control, ControlProperty what) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override; // the close box

  private:
    FormModel& form_;
    std::unique_ptr<FormView> view_;
};

class QtDialogHost : public DialogHost
{
  public:
    void Register(const FormModel& form, QWidget* widget) { owners_[&form] = widget; }
    QWidget* WidgetOf(const FormModel& form) const;

    MessageAnswer ShowMessage(const FormModel& owner, const UiText& text, const UiText& caption,
                              MessageIcon icon, MessageButtons buttons) override;
    void AskWithoutWaiting(const FormModel& owner, const UiText& text, const UiText& caption,
                           std::function<void(MessageAnswer)> answered) override;
    void WithdrawQuestion(const FormModel& owner) override;
    void ShowModal(const FormModel& owner, FormModel& dialog) override;
    std::string ChooseBackupFile(const FormModel& owner, const std::string& folder) override;
    void ShowHistory(const FormModel& owner, UpdateHistory& history) override;
    std::string ChooseSaveFile(const FormModel& owner, const UiText& caption,
                               const std::string& suggestedPath) override;
    void RequestClose(FormModel& form) override;
    void ShowFolder(const FormModel& owner, const std::string& folder) override;

    // Tests look at dialogs while they are up.
    std::function<void(ModelDialog&)> onDialogShown;
    // Opens a folder on the desktop; tests see which instead.
    std::function<void(const QString& folder)> openFolder;

  private:
    std::map<const FormModel*, QWidget*> owners_;
    std::map<const FormModel*, QPointer<QMessageBox>> questions_; // left open by AskWithoutWaiting
};

} // namespace aurex
