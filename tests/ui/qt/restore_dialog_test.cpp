// The Qt chooser of a backup to restore, driven as a user would while it is up.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/control.h"
#include "app/restore_question.h"
#include "transfer/backup_images.h"
#include "ui/qt/qt_dialog_host.h"
#include "ui/qt/restore_dialog.h"

namespace aurex {
namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "restore_dialog_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Runs `act` on the modal dialog of type D as soon as it is up; `seen` tells whether it was.
template <typename D>
void WhenUp(std::function<void(D&)> act, std::shared_ptr<bool> seen, int triesLeft = 400)
{
    QTimer::singleShot(5, [=] {
        auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            if (triesLeft > 0) {
                WhenUp<D>(act, seen, triesLeft - 1);
            }
            return;
        }
        *seen = true;
        act(*dialog);
    });
}

class RestoreDialogTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        App();
        const std::vector<std::uint8_t> bytes = test::BackupBytes(4);
        older_ = Write("codeplug-1A2B-20261201-080000.bin", bytes);
        newer_ = Write("codeplug-1A2B-20261206-120000.bin", bytes);
        const std::string record =
            WriteBackupRecord(test::RecordOf(bytes, "00000A1B2C3D4E5F", "2026-12-06T12:00:00Z"));
        std::ofstream(Path("codeplug-1A2B-20261206-120000.json")) << record;
        // The newest of all, but empty: shown, never chosen.
        broken_ = Write("codeplug-1A2B-20261207-090000.bin", {});
    }

    std::string Path(const char* name) const
    {
        return QDir(dir_.path()).filePath(QLatin1String(name)).toStdString();
    }
    std::string Write(const char* name, const std::vector<std::uint8_t>& bytes)
    {
        std::ofstream out(Path(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }
    std::string Folder() const { return dir_.path().toStdString(); }

    // Asks the Qt rendering for a backup, with `act` on the dialog while it is up.
    std::string Choose(std::function<void(RestoreDialog&)> act)
    {
        FormModel owner("MainForm", "Aurex Code Updater", 400, 300);
        QtDialogHost host;
        auto seen = std::make_shared<bool>(false);
        WhenUp<RestoreDialog>(act, seen);
        const std::string chosen = host.ChooseBackupFile(owner, Folder());
        EXPECT_TRUE(*seen);
        return chosen;
    }

    std::string older_;
    std::string newer_;
    std::string broken_;

  private:
    QTemporaryDir dir_;
};

QTableWidget& Table(RestoreDialog& d)
{
    auto* table = d.findChild<QTableWidget*>(QStringLiteral("backupTable"));
    EXPECT_NE(table, nullptr);
    return *table;
}

QPushButton& ButtonOf(RestoreDialog& d, const char* name)
{
    auto* button = d.findChild<QPushButton*>(QLatin1String(name));
    EXPECT_NE(button, nullptr) << name;
    return *button;
}

TEST_F(RestoreDialogTest, ListsTheBackupsNewestFirstAndReturnsTheChosenRow)
{
    const std::string chosen = Choose([](RestoreDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Restore codeplug"));
        QTableWidget& table = Table(d);
        ASSERT_EQ(table.columnCount(), 5);
        QStringList headers;
        for (int c = 0; c < table.columnCount(); ++c) {
            headers << table.horizontalHeaderItem(c)->text();
        }
        EXPECT_EQ(headers, (QStringList{"Radio identity", "Date", "Format", "Reason", "File"}));
        ASSERT_EQ(table.rowCount(), 3);
        EXPECT_EQ(table.item(0, 4)->text(), QStringLiteral("codeplug-1A2B-20261207-090000.bin"));
        EXPECT_EQ(table.item(1, 4)->text(), QStringLiteral("codeplug-1A2B-20261206-120000.bin"));
        EXPECT_EQ(table.item(1, 0)->text(), QStringLiteral("00000A1B2C3D4E5F")); // from its record
        EXPECT_EQ(table.item(1, 2)->text(), QStringLiteral("5.9"));
        EXPECT_EQ(table.item(1, 3)->text(), QStringLiteral("Before an update"));
        EXPECT_EQ(table.item(2, 4)->text(), QStringLiteral("codeplug-1A2B-20261201-080000.bin"));
        EXPECT_EQ(table.item(2, 0)->text(), QStringLiteral("1A2B")); // from its name
        EXPECT_EQ(table.item(2, 3)->text(), QStringLiteral("no record"));
        // The newest backup that may be restored starts selected; the user takes the older one.
        EXPECT_EQ(table.currentRow(), 1);
        table.selectRow(2);
        ASSERT_TRUE(ButtonOf(d, "restoreButton").isEnabled());
        ButtonOf(d, "restoreButton").click();
    });
    EXPECT_EQ(chosen, older_);
}

TEST_F(RestoreDialogTest, AProblemRowIsShownWithItsReasonButCannotBeChosen)
{
    const std::string chosen = Choose([this](RestoreDialog& d) {
        QTableWidget& table = Table(d);
        ASSERT_EQ(table.rowCount(), 3);
        const std::string why = "The backup " + broken_ + " cannot be restored: the file is empty.";
        for (int c = 0; c < table.columnCount(); ++c) {
            EXPECT_EQ(table.item(0, c)->toolTip().toStdString(), why);
            EXPECT_FALSE(table.item(0, c)->flags() & Qt::ItemIsSelectable);
        }
        table.clearSelection();
        table.selectRow(0);
        EXPECT_TRUE(table.selectedItems().isEmpty());
        QPushButton& restore = ButtonOf(d, "restoreButton");
        EXPECT_FALSE(restore.isEnabled());
        restore.click();
        emit table.cellDoubleClicked(0, 0);
        EXPECT_TRUE(d.isVisible()); // still asking
        ButtonOf(d, "cancelButton").click();
    });
    EXPECT_EQ(chosen, "");
}

TEST_F(RestoreDialogTest, OtherFileOpensAFileDialogInTheFolderAndReturnsItsChoice)
{
    const std::string elsewhere = Write("copied-from-a-stick.bin", test::BackupBytes(5));
    auto fileDialogSeen = std::make_shared<bool>(false);
    const std::string chosen = Choose([&](RestoreDialog& d) {
        WhenUp<QFileDialog>(
            [&](QFileDialog& files) {
                EXPECT_EQ(files.nameFilters(), QStringList{QStringLiteral("Codeplug backups (*.bin)")});
                EXPECT_EQ(files.directory().absolutePath().toStdString(), Folder());
                files.selectFile(QString::fromStdString(elsewhere));
                static_cast<QDialog&>(files).accept(); // as its Open button does
            },
            fileDialogSeen);
        ButtonOf(d, "otherFileButton").click();
    });
    EXPECT_TRUE(*fileDialogSeen);
    EXPECT_EQ(chosen, elsewhere);
}

TEST_F(RestoreDialogTest, EveryControlHasAnAccessibleName)
{
    RestoreDialog d(Folder(), nullptr);
    EXPECT_FALSE(d.accessibleName().isEmpty());
    // The dialog's own controls; the parts Qt builds inside a table are its business.
    const QList<QWidget*> controls = d.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    int named = 0;
    for (QWidget* w : controls) {
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QTableWidget*>(w) || qobject_cast<QLabel*>(w)) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
            ++named;
        }
    }
    EXPECT_EQ(named, 5); // the folder, the table and three buttons
}

// Enter on the question before a restore answers No: nothing is written by a stray key.
TEST_F(RestoreDialogTest, EnterOnTheRestoreQuestionAnswersNo)
{
    FormModel owner("MainForm", "Aurex Code Updater", 400, 300);
    QtDialogHost host;
    auto seen = std::make_shared<bool>(false);
    WhenUp<QMessageBox>([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, seen);
    EXPECT_EQ(host.ShowMessage(owner,
                               RestoreQuestion(ReadBackupForRestore(older_), older_, "00000A1B2C3D4E5F"),
                               "Restore codeplug", MessageIcon::Question, MessageButtons::YesNo),
              MessageAnswer::No); // the box, left open, would hold the test until its time-out
}

TEST_F(RestoreDialogTest, CancelChoosesNothing)
{
    EXPECT_EQ(Choose([](RestoreDialog& d) { ButtonOf(d, "cancelButton").click(); }), "");
}

} // namespace
} // namespace aurex
