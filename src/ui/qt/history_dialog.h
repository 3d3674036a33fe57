#pragma once

// The Qt view of the update history: every run, newest first, narrowed to one radio by its
// identity as it is typed, and exported as CSV.

#include <string>
#include <vector>

#include <QDialog>

#include "history/update_history.h"

class QLineEdit;
class QTableWidget;

namespace aurex {

class HistoryDialog : public QDialog
{
    Q_OBJECT

  public:
    HistoryDialog(UpdateHistory& history, QWidget* owner);

    // The rows in the table, in its order (newest first).
    const std::vector<HistoryRow>& ShownRows() const { return shown_; }
    QLineEdit* Filter() const { return filter_; }
    QTableWidget* Table() const { return table_; }

    // Writes the shown rows as CSV to `path`; false with `error` naming the file.
    bool WriteCsv(const QString& path, std::string& error) const;

  private:
    void FillTable();
    void ExportCsv();

    std::vector<HistoryRow> rows_;
    std::vector<HistoryRow> shown_;
    QLineEdit* filter_ = nullptr;
    QTableWidget* table_ = nullptr;
};

// Shows the history modally over `parent`.
void ShowHistoryDialog(QWidget* parent, UpdateHistory& history);

} // namespace aurex
