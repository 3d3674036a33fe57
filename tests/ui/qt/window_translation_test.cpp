// Every text the window shows goes through Qt's translation. A translator that marks each text it
// is asked for stands in for a real translation: every caption, title, tooltip, accessible name,
// box and dialog text must then show the mark, and only data (versions, paths, port names, a
// number inside a sentence) may be shown as it is.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>

#include "app/about_dlg.h"
#include "app/run_steps.h"
#include "history/update_history.h"
#include "support/recording_host.h"
#include "ui/qt/form_access.h"
#include "ui/qt/history_dialog.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_dialog_host.h"
#include "ui/qt/restore_dialog.h"

namespace aurex {
namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "window_translation_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// "«text»" for every text asked for, so what went through the translation shows.
class MarkingTranslator : public QTranslator
{
  public:
    bool isEmpty() const override { return false; }
    QString translate(const char*, const char* source, const char* = nullptr, int = -1) const override
    {
        return QStringLiteral("«") + QString::fromUtf8(source) + QStringLiteral("»");
    }
};

std::string Marked(const UiText& text)
{
    return text.Render([](const std::string& source) { return "«" + source + "»"; });
}

class WindowTranslationTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        App();
        QCoreApplication::installTranslator(&translator_);
    }
    void TearDown() override { QCoreApplication::removeTranslator(&translator_); }

    // Every visible text of `root` and its children, with where it was found.
    static std::vector<std::pair<std::string, QString>> ShownTexts(QWidget& root)
    {
        std::vector<std::pair<std::string, QString>> texts;
        auto add = [&texts](const QObject& o, const char* what, const QString& text) {
            if (!text.isEmpty()) {
                texts.emplace_back(o.objectName().toStdString() + " " + what, text);
            }
        };
        add(root, "title", root.windowTitle());
        QList<QWidget*> widgets = root.findChildren<QWidget*>();
        widgets.prepend(&root);
        for (QWidget* w : widgets) {
            if (!w->isVisibleTo(&root) && w != &root) {
                continue;
            }
            add(*w, "accessible name", w->accessibleName());
            add(*w, "accessible description", w->accessibleDescription());
            add(*w, "tooltip", w->toolTip());
            if (auto* label = qobject_cast<QLabel*>(w)) {
                add(*w, "text", label->text());
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                add(*w, "text", button->text());
            } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
                add(*w, "title", group->title());
            } else if (auto* menu = qobject_cast<QMenu*>(w)) {
                add(*w, "title", menu->title());
                for (QAction* action : menu->actions()) {
                    add(*menu, "item", action->text());
                    add(*menu, "item description", action->statusTip());
                }
            } else if (auto* table = qobject_cast<QTableWidget*>(w)) {
                for (int c = 0; c < table->columnCount(); ++c) {
                    add(*w, "header", table->horizontalHeaderItem(c)->text());
                }
            }
        }
        return texts;
    }

    MarkingTranslator translator_;
};

// Data the model shows as it is; anything else must carry the mark.
bool IsData(const FormModel& form, const QString& text)
{
    for (const Control* c : form.Controls()) {
        if ((c->Text().IsVerbatim() || c->Style().verbatim) && QString::fromStdString(c->Caption()) == text) {
            return true;
        }
    }
    return false;
}

