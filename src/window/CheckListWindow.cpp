#include "CheckListWindow.h"

#include "QtText.h"
#include "present/ListText.h"
#include "present/ProblemText.h"
#include "system/FileWriter.h"
#include "system/Files.h"
#include "system/Problem.h"
#include "validation/ResultCsv.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>

namespace quillon {
namespace {

// validate's CSV into a file, through the one file writer.
class FileSink final : public OutputSink {
public:
    explicit FileSink(FileWriter& writer) : m_writer(writer) {}

private:
    int Write(std::string_view bytes) override { return m_writer.Append(bytes) ? 0 : EIO; }
    FileWriter& m_writer;
};

// The database read now, indexed for a lookup per input; the last good read when the file cannot be read.
DeviceTable IndexedReading(const CheckListWindow::DatabaseInUse& database) {
    DeviceTable table;
    if (!ReadDeviceTable(database.file, table, TableLookup::Indexed)) {
        return table;
    }
    if (database.lastGoodRead.HasIndex()) {
        return database.lastGoodRead;
    }
    std::string lines;
    for (std::size_t number = 1; number <= database.lastGoodRead.LineCount(); ++number) {
        lines.append(database.lastGoodRead.Line(number)).append("\n");
    }
    return DeviceTable::FromBytes(std::move(lines), TableLookup::Indexed);
}

QPushButton* Button(const QString& caption, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

CheckListWindow::CheckListWindow(const PlatformServices& platform, std::function<DatabaseInUse()> databaseInUse)
    : QWidget(nullptr),
      m_dialogs(platform.dialogs),
      m_files(platform.files),
      m_columns(platform.columns),
      m_clipboard(platform.clipboard),
      m_databaseInUse(std::move(databaseInUse)) {
    setObjectName(QStringLiteral("CheckListWindow"));
    setWindowTitle(QStringLiteral("Check a List"));
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout();
    m_openButton = Button(QStringLiteral("Open File..."), QStringLiteral("OpenFile"), this);
    m_checkPastedButton = Button(QStringLiteral("Check Pasted Lines"), QStringLiteral("CheckPastedLines"), this);
    m_problemsOnly = new QCheckBox(QStringLiteral("Show Problems Only"), this);
    m_problemsOnly->setObjectName(QStringLiteral("ShowProblemsOnly"));
    m_saveButton = Button(QStringLiteral("Save as CSV..."), QStringLiteral("SaveAsCsv"), this);
    m_copyButton = Button(QStringLiteral("Copy"), QStringLiteral("Copy"), this);
    top->addWidget(m_openButton);
    top->addWidget(m_checkPastedButton);
    top->addWidget(m_problemsOnly);
    top->addStretch();
    top->addWidget(m_saveButton);
    top->addWidget(m_copyButton);
    layout->addLayout(top);

    m_pasteBox = new QPlainTextEdit(this);
    m_pasteBox->setObjectName(QStringLiteral("PastedLines"));
    m_pasteBox->setPlaceholderText(QStringLiteral(
        "Paste IMEIs here, one per line, or cells copied from a spreadsheet with an IMEI column and its header"));
    m_pasteBox->setAccessibleName(QStringLiteral("Lines to check"));
    m_pasteBox->setFixedHeight(m_pasteBox->fontMetrics().lineSpacing() * 4 + 12);
    layout->addWidget(m_pasteBox);

    m_counts = new QLabel(this);
    m_counts->setObjectName(QStringLiteral("Counts"));
    m_counts->setTextFormat(Qt::PlainText);
    layout->addWidget(m_counts);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Status"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);

    auto* progressRow = new QHBoxLayout();
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_cancelButton = Button(QStringLiteral("Cancel"), QStringLiteral("Cancel"), this);
    progressRow->addWidget(m_progress, 1);
    progressRow->addWidget(m_cancelButton);
    layout->addLayout(progressRow);

    m_model = new CheckListModel(this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("Results"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // One line a row, every row as high: the view never measures a million rows.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionsClickable(true);
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->horizontalHeader()->setStretchLastSection(true);
    const int widths[kListFieldCount] = {50, 125, 130, 220, 170, 125, 120, 140, 70};
    for (std::size_t i = 0; i < kListFieldCount; ++i) {
        m_table->setColumnWidth(static_cast<int>(i), widths[i]);
    }
    layout->addWidget(m_table, 1);

    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(100);

    connect(m_openButton, &QPushButton::clicked, this, &CheckListWindow::OpenFile_Click);
    connect(m_checkPastedButton, &QPushButton::clicked, this, &CheckListWindow::CheckPasted_Click);
    connect(m_saveButton, &QPushButton::clicked, this, &CheckListWindow::SaveCsv_Click);
    connect(m_copyButton, &QPushButton::clicked, this, &CheckListWindow::Copy_Click);
    connect(m_cancelButton, &QPushButton::clicked, this, &CheckListWindow::Cancel_Click);
    connect(m_problemsOnly, &QCheckBox::toggled, this, &CheckListWindow::ShowProblemsOnly_Toggled);
    connect(m_table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this, &CheckListWindow::SortRequested);
    connect(m_progressTimer, &QTimer::timeout, this, &CheckListWindow::UpdateProgress);

    ShowCounts();
    UpdateControls();
    // Wide enough for every column where the screen allows it.
    QSize size(1220, 640);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableGeometry().size() * 0.95);
    }
    resize(size);
}

CheckListWindow::~CheckListWindow() {
    Stop();
}

void CheckListWindow::Stop() {
    m_cancel = true;
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void CheckListWindow::closeEvent(QCloseEvent* event) {
    // The work ends with the window: a check keeps nothing, a sort shows nothing, a save writes nothing.
    Stop();
    if (m_running) {
        m_running = false;
        m_progressTimer->stop();
        m_checking.reset();
        m_status->setText(QStringLiteral("Stopped when the window closed."));
        UpdateControls();
    }
    QWidget::closeEvent(event);
}

void CheckListWindow::UpdateControls() {
    const bool idle = !m_running;
    const bool any = m_list != nullptr && m_list->Size() > 0;
    m_openButton->setEnabled(idle);
    m_checkPastedButton->setEnabled(idle);
    m_pasteBox->setReadOnly(!idle);
    m_problemsOnly->setEnabled(idle && any);
    m_saveButton->setEnabled(idle && any);
    m_copyButton->setEnabled(idle && any);
    m_table->horizontalHeader()->setSectionsClickable(idle);
    m_progress->setVisible(m_running);
    m_cancelButton->setVisible(m_running);
}

void CheckListWindow::ShowCounts() {
    m_counts->setText(ToQString(ListCountsText(m_list != nullptr ? m_list->Counts() : ListCounts{})));
}

void CheckListWindow::RunWork(const QString& label, bool counted, std::function<void()> work,
                              void (CheckListWindow::*then)()) {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_cancel = false;
    m_running = true;
    m_then = then;
    m_status->setText(label);
    m_progress->setRange(0, counted ? 1000 : 0);
    m_progress->setValue(0);
    UpdateControls();
    m_progressTimer->start();
    m_worker = std::thread([this, work = std::move(work)] {
        work();
        QMetaObject::invokeMethod(this, &CheckListWindow::FinishWork, Qt::QueuedConnection);
    });
}

void CheckListWindow::FinishWork() {
    if (!m_running) {
        return; // closed meanwhile: what the work found is shown to nobody
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_progressTimer->stop();
    (this->*m_then)();
}

void CheckListWindow::EndWork(const QString& status, const QString& message) {
    m_running = false;
    m_status->setText(status);
    UpdateControls();
    if (!message.isEmpty()) {
        m_dialogs.ShowMessage(message);
    }
    emit workFinished();
}

void CheckListWindow::UpdateProgress() {
    const std::lock_guard lock(m_inputMutex);
    if (m_input != nullptr && m_inputSize > 0 && m_progress->maximum() > 0) {
        const std::uint64_t read = std::min(m_input->BytesRead(), m_inputSize);
        m_progress->setValue(static_cast<int>(read * 1000 / m_inputSize));
    }
}

void CheckListWindow::Cancel_Click() {
    m_cancel = true;
}

void CheckListWindow::OpenFile_Click() {
    const QStringList chosen = m_files.ChooseFilesToOpen(
        QStringLiteral("Check a List of IMEIs"),
        {QStringLiteral("Lists of IMEIs (*.txt *.csv *.tsv *.tab)"), QStringLiteral("All files (*)")});
    if (!chosen.isEmpty()) {
        CheckFile(chosen.front());
    }
}

void CheckListWindow::CheckFile(const QString& path) {
    const std::filesystem::path file = PathFromUtf8(path.toStdString());
    std::error_code sizeError;
    const std::uintmax_t size = std::filesystem::file_size(file, sizeError);
    StartCheck({QDir::toNativeSeparators(path),
                [file](int& error) -> std::unique_ptr<LineInput> { return FileInput::Open(file, error); },
                sizeError ? 0 : static_cast<std::uint64_t>(size)});
}

void CheckListWindow::CheckPasted_Click() {
    const std::string text = m_pasteBox->toPlainText().toStdString();
    if (text.empty()) {
        m_dialogs.ShowMessage(QStringLiteral("There are no lines to check: paste IMEIs into the box first."));
        return;
    }
    StartCheck({QStringLiteral("The pasted lines"),
                [text](int&) -> std::unique_ptr<LineInput> { return std::make_unique<TextInput>(text); }, text.size()});
}

void CheckListWindow::StartCheck(ListSource source) {
    m_source = std::move(source);
    RunWork(
        QStringLiteral("Reading %1...").arg(m_source->name), false,
        [this] {
            m_openError = 0;
            m_start = {};
            if (std::unique_ptr<LineInput> in = m_source->open(m_openError)) {
                m_start = ExamineList(*in);
            }
        },
        &CheckListWindow::ListExamined);
}

bool CheckListWindow::EndIfNotOpened() {
    if (m_openError == 0) {
        return false;
    }
    EndWork(QString(),
            QStringLiteral("%1 could not be opened: %2").arg(m_source->name, ToQString(SystemErrorText(m_openError))));
    return true;
}

void CheckListWindow::ListExamined() {
    if (EndIfNotOpened()) {
        return;
    }
    if (m_start.imeiColumn) {
        CheckWith(ListColumn{.index = m_start.imeiColumn});
        return;
    }
    if (!m_start.looksLikeHeader) {
        CheckWith(std::nullopt);
        return;
    }
    QStringList fields;
    for (const std::string& field : m_start.fields) {
        fields.append(ToQString(field));
    }
    const std::optional<int> chosen = m_columns.ChooseImeiColumn(
        QStringLiteral("The first line of %1 looks like a header, but none of its columns is named IMEI. Which "
                       "column holds the IMEIs?")
            .arg(m_source->name),
        fields);
    if (!chosen) {
        EndWork(QStringLiteral("Nothing was checked."));
        return;
    }
    CheckWith(*chosen < 0 ? std::nullopt : std::optional<ListColumn>(ListColumn{.index = std::size_t(*chosen)}));
}

void CheckListWindow::CheckWith(std::optional<ListColumn> column) {
    m_column = std::move(column);
    DatabaseInUse database = m_databaseInUse();
    const bool problemsOnly = m_problemsOnly->isChecked();
    const QString what = m_column
                             ? QStringLiteral("Checking column %1 of %2...")
                                   .arg(m_column->index && *m_column->index < m_start.fields.size()
                                            ? QStringLiteral("\"%1\"").arg(ToQString(m_start.fields[*m_column->index]))
                                            : QString::number(m_column->index.value_or(0) + 1),
                                        m_source->name)
                             : QStringLiteral("Checking %1...").arg(m_source->name);
    RunWork(
        what, true,
        [this, problemsOnly, database = std::move(database)] {
            m_checking = std::make_shared<CheckedList>(IndexedReading(database));
            m_openError = 0;
            std::unique_ptr<LineInput> in = m_source->open(m_openError);
            if (in == nullptr) {
                return;
            }
            {
                const std::lock_guard lock(m_inputMutex);
                m_input = in.get();
                m_inputSize = m_source->size;
            }
            m_read = CheckList(*in, m_column, *m_checking, &m_cancel, kMaxListLines, m_checkHook);
            {
                const std::lock_guard lock(m_inputMutex);
                m_input = nullptr;
            }
            if (!m_cancel) {
                m_order = ListOrder(*m_checking, m_sortBy, m_descending, problemsOnly);
            }
        },
        &CheckListWindow::ListChecked);
}

void CheckListWindow::ListChecked() {
    if (EndIfNotOpened()) {
        return;
    }
    const bool cancelled = m_read.outcome == ListRead::Outcome::Stopped;
    if (cancelled) {
        // What was checked before the cancel stays shown, in the list's order.
        m_order = ListOrder(*m_checking, std::nullopt, false, false);
        m_table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        m_sortBy.reset();
        m_problemsOnly->blockSignals(true);
        m_problemsOnly->setChecked(false);
        m_problemsOnly->blockSignals(false);
    }
    m_list = std::move(m_checking);
    Shown();
    m_model->Show(m_list, std::move(m_order));
    m_order.clear();
    ShowCounts();
    const QString checked =
        QStringLiteral("%1 inputs checked from %2.").arg(ToQString(GroupedCount(m_list->Size())), m_source->name);
    if (cancelled) {
        EndWork(QStringLiteral("Cancelled: %1").arg(checked));
        return;
    }
    const std::string problem = ListReadText(m_read);
    if (problem.empty()) {
        EndWork(checked);
        return;
    }
    const QString message = QStringLiteral("%1 %2. The inputs before it were checked and are shown.")
                                .arg(m_source->name, ToQString(problem));
    EndWork(checked, message);
}

void CheckListWindow::Shown() {
    m_shownSortBy = m_sortBy;
    m_shownDescending = m_descending;
    m_shownProblemsOnly = m_problemsOnly->isChecked();
}

void CheckListWindow::SortRequested(int column, Qt::SortOrder order) {
    if (m_running || column < 0 || column >= static_cast<int>(kListFieldCount)) {
        return;
    }
    m_sortBy = static_cast<ListField>(column);
    m_descending = order == Qt::DescendingOrder;
    Reorder();
}

void CheckListWindow::ShowProblemsOnly_Toggled() {
    Reorder();
}

void CheckListWindow::Reorder() {
    if (m_list == nullptr || m_running) {
        return;
    }
    const bool problemsOnly = m_problemsOnly->isChecked();
    RunWork(
        QStringLiteral("Sorting..."), false,
        [this, problemsOnly] { m_order = ListOrder(*m_list, m_sortBy, m_descending, problemsOnly, &m_cancel); },
        &CheckListWindow::Reordered);
}

void CheckListWindow::Reordered() {
    if (m_cancel) {
        // The table keeps the order it had, and the header and the box show it again.
        m_sortBy = m_shownSortBy;
        m_descending = m_shownDescending;
        for (QObject* control :
             {static_cast<QObject*>(m_problemsOnly), static_cast<QObject*>(m_table->horizontalHeader())}) {
            control->blockSignals(true);
        }
        m_problemsOnly->setChecked(m_shownProblemsOnly);
        m_table->horizontalHeader()->setSortIndicator(m_sortBy ? static_cast<int>(*m_sortBy) : -1,
                                                      m_descending ? Qt::DescendingOrder : Qt::AscendingOrder);
        for (QObject* control :
             {static_cast<QObject*>(m_problemsOnly), static_cast<QObject*>(m_table->horizontalHeader())}) {
            control->blockSignals(false);
        }
        EndWork(QStringLiteral("Sorting was cancelled."));
        return;
    }
    Shown();
    m_model->Show(m_list, std::move(m_order));
    m_order.clear();
    EndWork(
        QStringLiteral("%1 rows shown.").arg(ToQString(GroupedCount(static_cast<std::size_t>(m_model->rowCount())))));
}

void CheckListWindow::SaveCsv_Click() {
    if (m_list == nullptr) {
        return;
    }
    const QString path = m_files.ChooseFileToSave(QStringLiteral("Save the Results as CSV"),
                                                  QStringLiteral("checked.csv"), {QStringLiteral("CSV files (*.csv)")});
    if (path.isEmpty()) {
        return;
    }
    m_saveFile = QDir::toNativeSeparators(path);
    m_saveProblem.clear();
    RunWork(
        QStringLiteral("Saving %1...").arg(m_saveFile), false,
        [this, file = PathFromUtf8(path.toStdString())] {
            FileWriter writer(file);
            std::optional<Problem> problem = writer.Open();
            if (!problem) {
                FileSink sink(writer);
                ValidationCsv csv(sink);
                ValidationResult result;
                // Every row in the list's order, whatever the table's filter and sort.
                for (std::size_t i = 0; i < m_list->Size() && !m_cancel; ++i) {
                    m_list->ResultInto(i, result);
                    csv.Write(m_list->Input(i), result);
                }
                sink.Flush();
                if (!m_cancel) {
                    problem = writer.Commit();
                }
            }
            if (problem) {
                m_saveProblem = ToQString(ProblemText(*problem));
            } else if (m_cancel) {
                m_saveProblem = QStringLiteral("cancelled");
            }
        },
        &CheckListWindow::Saved);
}

void CheckListWindow::Saved() {
    if (m_saveProblem.isEmpty()) {
        EndWork(QStringLiteral("%1 rows saved to %2.").arg(ToQString(GroupedCount(m_list->Size())), m_saveFile));
    } else if (m_cancel) {
        EndWork(QStringLiteral("Saving was cancelled; %1 was left as it was.").arg(m_saveFile));
    } else {
        EndWork(QString(), QStringLiteral("The results could not be saved: %1").arg(m_saveProblem));
    }
}

void CheckListWindow::Copy_Click() {
    if (m_list == nullptr) {
        return;
    }
    QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        m_dialogs.ShowMessage(QStringLiteral("Select the rows to copy first."));
        return;
    }
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::string text;
    auto cell = [&text](const QString& value, bool last) {
        AppendSpreadsheetCell(text, value.toStdString());
        text += last ? "\r\n" : "\t";
    };
    for (std::size_t f = 0; f < kListFieldCount; ++f) {
        cell(ListFieldTitle(static_cast<ListField>(f)), f + 1 == kListFieldCount);
    }
    for (const QModelIndex& row : rows) {
        for (std::size_t f = 0; f < kListFieldCount; ++f) {
            cell(m_model->CellText(row.row(), static_cast<ListField>(f)), f + 1 == kListFieldCount);
        }
    }
    if (!m_clipboard.SetClipboardText(ToQString(text))) {
        m_dialogs.ShowMessage(QStringLiteral("The clipboard did not take the rows: another program may hold it."));
        return;
    }
    m_status->setText(QStringLiteral("%1 rows copied.").arg(rows.size()));
}

} // namespace quillon
