#include "ui/qt/history_dialog.h"

#include "ui/qt/dialog_parts.h"

#include <algorithm>

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

// The UTC time of the run in this computer's time, as people read it.
QString TimeText(const std::string& utc)
{
    const QDateTime time = QDateTime::fromString(Text(utc), Qt::ISODate);
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : Text(utc);
}

QString ImageSetText(const HistoryRow& row)
{
    if (row.imageSetRelease.empty()) {
        return Text(row.imageSetName);
    }
    return (Text(row.imageSetName) + QLatin1Char(' ') + Text(row.imageSetRelease)).trimmed();
}

QStringList Cells(const HistoryRow& row)
{
    const bool finished = !row.finishedUtc.empty();
    return {TimeText(row.startedUtc),
            finished ? TimeText(row.finishedUtc) : QStringLiteral("unfinished"),
            Text(row.kind),
            Text(row.port),
            Text(row.radioIdentity),
            Text(row.model),
            Text(row.series),
            Text(row.versionsBefore),
            Text(row.versionsAfter),
            ImageSetText(row),
            finished ? QString::number(row.resultCode) : QString(),
            Text(row.resultText),
            finished ? QStringLiteral("%1 s").arg(row.durationSeconds, 0, 'f', 1) : QString(),
            Text(row.backupFile),
            Text(row.verification)};
}

const QStringList& Headers()
{
    static const QStringList headers = {
        QStringLiteral("Started"),   QStringLiteral("Finished"),        QStringLiteral("Kind"),
        QStringLiteral("Port"),      QStringLiteral("Radio identity"),  QStringLiteral("Model"),
        QStringLiteral("Series"),    QStringLiteral("Versions before"), QStringLiteral("Versions after"),
        QStringLiteral("Image set"), QStringLiteral("Result code"),     QStringLiteral("Result text"),
        QStringLiteral("Duration"),  QStringLiteral("Backup file"),     QStringLiteral("Verification")};
    return headers;
}

// An identity typed in part matches every radio whose identity starts with it.
bool IdentityMatches(const std::string& identity, const QString& typed)
{
    return typed.isEmpty() || Text(identity).startsWith(typed, Qt::CaseInsensitive);
}

} // namespace

HistoryDialog::HistoryDialog(UpdateHistory& history, QWidget* owner)
    : QDialog(owner), rows_(history.Rows({}, kRowsRead))
{
    std::reverse(rows_.begin(), rows_.end());
    setWindowTitle(QStringLiteral("Update history"));
    setAccessibleName(QStringLiteral("Update history"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    auto* label = new QLabel(QStringLiteral("Radio identity:"), this);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("identityFilter"));
    filter_->setAccessibleName(QStringLiteral("Radio identity filter"));
    filter_->setAccessibleDescription(
        QStringLiteral("Shows only the updates of radios whose identity holds this"));
    filter_->setClearButtonEnabled(true);
    label->setBuddy(filter_);

    table_ = new QTableWidget(0, static_cast<int>(Headers().size()), this);
    table_->setObjectName(QStringLiteral("historyTable"));
    table_->setAccessibleName(QStringLiteral("Update history"));
    table_->setAccessibleDescription(QStringLiteral("The updates made on this computer, newest first"));
    table_->setHorizontalHeaderLabels(Headers());
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);

    QPushButton* exportCsv =
        DialogButton(QStringLiteral("Export CSV..."), "exportCsvButton", QStringLiteral("Export CSV"),
                     QStringLiteral("Saves the rows shown to a CSV file"), this);
    QPushButton* close = DialogButton(QStringLiteral("Close"), "closeButton", QStringLiteral("Close"),
                                      QStringLiteral("Closes the update history"), this);
    close->setDefault(true);

    // A history that could not be read says so rather than looking empty.
    auto* readError = new QLabel(Text(history.Error()), this);
    readError->setObjectName(QStringLiteral("historyReadError"));
    readError->setAccessibleName(QStringLiteral("History read error"));
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
            table_->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
    }
    table_->resizeColumnsToContents();
}

bool HistoryDialog::WriteCsv(const QString& path, std::string& error) const
{
    const std::string csv = HistoryCsv(shown_);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()) ||
        !file.commit()) {
        error = "The history could not be written to " + path.toStdString() + ": " +
                file.errorString().toStdString();
        return false;
    }
    return true;
}

void HistoryDialog::ExportCsv()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export update history"),
                                                      QStringLiteral("update-history.csv"),
                                                      QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    std::string error;
    if (!WriteCsv(path, error)) {
        QMessageBox::warning(this, QStringLiteral("Export CSV"), Text(error));
    }
}

void ShowHistoryDialog(QWidget* parent, UpdateHistory& history)
{
    HistoryDialog dialog(history, parent);
    dialog.exec();
}

} // namespace aurex
