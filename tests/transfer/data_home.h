#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/pty_pair.h"
#include "transfer/codeplug_backup.h"

namespace aurex::test {

// Points the per-user data folder at a fresh temporary folder for the test's lifetime.
class ScopedDataHome
{
  public:
    ScopedDataHome() : old_(qgetenv("XDG_DATA_HOME")) { qputenv("XDG_DATA_HOME", dir_.path().toLocal8Bit()); }
    explicit ScopedDataHome(const QString& path) : old_(qgetenv("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", path.toLocal8Bit());
    }
    ~ScopedDataHome()
    {
        if (old_.isNull()) {
            qunsetenv("XDG_DATA_HOME");
        } else {
            qputenv("XDG_DATA_HOME", old_);
        }
    }
    QString Path() const { return dir_.path(); }

    // The backups now in the folder, by name.
    static QStringList Backups()
    {
        return QDir(QString::fromStdString(CodeplugBackupFolder()))
            .entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name);
    }
    // Backups and their records.
    static QStringList Files()
    {
        return QDir(QString::fromStdString(CodeplugBackupFolder())).entryList(QDir::Files, QDir::Name);
    }
    static Bytes Read(const QString& name)
    {
        QFile f(QDir(QString::fromStdString(CodeplugBackupFolder())).filePath(name));
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        const QByteArray b = f.readAll();
        return Bytes(b.begin(), b.end());
    }

  private:
    QTemporaryDir dir_;
    QByteArray old_;
};

} // namespace aurex::test
