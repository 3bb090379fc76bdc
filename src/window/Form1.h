#pragma once

#include "Form1Layout.h"
#include "Platform.h"
#include "ValidationPresenter.h"
#include "devicedb/DeviceTable.h"
#include "devicedb/ImportRun.h"
#include "generation/Generation.h"
#include "imei/ReportingBody.h"
#include "system/Clock.h"
#include "update/UpdateCheck.h"
#include "validation/Validation.h"

#include <QColor>
#include <QMainWindow>
#include <QString>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

class QAction;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QFont;
class QIcon;
class QLabel;
class QLineEdit;
class QProgressBar;
class QProgressDialog;
class QPushButton;
class QStringListModel;
class QAbstractItemModel;
class QTextBrowser;
class QTimer;
class QWidget;

namespace quillon {
class CheckListWindow;
class ModelListModel;
} // namespace quillon

namespace quillon {

class ClickableLabel;

// Positions and sizes of the layout (Form1Layout.h) are in twips; 15 twips make one device-independent pixel.
inline constexpr int kTwipsPerPixel = 15;
constexpr int Twips(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

inline constexpr char kDefaultIMEI[] = "490154203237518";
inline constexpr char kAdministratorMessage[] = "FATAL ERROR: Quillon requires Administrator rights";
inline constexpr char kDatabaseMissingMessage[] =
    "Fatal Error! IMEI Database not found! Please download and reinstall!";
inline constexpr char kDatabaseUnreadableMessage[] = "Fatal Error! IMEI Database could not be read! ";
inline constexpr char kDatabaseErrorCaption[] = "Database Version: ERROR! Download and reinstall!";
// After the reason why the user's own database was refused, before the path of the one used instead.
inline constexpr char kUserDatabaseSkippedMessage[] = " Quillon goes on with the database beside the program: ";

inline constexpr QColor kLinkColour{0, 0, 255};
inline constexpr QColor kBlack{0, 0, 0};

enum class FontFace { MsSansSerif, Verdana, Terminal };
// The named face where it is installed, else the closest face fontconfig offers for its kind.
QFont MakeFont(FontFace face, double points, bool bold = false, bool italic = false);

// The program's one window. Its handlers live in several files so that each command can grow
// without touching the others: Form1.cpp (controls and layout), Form1Startup.cpp (start-up and
// exit), Form1Validate.cpp, Form1Generate.cpp, Form1Actions.cpp (clipboard, web, about, update),
// Form1Import.cpp (importing device lists, going back to the shipped one), Form1CheckList.cpp (the
// "Check a List" window).
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    // `programDirectory` is where the shipped tacdex.csv lives and where the program writes its files; `clock`
    // times generation runs and dates their reports; `fetcher` fetches the version file.
    Form1(const PlatformServices& platform, Clock& clock, Fetcher& fetcher, std::filesystem::path programDirectory,
          QWidget* parent = nullptr);
    ~Form1() override;

    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // The start-up sequence, run once before the window is shown. False when the program has to
    // end without showing the window (the user has been told why).
    bool Form_Load();
    // Start-up load of the device database with its version and count captions. False when the
    // database is missing or unusable; the user has been told.
    bool LoadTACDEX();
    // The Validate command, from Text1 to the filled result panel.
    void ValidateIMEI();
    // The limits of the update check's fetch; tests shorten them.
    void SetFetchLimits(const FetchLimits& limits) { m_fetchLimits = limits; }
    bool UpdateCheckRunning() const { return m_updateCheck.joinable(); }

    // Sets a label's caption on one line: the label keeps Left/Top and takes the size of the text.
    static void SetCaption(QLabel* label, const QString& caption);

    const QString& VersionText() const { return m_versionText; }
    const QString& VersionNumber() const { return m_versionNumber; }
    const QString& CurrentIMEI() const { return m_currentIMEI; }
    bool FoundInDB() const { return m_foundInDB; }
    bool IMEIValid() const { return m_imeiValid; }
    // The counts and numbers of the last run, kept after it ends.
    int GeneratedCount() const;
    QString GeneratedList() const;
    const QString& PublishedVersion() const { return m_publishedVersion; }
    const DeviceDatabase& Database() const { return m_database; }
    const std::filesystem::path& ProgramDirectory() const { return m_programDirectory; }

    // Generation (Form1Generate.cpp). Each run asks the factory for its random source once; without
    // a factory the source is seeded from the time of day.
    using RandomSourceFactory = std::function<std::unique_ptr<RandomSource>()>;
    void SetRandomSourceFactory(RandomSourceFactory factory) { m_randomSourceFactory = std::move(factory); }
    // The wait between showing a candidate and testing it: 50 ms, so that every candidate is seen.
    // Tests shorten it; the order of a pass stays the same.
    void SetPassInterval(std::chrono::milliseconds interval) { m_passInterval = interval; }
    std::chrono::milliseconds PassInterval() const { return m_passInterval; }
    // Where a report goes when the program folder takes none; empty means the user's documents folder.
    void SetDocumentsDirectory(std::filesystem::path directory) { m_documentsDirectory = std::move(directory); }
    // Where update.dat goes when the program folder takes no files; empty means the user's application
    // data folder.
    void SetApplicationDataDirectory(std::filesystem::path directory) {
        m_applicationDataDirectory = std::move(directory);
    }
    bool GenerationRunning() const { return m_generationRunning; }
    // The user's data folder, whose tacdex.csv (written by an import) start-up reads before the one
    // beside the program and an import writes; by default the system's (UserDataDirectory), empty for none.
    void SetUserDataDirectory(std::filesystem::path directory) { m_userDataDirectory = std::move(directory); }

    // Importing a device list, or going back to the shipped one (Form1Import.cpp): from the first
    // question to the last message.
    bool ImportRunning() const { return m_importRunning; }
    // Called on the import's thread whenever its reading moves on, before the window hears of it;
    // tests hold the run there.
    using ImportProgressHook = std::function<void(std::uint64_t read, std::uint64_t total)>;
    void SetImportProgressHook(ImportProgressHook hook) { m_importProgressHook = std::move(hook); }
    // How long an import waits for another one's lock; tests shorten it.
    void SetImportLockTimeout(std::chrono::milliseconds timeout) { m_importLockTimeout = timeout; }

    // The "Check a List" window, once File, "Check a List of IMEIs..." has opened it; none before.
    CheckListWindow* CheckList() const { return m_checkList.get(); }

signals:
    // A generation run has ended: finished with its report and message, stopped by a prefix that
    // is not eight digits, or cut short by closing the window.
    void generationFinished();
    // An update check has ended and its messages have been shown (none when the window closed).
    void updateCheckFinished();
    // An import or a return to the shipped list has ended and its message has been shown (none when
    // it was cancelled or the window closed).
    void importFinished();

protected:
    // Closing the window ends a generation run at once, without a report (Form1Generate.cpp).
    void closeEvent(QCloseEvent* event) override;
    // While an update check runs (an event filter on the application), input of every kind: mouse,
    // keys, wheel, touch. Painting goes on.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Form1.cpp: the controls at their design-time state, each at its place in kControlPlaces.
    void CreateControls();
    void CreateMenu();
    void SetTabOrder();
    void ConnectHandlers();
    // A label at its place, as large as its caption; `description` is what a screen reader says of it.
    ClickableLabel* AddLabel(const ControlPlace& place, const QString& caption, const QString& description,
                             const QFont* font = nullptr);
    // The reporting-body box at `place` ("Check1" to "Check8"), captioned with its group of bodies.
    void AddReportingBodyBox(const ControlPlace& place);

    // Event handlers, named after their control and event.
    void Command1_Click();
    void Command2_Click();
    void Label10_Click();
    void Label13_Click();
    void Label14_Click();
    void Label15_Click();
    void Label18_Click();
    void Label21_Click();
    void Label24_Click();
    void About_Click();
    void ChkUpdate_Click();
    void FinishUpdateCheck(const UpdateAnswer& answer);
    void Exit_Click();
    // The version and device-count captions of the database read.
    void ShowDatabaseCaptions();
    // Everything the window shows of its database, as start-up sets it (Form1Startup.cpp): the
    // captions and the help view's page, and the model list with entry 0 chosen.
    void ShowDatabase();
    void FillModelList();
    // The user's own tacdex.csv; empty when there is no user data folder.
    std::filesystem::path UserDatabaseFile() const;
    // Which commands may start: none of those that use or change the database during an import, no
    // import during a generation run.
    void UpdateCommandStates();

    // Form1Import.cpp: each step of an import works on m_importThread while m_importProgress shows;
    // the window asks its questions between the steps, on its own thread.
    void ImportDeviceList_Click();
    void UseShippedDeviceList_Click();
    // Opens the "Check a List" window, or brings it to the front.
    void CheckList_Click();
    void BeginImport();
    // Runs `work` on the import's thread, then `then` on the window's; `counted`: the step reports
    // the bytes it reads.
    void RunImportStep(const QString& label, bool counted, std::function<void()> work, void (Form1::*then)());
    void FinishImportStep();
    void ShowImportProgress();
    // From the step's thread: the progress dialog says that the step waits for another import.
    void ShowLockWait(const std::filesystem::path& lockFile);
    void ReadImport();
    void ImportRead();
    void WriteImport();
    void ImportWritten();
    void ShippedListRead();
    // Ends the import with `message` (none: cancelled), the controls enabled again.
    void EndImport(const QString& message = QString());
    // Cancels the step under way and waits for its thread (closing the window).
    void StopImport();

    // Form1Validate.cpp
    BoxStates CurrentBoxStates() const;
    void ApplyBoxStates(const BoxStates& boxes);
    void ShowLuhnCaptions(const LuhnCaptions& captions);
    void ApplyValidationResult(const ValidationResult& result);

    // Form1Generate.cpp: a run is driven by m_passTimer, one step per time-out; m_generation does
    // the passes.
    enum class GenerationStep { TestCandidate, StopTest };
    void GenerationTimeout();
    bool ShowNextCandidate();
    void TestCandidate();
    void FinishGeneration();
    void StopGenerationEarly(const QString& why);
    void StopGeneration();
    void WriteGenerationReport(const QString& modelText);
    // Writes the report beside the program, else into the documents folder.
    struct ReportOutcome {
        QString path;    // the file written, native separators; empty on failure
        QString seconds; // the seconds text of the report
        QString failure; // the message that says why no report was written
        bool ok() const { return failure.isEmpty(); }
    };
    ReportOutcome SaveGenerationReport(const QString& modelText, RunEnd end = RunEnd::Completed);

    MessageDialogs& m_dialogs;
    FileDialogs& m_files;
    ColumnDialogs& m_columns;
    Clipboard& m_clipboard;
    Browser& m_browser;
    AdministratorTest& m_administratorTest;
    Clock& m_clock;
    Fetcher& m_fetcher;
    std::filesystem::path m_programDirectory;
    // The database chosen at start-up: the user's own when there is one that can be read, else the
    // one beside the program. Every validation re-reads it.
    DeviceDatabase m_database;
    std::filesystem::path m_userDataDirectory;

    // Window-level state shared between the handlers.
    QString m_versionText;
    QString m_versionNumber;
    QString m_currentIMEI;
    bool m_foundInDB = false;
    bool m_imeiValid = false;
    QString m_publishedVersion;
    // The update check runs on a thread of its own while the window paints but takes no input.
    std::thread m_updateCheck;
    std::atomic<bool> m_stopUpdate{false};
    FetchLimits m_fetchLimits;

    // The generation run under way, or the last one; the engine draws from m_random.
    RandomSourceFactory m_randomSourceFactory;
    std::unique_ptr<RandomSource> m_random;
    std::unique_ptr<GenerationEngine<RandomSource>> m_generation;
    std::chrono::milliseconds m_passInterval{50};
    std::filesystem::path m_documentsDirectory;
    std::filesystem::path m_applicationDataDirectory;
    QTimer* m_passTimer = nullptr;
    bool m_generationRunning = false;
    GenerationStep m_generationStep = GenerationStep::TestCandidate;
    QString m_candidate;
    std::chrono::steady_clock::time_point m_generationStart;

    // The import under way: the run, or the shipped list read and the user's moved aside, and what
    // each step handed back. A step's thread alone touches them while it works.
    std::unique_ptr<ImportRun> m_importRun;
    std::vector<bool> m_padCodesAsked; // per source
    bool m_setAsideFirst = false;      // the user's refused file is moved aside before writing
    std::optional<SetAsideResult> m_setAside;
    std::optional<ImportResult> m_importResult;
    std::optional<DeviceDatabase> m_stagedDatabase; // the database the window switches to
    std::optional<Problem> m_stagedProblem;         // why it could not be read
    QString m_importError;                          // what ended a step that failed outright
    std::thread m_importThread;
    std::atomic<bool> m_cancelImport{false};
    std::atomic<std::uint64_t> m_progressRead{0};
    std::atomic<std::uint64_t> m_progressTotal{0};
    std::atomic<bool> m_progressPosted{false};
    ImportProgressHook m_importProgressHook;
    std::chrono::milliseconds m_importLockTimeout = kImportLockTimeout;
    QProgressDialog* m_importProgress = nullptr;
    QProgressBar* m_importBar = nullptr;
    unsigned m_importStep = 0; // tells a step's late messages from the current step's
    bool m_importRunning = false;

    // A window of its own, without a parent, so that the import's progress dialog does not block
    // it; it closes with this one.
    std::unique_ptr<CheckListWindow> m_checkList;

    // Controls, all owned by the window. Each control's objectName is its name on the form ("Text1",
    // "Label16"), by which the tests find it.
    QWidget* m_client = nullptr;
    QLineEdit* m_imeiEdit = nullptr;         // Text1
    QPushButton* m_validateButton = nullptr; // Command1
    QPushButton* m_generateButton = nullptr; // Command2
    // Check1 to Check8, at box number - 1 as in BoxStates.
    std::array<QCheckBox*, kBoxCount> m_reportingBodyBoxes{};
    QComboBox* m_modelList = nullptr; // Combo1: what generation builds numbers for
    ModelListModel* m_modelListEntries = nullptr;
    QComboBox* m_countList = nullptr; // Combo2: how many valid numbers a run makes
    QStringListModel* m_countListEntries = nullptr;
    QTextBrowser* m_helpView = nullptr; // Scriptlet1

    // The result panel.
    QLabel* m_presentationLabel = nullptr;         // Label8: the IMEI split into its fields
    QLabel* m_reportingBodyLabel = nullptr;        // Label9: reporting body code and name
    ClickableLabel* m_tacLabel = nullptr;          // Label10: Type Allocation Code; a click copies it
    QLabel* m_serialLabel = nullptr;               // Label11
    ClickableLabel* m_manufacturerLabel = nullptr; // Label13: a click on it or the model offers a lookup
    ClickableLabel* m_modelLabel = nullptr;        // Label14
    QLabel* m_resultCaptionLabel = nullptr;        // Label17: "Result:" before the verdict
    QLabel* m_verdictLabel = nullptr;              // Label16: "VALID" or "INVALID"
    QLabel* m_luhnDigitsLabel = nullptr;           // Label1: Luhn working, the transformed digits
    QLabel* m_checkSumLabel = nullptr;             // Label2: Luhn working, check sum and total
    QLabel* m_luhnCheckDigitLabel = nullptr;       // Label3: Luhn working, the check digit
    // Generation progress.
    QLabel* m_generatedCountLabel = nullptr; // Label12: "Generated: n"
    QLabel* m_validCountLabel = nullptr;     // Label19: "Valid: n"
    // The database and the links.
    QLabel* m_databaseVersionLabel = nullptr;     // Label20
    QLabel* m_deviceCountLabel = nullptr;         // Label25
    ClickableLabel* m_makerSiteLabel = nullptr;   // Label18
    ClickableLabel* m_serviceSiteLabel = nullptr; // Label21
    ClickableLabel* m_copyImeiLabel = nullptr;    // Label24: "Copy IMEI to Clipboard"
    ClickableLabel* m_donationLabel = nullptr;    // Label15: a click copies the donation address

    QAction* m_importAction = nullptr;
    QAction* m_useShippedAction = nullptr;
    QAction* m_checkListAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_updateAction = nullptr;
};

// The program's own icon, from the window library's resources.
QIcon ProgramIcon();
// The application's desktop file name ("quillon", matching quillon.desktop) and window icon; the
// program calls it once, before creating its window.
void SetUpApplicationIdentity();

// The help view's page, naming the database file read.
QString HelpPage(const std::filesystem::path& database);

// The web lookup address for an IMEI text: the service's page "/" with `imei` as its one query
// key, the text percent-encoded whatever characters it holds (Form1Actions.cpp).
QUrl LookupAddress(const QString& imei);

} // namespace quillon
