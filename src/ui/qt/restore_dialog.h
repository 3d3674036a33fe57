#pragma once

// The Qt chooser of a codeplug backup to put back into a radio: the backups of the folder,
// newest first, those that would be refused shown with the reason but not choosable, and a way
// out to any other file.

#include <string>
#include <vector>

#include <QDialog>

#include "transfer/backup_catalog.h"

class QPushButton;
class QTableWidget;

namespace aurex {

class RestoreDialog : public QDialog
{
    Q_OBJECT

  public:
    RestoreDialog(const std::string& folder, QWidget* owner);

    // The backup chosen, once the dialog is accepted.
    const std::string& ChosenPath() const { return chosen_; }

  private:
    void FillTable();
    void SelectionChanged();
    void Restore();
    void OtherFile();
    // The entry of the selected row when it may be restored.
    const BackupEntry* ChoosableSelection() const;

    std::string folder_;
    std::vector<BackupEntry> entries_;
    std::string chosen_;
    QTableWidget* table_ = nullptr;
    QPushButton* restore_ = nullptr;
};

// Shows the dialog modally over `owner`; the chosen path, or empty when none was chosen.
std::string ChooseBackupToRestore(const std::string& folder, QWidget* owner);

} // namespace aurex
