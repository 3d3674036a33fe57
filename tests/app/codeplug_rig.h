#pragma once

// Codeplug tests against the simulated radio: each case starts its own radio in application mode
// and the main window opened on it, with the helpers to build, write and read codeplugs.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/codeplug_step.h"
#include "app/password_prompt.h"
#include "codeplug-builder/codeplug_builder.h"
#include "convert/codeplug_image.h"
#include "convert/format_tables.h"
#include "link/radio_link.h"
#include "support/radio_sim_process.h"
#include "transfer/data_home.h"
#include "transfer/radio_transfer_link.h"
#include "transfer/transfer_peer.h"
#include "transfer/vnx_transfer.h"
#include "window_rig.h"

namespace aurex::codeplug_test {

using test::Bytes;
using test::RadioSimProcess;
using test::ScopedDataHome;
using test::WindowRig;

// The link's reply time-out of 4000 ms becomes 800 ms: at 0.05 (200 ms) a test process that a
// loaded machine leaves unscheduled for a moment took a reply already on the line for a silent
// radio, and a codeplug download ended half-way.
inline constexpr double kTimeScale = 0.2;

inline Bytes ReadFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray b = f.readAll();
    return Bytes(b.begin(), b.end());
}

inline bool WriteFile(const QString& path, const Bytes& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) &&
           f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

inline Bytes LineOrder(const uint16_t* image, std::size_t words)
{
    Bytes b;
    for (std::size_t i = 0; i < words; ++i) {
        b.push_back(static_cast<std::uint8_t>(image[i] >> 8));
        b.push_back(static_cast<std::uint8_t>(image[i]));
    }
    return b;
}

// Host-order words of a line-order codeplug, zero-filled to the whole buffer.
inline std::vector<std::uint16_t> Words(const Bytes& line)
{
    std::vector<std::uint16_t> words(kParmsBufferWords, 0);
    for (std::size_t i = 0; i + 1 < line.size() && i / 2 < words.size(); i += 2) {
        words[i / 2] = static_cast<std::uint16_t>(line[i] << 8 | line[i + 1]);
    }
    return words;
}

// A valid codeplug (5.8 unless told) whose image, trailer included, fills whole blocks, so the
// radio's codeplug memory holds exactly the file and an upload gives it back unchanged.
inline Bytes WholeBlockCodeplug(std::uint8_t formatIndex = 3)
{
    CodeplugOptions options;
    options.formatIndex = formatIndex;
    const std::uint32_t natural = BuildCodeplug(options).imageLength;
    options.imageLength = (natural + 63) / 64 * 64;
    const BuiltCodeplug built = BuildCodeplug(options);
    return LineOrder(built.image(), built.imageLength);
}

// Every case gets its own simulated radio in application mode and the main window opened on it.
class CodeplugE2eTest : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(files.isValid()); }

    // Starts the radio holding `codeplug` (none: its own default image) with extra settings.
    void StartRadio(const std::optional<Bytes>& codeplug, std::vector<std::string> settings)
    {
        std::vector<std::string> args = {"--mode", "application", "--dump-dir", Path("dump")};
        if (codeplug) {
            const QString file = files.filePath(QStringLiteral("radio-%1.bin").arg(++radios));
            ASSERT_TRUE(WriteFile(file, *codeplug));
            args.insert(args.end(), {"--codeplug", file.toStdString()});
        }
        args.insert(args.end(), settings.begin(), settings.end());
        window.reset();
        sim.reset();
        sim = std::make_unique<RadioSimProcess>(args);
        window = std::make_unique<WindowRig>(sim->DevicePath(), kTimeScale, backupDisk);
        ASSERT_TRUE(window->opened) << sim->Log();
    }

    std::string Path(const char* name) const
    {
        return files.filePath(QString::fromLatin1(name)).toStdString();
    }

    // Waits (bounded) until the radio has logged `text` `times` times; the radio works in its
    // own process.
    bool RadioLogged(const std::string& text, int times = 1)
    {
        auto count = [&] {
            const std::string log = sim->Log();
            int n = 0;
            for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
                ++n;
            }
            return n;
        };
        QElapsedTimer t;
        t.start();
        while (count() < times) {
            if (t.elapsed() > 10000) {
                return false;
            }
            QThread::msleep(10);
        }
        return true;
    }

    // The codeplug the current radio received in its first download, descrambled. The radio logs
    // the end of a download before it writes the dump, so this waits (bounded) for the line
    // saying the dump is written whole; empty when none comes.
    Bytes Downloaded()
    {
        const std::string written = "wrote " + Path("dump") + "/";
        const std::string kind = "-codeplug.bin";
        QElapsedTimer t;
        t.start();
        for (;;) {
            const std::string log = sim->Log();
            for (std::size_t at = log.find(written); at != std::string::npos;
                 at = log.find(written, at + 1)) {
                const std::size_t lineEnd = log.find('\n', at);
                const std::size_t name = log.find(kind + " (", at);
                if (lineEnd != std::string::npos && name < lineEnd) {
                    const std::size_t from = at + std::string("wrote ").size();
                    return ReadFile(QString::fromStdString(log.substr(from, name + kind.size() - from)));
                }
            }
            if (t.elapsed() > 10000) {
                return {};
            }
            QThread::msleep(10);
        }
    }

    // The codeplugs the radios of this case wrote out: none unless one took a download.
    QStringList CodeplugDumps() const
    {
        return QDir(QString::fromStdString(Path("dump")))
            .entryList({QStringLiteral("*-codeplug.bin")}, QDir::Files);
    }

    // A transfer as the preservation step makes one, over the window's link and dialog.
    std::unique_ptr<VNXTransferParms> Transfer(std::vector<std::uint8_t>& buffer)
    {
        auto t = std::make_unique<VNXTransferParms>(
            [this](std::string& text) { return PasswordPrompt(*window->form, text); });
        buffer.assign(kCodeplugBufferBytes, 0);
        t->SetBuffer(std::span<std::uint8_t, kCodeplugBufferBytes>(buffer.data(), kCodeplugBufferBytes), 0);
        transferLink = std::make_unique<RadioTransferLink>(window->form->RadioLink);
        t->SetLink(*transferLink);
        CreateLinkTimeout(window->form->RadioLink, 4000);
        return t;
    }

    CodeplugStepResult Preserve() { return PreserveOutcome().result; }
    CodeplugStepOutcome PreserveOutcome()
    {
        SetLinkActive(window->form->RadioLink, true); // as a code download leaves it
        window->form->m_UpdateInProgress = true;      // as a run does
        const CodeplugStepOutcome outcome = PreserveCodeplug(*window->form);
        window->form->m_UpdateInProgress = false;
        return outcome;
    }

    QTemporaryDir files;
    ScopedDataHome home;
    std::shared_ptr<BackupDisk> backupDisk; // null: the real disk
    int radios = 0;
    std::unique_ptr<RadioSimProcess> sim;
    std::unique_ptr<WindowRig> window;
    std::unique_ptr<RadioTransferLink> transferLink;
};

} // namespace aurex::codeplug_test
