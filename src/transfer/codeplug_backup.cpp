#include "transfer/codeplug_backup.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cctype>

namespace aurex {

namespace {

// Only what is safe in a file name on every system; the identity is hex digits anyway.
QString NamePart(std::string_view identity) {
    std::string part;
    for (char c : identity) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            part.push_back(c);
        }
    }
    return part.empty() ? QStringLiteral("unknown") : QString::fromStdString(part);
}

CodeplugBackupResult Failed(std::string error) {
    CodeplugBackupResult r;
    r.error = std::move(error);
    return r;
}

}  // namespace

std::string CodeplugBackupFolder() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (base.isEmpty()) {
        return {};
    }
    return QDir(base).filePath(QStringLiteral("codeplug-backups")).toStdString();
}

CodeplugBackupResult SaveCodeplugBackup(std::string_view identity, std::span<const std::uint8_t> bytes) {
    const QString folder = QString::fromStdString(CodeplugBackupFolder());
    if (folder.isEmpty()) {
        return Failed("no per-user data folder is known on this computer");
    }
    if (!QDir().mkpath(folder)) {
        return Failed("cannot create the folder " + folder.toStdString());
    }
    const QDir dir(folder);
    const QString stem = QStringLiteral("codeplug-%1-%2")
                             .arg(NamePart(identity), QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QString path = dir.filePath(stem + QStringLiteral(".bin"));
    for (int n = 2; QFileInfo::exists(path); ++n) {
        if (n > 999) {
            return Failed("too many backups of this radio in one second in " + folder.toStdString());
        }
        path = dir.filePath(stem + QStringLiteral("-%1.bin").arg(n));
    }

    // A temporary name, flushed to the disk and renamed: the backup exists whole or not at all.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return Failed("cannot create " + path.toStdString() + ": " + file.errorString().toStdString());
    }
    const auto size = static_cast<qint64>(bytes.size());
    if (file.write(reinterpret_cast<const char*>(bytes.data()), size) != size || !file.commit()) {
        const std::string why = file.errorString().toStdString();
        file.cancelWriting();
        return Failed("cannot write " + path.toStdString() + ": " + why);
    }

    // Only a backup that reads back as written counts.
    QFile check(path);
    if (!check.open(QIODevice::ReadOnly)) {
        return Failed("cannot read back " + path.toStdString());
    }
    const QByteArray stored = check.readAll();
    check.close();
    if (stored.size() != size || !std::equal(bytes.begin(), bytes.end(), reinterpret_cast<const std::uint8_t*>(stored.constData()))) {
        QFile::remove(path);
        return Failed("the backup read back from " + path.toStdString() + " differs from the codeplug");
    }
    CodeplugBackupResult r;
    r.saved = true;
    r.path = path.toStdString();
    return r;
}

}  // namespace aurex
