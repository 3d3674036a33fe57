// The update history dialog over a history in a temporary folder: the filter narrows the table
// as the identity is typed, and the export writes the rows shown.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include "history/update_history.h"
#include "ui/qt/history_dialog.h"

namespace aurex {
namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "history_dialog_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

std::string Bytes(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class HistoryDialogTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        App();
        std::string warning, error;
        history_ = UpdateHistory::Open(HistoryFileIn(dir_.path().toStdString()), warning, error);
        ASSERT_TRUE(history_) << error;
        const char* identities[] = {"1A2B", "1A2BC0", "9F00", "1a2b", "1A-2B"};
        int n = 0;
        for (const char* identity : identities) {
            HistoryRow row;
            row.startedUtc = "2026-12-0" + std::to_string(++n) + "T10:15:00Z";
            row.kind = "update";
            row.radioIdentity = identity;
            const std::int64_t id = history_->Begin(row);
            ASSERT_GT(id, 0) << history_->Error();
            if (n != 3) {
                row.finishedUtc = "2026-12-0" + std::to_string(n) + "T10:17:00Z";
                row.resultCode = 0;
                row.resultText = "Done, \"all\" written";
                row.durationSeconds = 120.5;
                ASSERT_TRUE(history_->Finish(id, row)) << history_->Error();
            }
        }
    }

    QTemporaryDir dir_;
    std::unique_ptr<UpdateHistory> history_;
};

TEST_F(HistoryDialogTest, ShowsEveryRunNewestFirst)
{
    HistoryDialog dialog(*history_, nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Update history"));
    QTableWidget* table = dialog.Table();
    ASSERT_EQ(table->rowCount(), 5);
    EXPECT_EQ(table->item(0, 6)->text(), QStringLiteral("1A2B"));
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("0")); // the result beside the times
    EXPECT_EQ(dialog.ShownRows().front().id, 5);
    EXPECT_EQ(dialog.ShownRows().back().id, 1);
    // The third run never finished.
    EXPECT_EQ(table->item(2, 1)->text(), QStringLiteral("unfinished"));
    EXPECT_EQ(table->item(2, 2)->text(), QString());
    EXPECT_EQ(table->item(0, 12)->text(), QStringLiteral("120.5 s"));
    EXPECT_FALSE(dialog.Filter()->accessibleName().isEmpty());
    EXPECT_FALSE(table->accessibleName().isEmpty());
    for (const char* button : {"exportCsvButton", "closeButton"}) {
        auto* found = dialog.findChild<QPushButton*>(QLatin1String(button));
        ASSERT_NE(found, nullptr) << button;
        EXPECT_FALSE(found->accessibleName().isEmpty()) << button;
    }
}

TEST_F(HistoryDialogTest, FilterNarrowsAsTheIdentityIsTyped)
{
    HistoryDialog dialog(*history_, nullptr);
    struct Case
    {
        const char* typed;
        std::vector<std::int64_t> ids;
    };
    const Case cases[] = {
        {"", {5, 4, 3, 2, 1}}, {"1", {5, 4, 2, 1}}, {"1A2B", {5, 4, 2, 1}},
        {"1A2BC", {2}},        {"9F00", {3}},       {"9F001", {}},
        {" 9f ", {3}},         {"1a-2B-C", {2}},    {"", {5, 4, 3, 2, 1}},
    };
    for (const Case& c : cases) {
        dialog.Filter()->setText(QString::fromUtf8(c.typed));
        std::vector<std::int64_t> ids;
        for (const HistoryRow& row : dialog.ShownRows()) {
            ids.push_back(row.id);
        }
        EXPECT_EQ(ids, c.ids) << "typed '" << c.typed << "'";
        EXPECT_EQ(dialog.Table()->rowCount(), static_cast<int>(c.ids.size())) << "typed '" << c.typed << "'";
    }
}

TEST_F(HistoryDialogTest, ExportWritesTheRowsShown)
{
    HistoryDialog dialog(*history_, nullptr);
    dialog.Filter()->setText(QStringLiteral("1A2BC"));
    const QString path = dir_.filePath(QStringLiteral("export.csv"));
    std::string error;
    ASSERT_TRUE(dialog.WriteCsv(path, error)) << error;
    ASSERT_EQ(dialog.ShownRows().size(), 1u);
    EXPECT_EQ(Bytes(path), HistoryCsv(dialog.ShownRows()));
    EXPECT_NE(Bytes(path).find("1A2BC0"), std::string::npos);
    EXPECT_EQ(Bytes(path).find("9F00"), std::string::npos);

    const QString nowhere = dir_.filePath(QStringLiteral("missing/folder/export.csv"));
    EXPECT_FALSE(dialog.WriteCsv(nowhere, error));
    EXPECT_NE(error.find(nowhere.toStdString()), std::string::npos) << error;
}

} // namespace
} // namespace aurex
