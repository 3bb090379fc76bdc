#pragma once

#include "CheckListModel.h"
#include "Platform.h"
#include "devicedb/DeviceTable.h"
#include "validation/ImeiList.h"
#include "validation/ListCheck.h"

#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class QCheckBox;
class QCloseEvent;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;

namespace quillon {

// "Check a List": a window of its own, beside the main one, that checks a whole list of IMEIs (a
// file opened or lines pasted), shows every result in a table with the counts above it, and saves
// them as quillon-cli's CSV or copies them for a spreadsheet. Reading, checking, sorting and saving
// run on a thread of their own while the window shows their progress; only one runs at a time.
class CheckListWindow final : public QWidget {
    Q_OBJECT
public:
    // The device database the main window uses: its file, which each check reads when it starts
    // and keeps that reading to its end, and the last good read, for when the file cannot be read.
    struct DatabaseInUse {
        std::filesystem::path file;
        DeviceTable lastGoodRead;
    };
    CheckListWindow(const PlatformServices& platform, std::function<DatabaseInUse()> databaseInUse);
    ~CheckListWindow() override;

    CheckListWindow(const CheckListWindow&) = delete;
    CheckListWindow& operator=(const CheckListWindow&) = delete;

    // Checks the file, as "Open File..." does once a file is chosen.
    void CheckFile(const QString& path);
    bool Running() const { return m_running; }
    const CheckListModel& Model() const { return *m_model; }
    // Called on the check's thread before its first input and then before every 1024th, with the
    // inputs checked so far; tests hold the check there.
    using CheckHook = std::function<void(std::size_t checked)>;
    void SetCheckHook(CheckHook hook) { m_checkHook = std::move(hook); }
    // Cancels the work under way and waits for its thread.
    void Stop();

signals:
    // A check, sort, filter or save has ended, its message shown.
    void workFinished();

protected:
    // Closing the window cancels the work under way.
    void closeEvent(QCloseEvent* event) override;

private:
    // What a check reads: it is opened twice, once to look at its start, once to check it.
    struct ListSource {
        QString name; // for messages: the file's path, or "the pasted lines"
        std::function<std::unique_ptr<LineInput>(int& error)> open;
        std::uint64_t size = 0;
    };

    void OpenFile_Click();
    void CheckPasted_Click();
    void SaveCsv_Click();
    void Copy_Click();
    void Cancel_Click();
    void ShowProblemsOnly_Toggled();
    void SortRequested(int column, Qt::SortOrder order);

    void StartCheck(ListSource source);
    // Ends the work with a message when the list did not open; whether it did so.
    bool EndIfNotOpened();
    void ListExamined();
    void CheckWith(std::optional<ListColumn> column);
    void ListChecked();
    void Reorder();
    void Reordered();
    // The order about to be shown is the one asked for.
    void Shown();
    void Saved();
    // Runs `work` on the work thread while the progress bar shows `label`, then `then` on the
    // window's thread; `counted`: the progress follows the bytes read of the list.
    void RunWork(const QString& label, bool counted, std::function<void()> work, void (CheckListWindow::*then)());
    void FinishWork();
    void EndWork(const QString& status, const QString& message = QString());
    void UpdateProgress();
    void UpdateControls();
    void ShowCounts();

    MessageDialogs& m_dialogs;
    FileDialogs& m_files;
    ColumnDialogs& m_columns;
    Clipboard& m_clipboard;
    std::function<DatabaseInUse()> m_databaseInUse;

    // The list shown, and the one being checked; the work thread alone touches what it works on.
    std::shared_ptr<const CheckedList> m_list;
    std::shared_ptr<CheckedList> m_checking;
    std::optional<ListSource> m_source;
    ListStart m_start;
    std::optional<ListColumn> m_column;
    ListRead m_read;
    int m_openError = 0;
    std::vector<std::uint32_t> m_order;
    std::optional<ListField> m_sortBy;
    bool m_descending = false;
    // What the table shows, for a sort cancelled before it ends.
    std::optional<ListField> m_shownSortBy;
    bool m_shownDescending = false;
    bool m_shownProblemsOnly = false;
    QString m_saveFile;
    QString m_saveProblem;

    std::thread m_worker;
    void (CheckListWindow::*m_then)() = nullptr;
    std::atomic<bool> m_cancel{false};
    bool m_running = false;
    CheckHook m_checkHook;
    // The input being read, for the progress bar.
    std::mutex m_inputMutex;
    LineInput* m_input = nullptr;
    std::uint64_t m_inputSize = 0;

    QPushButton* m_openButton = nullptr;
    QPlainTextEdit* m_pasteBox = nullptr;
    QPushButton* m_checkPastedButton = nullptr;
    QCheckBox* m_problemsOnly = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_copyButton = nullptr;
    QLabel* m_counts = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QTableView* m_table = nullptr;
    CheckListModel* m_model = nullptr;
    QTimer* m_progressTimer = nullptr;
};

} // namespace quillon
