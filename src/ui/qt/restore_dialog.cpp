#include "ui/qt/restore_dialog.h"

#include "ui/qt/dialog_parts.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace aurex {

namespace {

enum Column { IdentityColumn, DateColumn, FormatColumn, ReasonColumn, FileColumn, ColumnCount };

QString OrUnknown(const std::string& text)
{
    return text.empty() ? QCoreApplication::translate("RestoreDialog", "unknown") : Text(text);
}

QString DateText(const std::string& utc)
{
    return OrUnknown(BackupLocalTime(utc));
}

QString ReasonText(const BackupEntry& entry)
{
    if (!entry.hasRecord) {
        return QCoreApplication::translate("RestoreDialog", "no record");
    }
    if (entry.reason == "before-update") {
        return QCoreApplication::translate("RestoreDialog", "Before an update");
    }
    if (entry.reason == "before-restore") {
        return QCoreApplication::translate("RestoreDialog", "Before a restore");
    }
    if (entry.reason == "on-request") {
        return QCoreApplication::translate("RestoreDialog", "On request");
    }
    return Text(entry.reason);
}

} // namespace

RestoreDialog::RestoreDialog(const std::string& folder, QWidget* owner)
    : QDialog(owner), folder_(folder), entries_(ListCodeplugBackups(folder))
{
    setWindowTitle(tr("Restore codeplug"));
    setAccessibleName(tr("Restore codeplug"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    auto* heading = new QLabel(this);
    heading->setObjectName(QStringLiteral("backupFolderLabel"));
    heading->setText(entries_.empty() ? tr("No codeplug backups in %1.").arg(Text(folder))
                                      : tr("Codeplug backups in %1, newest first:").arg(Text(folder)));
    heading->setAccessibleName(tr("Backups folder"));
    heading->setTextFormat(Qt::PlainText);
    heading->setWordWrap(true);

    table_ = new QTableWidget(0, ColumnCount, this);
    table_->setObjectName(QStringLiteral("backupTable"));
    table_->setAccessibleName(tr("Codeplug backups"));
    table_->setAccessibleDescription(tr("The backups that may be restored, newest first"));
    table_->setHorizontalHeaderLabels(
        {tr("Radio identity"), tr("Date"), tr("Format"), tr("Reason"), tr("File")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    FillTable();

    restore_ = DialogButton(tr("Restore"), "restoreButton", tr("Restore"),
                            tr("Writes the chosen backup into the radio"), this);
    restore_->setDefault(true);
    restore_->setEnabled(false);
    QPushButton* other = DialogButton(tr("Other file..."), "otherFileButton", tr("Other file"),
                                      tr("Chooses a codeplug file outside the backups folder"), this);
    QPushButton* cancel =
        DialogButton(tr("Cancel"), "cancelButton", tr("Cancel"), tr("Closes without restoring"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(other);
    buttons->addStretch();
    buttons->addWidget(restore_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    resize(720, 360);

    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { Restore(); });
    connect(restore_, &QPushButton::clicked, this, [this] { Restore(); });
    connect(other, &QPushButton::clicked, this, [this] { OtherFile(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // The newest backup that may be restored is the likely choice.
    for (int row = 0; row < static_cast<int>(entries_.size()); ++row) {
        if (entries_[static_cast<std::size_t>(row)].problem.empty()) {
            table_->selectRow(row);
            break;
        }
    }
}

void RestoreDialog::FillTable()
{
    table_->setRowCount(static_cast<int>(entries_.size()));
    for (int row = 0; row < static_cast<int>(entries_.size()); ++row) {
        const BackupEntry& e = entries_[static_cast<std::size_t>(row)];
        const QString cells[ColumnCount] = {OrUnknown(e.identity), DateText(e.time), OrUnknown(e.format),
                                            ReasonText(e), Text(e.fileName)};
        for (int column = 0; column < ColumnCount; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (e.problem.empty()) {
                item->setToolTip(Text(e.path));
            } else {
                // Seen, greyed and with its reason, but never selected.
                item->setFlags(Qt::ItemIsEnabled);
                item->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
                item->setToolTip(Text(e.problem));
            }
            table_->setItem(row, column, item);
        }
    }
    table_->resizeColumnsToContents();
}

const BackupEntry* RestoreDialog::ChoosableSelection() const
{
    const QList<QTableWidgetItem*> selected = table_->selectedItems();
    if (selected.isEmpty()) {
        return nullptr;
    }
    const int row = selected.front()->row();
    if (row < 0 || row >= static_cast<int>(entries_.size())) {
        return nullptr;
    }
    const BackupEntry& entry = entries_[static_cast<std::size_t>(row)];
    return entry.problem.empty() ? &entry : nullptr;
}

void RestoreDialog::SelectionChanged()
{
    restore_->setEnabled(ChoosableSelection() != nullptr);
}

void RestoreDialog::Restore()
{
    const BackupEntry* entry = ChoosableSelection();
    if (entry == nullptr) {
        return;
    }
    chosen_ = entry->path;
    accept();
}

void RestoreDialog::OtherFile()
{
    QFileDialog files(this, tr("Restore codeplug from a file"), Text(folder_),
                      tr("Codeplug backups (*.bin)"));
    files.setObjectName(QStringLiteral("otherFileDialog"));
    files.setAccessibleName(tr("Restore codeplug from a file"));
    files.setFileMode(QFileDialog::ExistingFile);
    files.setAcceptMode(QFileDialog::AcceptOpen);
    if (files.exec() != QDialog::Accepted || files.selectedFiles().isEmpty()) {
        return;
    }
    chosen_ = files.selectedFiles().front().toStdString();
    accept();
}

std::string ChooseBackupToRestore(const std::string& folder, QWidget* owner)
{
    RestoreDialog dialog(folder, owner);
    return dialog.exec() == QDialog::Accepted ? dialog.ChosenPath() : std::string();
}

} // namespace aurex