TEST_F(WindowTranslationTest, EveryCaptionTitleAndNameOfTheWindowGoesThroughTheTranslation)
{
    MainFormEnvironment env = testing::FakeEnvironment({1, 3}, "/opt/Unit_Release_3_0_9", 1);
    env.blobs = testing::RecordBlobs(1, 1, 5, 3); // the Application/Boot choice shown too
    MainWindow window(std::move(env));
    TCodeUpdaterMainDispForm& form = window.Form();
    form.m_ToggleVersionInfoSpeedButton.Click(); // the version panel open
    // What a run shows beside its status: texts built of a sentence and its numbers or path.
    const UiText step = StepText({RunStep::Prepare, RunStep::Loader, RunStep::Code}, 2);
    form.m_RunStepLabel.SetCaption(step);
    form.m_RunTimeLabel.SetCaption(RunTimeText(83, 69.2));
    form.m_CodeplugBackupLabel.SetCaption(
        {kCodeplugBackupLabelText, {UiText::Verbatim("/var/backups/r.bin")}});
    form.m_CodeplugBackupLabel.SetVisible(true);
    form.ShowStatusText({"Codeplug backed up to %1.", {UiText::Verbatim("/var/backups/r.bin")}});
    form.SetCaption({"%1% - %2", {UiText::Verbatim("42"), "Aurex Code Updater"}});
    window.show();

    const auto shown = [&](const Control& c) {
        return qobject_cast<QLabel*>(window.View().WidgetFor(c))->text().toStdString();
    };
    EXPECT_EQ(shown(form.m_RunStepLabel), "«Step 3 of 3: «code download»»");
    EXPECT_EQ(shown(form.m_RunTimeLabel), "«1:23 elapsed, about 1:10 left»");
    EXPECT_EQ(shown(form.m_CodeplugBackupLabel), "«Codeplug backup: /var/backups/r.bin»");
    EXPECT_EQ(shown(form.m_StatusLabel), "«Codeplug backed up to /var/backups/r.bin.»");
    EXPECT_EQ(window.windowTitle().toStdString(), "«42% - «Aurex Code Updater»»");

    // Each control shows exactly its model text rendered through the translation.
    int compared = 0;
    for (const Control* c : form.Controls()) {
        QWidget* w = window.View().WidgetFor(*c);
        const std::string expected =
            c->Text().IsVerbatim() || c->Style().verbatim ? c->Caption() : Marked(c->Text());
        if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(label->text().toStdString(), expected) << c->Name();
            ++compared;
        } else if (auto* button = qobject_cast<QAbstractButton*>(w);
                   button != nullptr && !c->Caption().empty()) {
            EXPECT_EQ(StripMnemonic(button->text()), StripMnemonic(QString::fromStdString(expected)))
                << c->Name();
            ++compared;
        }
    }
    EXPECT_GT(compared, 30);

    // And nothing in the window is shown untranslated but data.
    const auto texts = ShownTexts(window);
    EXPECT_GT(texts.size(), 60U);
    for (const auto& [where, text] : texts) {
        EXPECT_TRUE(text.contains(u'«') || IsData(form, text)) << where << ": " << text.toStdString();
    }
}

TEST_F(WindowTranslationTest, BoxesAndTheProgramsOwnDialogsGoThroughTheTranslation)
{
    MainWindow window(testing::FakeEnvironment({1}, "/opt/Unit_Release_3_0_9", 1));
    QString boxTitle;
    QString boxText;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxTitle = box->windowTitle();
            boxText = box->text();
            box->accept();
        }
    });
    window.Host().ShowMessage(window.Form(),
                              {"The support bundle could not be saved to %1: %2",
                               {UiText::Verbatim("/tmp/b.tar.gz"), "No space left on device"}},
                              kAppTitle, MessageIcon::Error, MessageButtons::Ok);
    EXPECT_EQ(boxTitle.toStdString(), "«Aurex Code Updater»");
    EXPECT_EQ(boxText.toStdString(),
              "«The support bundle could not be saved to /tmp/b.tar.gz: «No space left on device»»");

    QTemporaryDir dir;
    std::string warning;
    std::string error;
    auto history = UpdateHistory::Open(HistoryFileIn(dir.path().toStdString()), warning, error);
    ASSERT_TRUE(history) << error;
    TAboutDialog about(false);
    std::vector<std::unique_ptr<QDialog>> dialogs;
    dialogs.push_back(std::make_unique<HistoryDialog>(*history, nullptr));
    dialogs.push_back(std::make_unique<RestoreDialog>(dir.path().toStdString(), nullptr));
    dialogs.push_back(std::make_unique<ModelDialog>(about, nullptr));
    for (const auto& dialog : dialogs) {
        const auto texts = ShownTexts(*dialog);
        EXPECT_GE(texts.size(), 5U) << dialog->metaObject()->className();
        for (const auto& [where, text] : texts) {
            EXPECT_TRUE(text.contains(u'«'))
                << dialog->metaObject()->className() << " " << where << ": " << text.toStdString();
        }
    }
}

} // namespace
} // namespace aurex
