#include "ui/qt/history_dialog.h"

#include "history/history_identity.h"
#include "ui/qt/dialog_parts.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

namespace aurex {

namespace {

// The dialog reads at most this many of the newest runs; older ones stay in the file.
constexpr std::size_t kRowsRead = 10000;

constexpr int kResultTextColumn = 3;
constexpr int kWidestResultText = 360;

// The UTC time of the run in this computer's time, as people read it.
QString TimeText(const std::string& utc)
{
    const QDateTime time = QDateTime::fromString(Text(utc), Qt::ISODate);
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : Text(utc);
}

QStringList Cells(const HistoryRow& row)
{
    const bool finished = !row.finishedUtc.empty();
    // The result beside the times: to the right of the run's details it was out of sight.
    return {TimeText(row.startedUtc),
            finished ? TimeText(row.finishedUtc) : QCoreApplication::translate("HistoryDialog", "unfinished"),
            finished ? QString::number(row.resultCode) : QString(),
            Text(row.resultText),
            Text(row.kind),
            Text(row.port),
            Text(row.radioIdentity),
            Text(row.model),
            Text(row.series),
            Text(row.versionsBefore),
            Text(row.versionsAfter),
            Text(HistoryImageSet(row)),
            finished
                ? QCoreApplication::translate("HistoryDialog", "%1 s").arg(row.durationSeconds, 0, 'f', 1)
                : QString(),
            Text(row.backupFile),
            Text(row.verification)};
}

constexpr const char* kHeaders[] = {
    QT_TRANSLATE_NOOP("HistoryDialog", "Started"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Finished"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Result code"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Result text"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Kind"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Port"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Radio identity"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Model"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Series"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Versions before"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Versions after"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Image set"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Duration"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Backup file"),
    QT_TRANSLATE_NOOP("HistoryDialog", "Verification"),
};

// Made at each use, so a translation loaded later is shown.
QStringList Headers()
{
    QStringList headers;
    for (const char* header : kHeaders) {
        headers << QCoreApplication::translate("HistoryDialog", header);
    }
    return headers;
}

// An identity typed in part, with or without the label's dashes, matches every radio whose
// identity starts with it.
bool IdentityMatches(const std::string& identity, const QString& typed)
{
    return typed.isEmpty() ||
           Text(identity).startsWith(Text(HistoryIdentity(typed.toStdString())), Qt::CaseInsensitive);
}

} // namespace

HistoryDialog::HistoryDialog(UpdateHistory& history, QWidget* owner)
    : QDialog(owner), rows_(history.Rows({}, kRowsRead))
{
    std::reverse(rows_.begin(), rows_.end());
    setWindowTitle(tr("Update history"));
    setAccessibleName(tr("Update history"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    auto* label = new QLabel(tr("Radio identity:"), this);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("identityFilter"));
    filter_->setAccessibleName(tr("Radio identity filter"));
    filter_->setAccessibleDescription(tr("Shows only the updates of radios whose identity holds this"));
    filter_->setClearButtonEnabled(true);
    label->setBuddy(filter_);

    table_ = new QTableWidget(0, static_cast<int>(Headers().size()), this);
    table_->setObjectName(QStringLiteral("historyTable"));
    table_->setAccessibleName(tr("Update history"));
    table_->setAccessibleDescription(tr("The updates made on this computer, newest first"));
    table_->setHorizontalHeaderLabels(Headers());
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);

    QPushButton* exportCsv = DialogButton(tr("Export CSV..."), "exportCsvButton", tr("Export CSV"),
                                          tr("Saves the rows shown to a CSV file"), this);
    QPushButton* close =
        DialogButton(tr("Close"), "closeButton", tr("Close"), tr("Closes the update history"), this);
    close->setDefault(true);

    // A history that could not be read says so rather than looking empty.
    auto* readError = new QLabel(Text(history.Error()), this);
    readError->setObjectName(QStringLiteral("historyReadError"));
    readError->setAccessibleName(tr("History read error"));
    readError->setTextFormat(Qt::PlainText);
    readError->setWordWrap(true);
    readError->setVisible(!history.Error().empty());

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(label);
    filterRow->addWidget(filter_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(exportCsv);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(readError);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    resize(960, 420);

    connect(filter_, &QLineEdit::textChanged, this, [this] { FillTable(); });
    connect(exportCsv, &QPushButton::clicked, this, [this] { ExportCsv(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    FillTable();
}

void HistoryDialog::FillTable()
{
    const QString typed = filter_->text().trimmed();
    shown_.clear();
    std::copy_if(rows_.begin(), rows_.end(), std::back_inserter(shown_),
                 [&](const HistoryRow& row) { return IdentityMatches(row.radioIdentity, typed); });
    table_->setRowCount(static_cast<int>(shown_.size()));
    for (int row = 0; row < static_cast<int>(shown_.size()); ++row) {
        const QStringList cells = Cells(shown_[static_cast<std::size_t>(row)]);
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setToolTip(cells[column]);
            table_->setItem(row, column, item);
        }
    }
    table_->resizeColumnsToContents();
    // A long failure text would push every other column out of sight; its tooltip holds it whole.
    table_->setColumnWidth(kResultTextColumn,
                           std::min(table_->columnWidth(kResultTextColumn), kWidestResultText));
}

bool HistoryDialog::WriteCsv(const QString& path, std::string& error) const
{
    const std::string csv = HistoryCsv(shown_);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()) ||
        !file.commit()) {
        error = tr("The history could not be written to %1: %2").arg(path, file.errorString()).toStdString();
        return false;
    }
    return true;
}

void HistoryDialog::ExportCsv()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export update history"), QStringLiteral("update-history.csv"), tr("CSV files (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    std::string error;
    if (!WriteCsv(path, error)) {
        QMessageBox::warning(this, tr("Export CSV"), Text(error));
    }
}

void ShowHistoryDialog(QWidget* parent, UpdateHistory& history)
{
    HistoryDialog dialog(history, parent);
    dialog.exec();
}

} // namespace aurex
