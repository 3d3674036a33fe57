#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

namespace aurex {
namespace {

long long SteadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The start-up benchmark relies on this: one line at the first paint, on the clock the starting
// process reads, with plausible memory figures, and a clean exit without anyone closing the window.
TEST(ReportStartupTest, PrintsOneLineAtFirstPaintAndExitsCleanly)
{
    QProcess updater;
    updater.setProgram(AUREX_UPDATER_EXECUTABLE);
    updater.setArguments({"--report-startup", "-platform", "offscreen"});
    updater.setProcessChannelMode(QProcess::SeparateChannels);
    const long long before = SteadyNanoseconds();
    updater.start();
    ASSERT_TRUE(updater.waitForStarted(30000)) << updater.errorString().toStdString();
    ASSERT_TRUE(updater.waitForFinished(60000)) << "the updater did not end by itself";
    const long long after = SteadyNanoseconds();
    EXPECT_EQ(updater.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(updater.exitCode(), 0) << updater.readAllStandardError().toStdString();

    const QString out = QString::fromLocal8Bit(updater.readAllStandardOutput());
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << out.toStdString();
    const QRegularExpression format("^aurex-startup first-paint-ns=(\\d+) vmrss-kb=(\\d+) vmhwm-kb=(\\d+)$");
    const QRegularExpressionMatch m = format.match(lines[0]);
    ASSERT_TRUE(m.hasMatch()) << lines[0].toStdString();
    const long long paint = m.captured(1).toLongLong();
    EXPECT_GT(paint, before);
    EXPECT_LT(paint, after);
    const long rss = m.captured(2).toLong();
    const long hwm = m.captured(3).toLong();
    EXPECT_GT(rss, 0);
    EXPECT_GE(hwm, rss);
}

} // namespace
} // namespace aurex
