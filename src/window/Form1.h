#pragma once

#include "Platform.h"
#include "ValidationPresenter.h"
#include "devicedb/DeviceTable.h"
#include "generation/Clock.h"
#include "generation/Generation.h"
#include "imei/ReportingBody.h"
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
#include <thread>
#include <utility>

class QAction;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QFont;
class QIcon;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStringListModel;
class QAbstractItemModel;
class QTextBrowser;
class QTimer;
class QWidget;

namespace quillon {
class ModelListModel;
}

namespace quillon {

class ClickableLabel;

// Positions and sizes of the layout are in twips; 15 twips make one device-independent pixel.
inline constexpr int kTwipsPerPixel = 15;
constexpr int Twips(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

inline constexpr int kClientWidthTwips = 10125;
inline constexpr int kClientHeightTwips = 3705;

inline constexpr char kDefaultIMEI[] = "490154203237518";
inline constexpr char kAdministratorMessage[] = "FATAL ERROR: Quillon requires Administrator rights";
inline constexpr char kDatabaseMissingMessage[] =
    "Fatal Error! IMEI Database not found! Please download and reinstall!";
inline constexpr char kDatabaseUnreadableMessage[] = "Fatal Error! IMEI Database could not be read! ";
inline constexpr char kDatabaseErrorCaption[] = "Database Version: ERROR! Download and reinstall!";

inline constexpr QColor kLinkColour{0, 0, 255};
inline constexpr QColor kBlack{0, 0, 0};

enum class FontFace { MsSansSerif, Verdana, Terminal };
// The named face where it is installed, else the closest face fontconfig offers for its kind.
QFont MakeFont(FontFace face, double points, bool bold = false, bool italic = false);

// The program's one window. Its handlers live in several files so that each command can grow
// without touching the others: Form1.cpp (controls and layout), Form1Startup.cpp (start-up and
// exit), Form1Validate.cpp, Form1Generate.cpp, Form1Actions.cpp (clipboard, web, about, update).
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    // `programDirectory` is where tacdex.csv lives and where the program writes its files; `clock`
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

signals:
    // A generation run has ended: finished with its report and message, stopped by a prefix that
    // is not eight digits, or cut short by closing the window.
    void generationFinished();
    // An update check has ended and its messages have been shown (none when the window closed).
    void updateCheckFinished();

protected:
    // Closing the window ends a generation run at once, without a report (Form1Generate.cpp).
    void closeEvent(QCloseEvent* event) override;
    // While an update check runs (an event filter on the application), input of every kind: mouse,
    // keys, wheel, touch. Painting goes on.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The labels by what they show or do; the number is the control's (objectName "Label<n>"). The
    // only place where a label is found by its number.
    ClickableLabel* LuhnDigitsLabel() const { return m_label[1]; }      // Luhn working: transformed digits
    ClickableLabel* CheckSumLabel() const { return m_label[2]; }        // Luhn working: check sum and total
    ClickableLabel* LuhnCheckDigitLabel() const { return m_label[3]; }  // Luhn working: check digit
    ClickableLabel* PresentationLabel() const { return m_label[8]; }    // the grouped IMEI
    ClickableLabel* ReportingBodyLabel() const { return m_label[9]; }   // reporting body identifier
    ClickableLabel* TacLabel() const { return m_label[10]; }            // Type Allocation Code; a click copies it
    ClickableLabel* SerialLabel() const { return m_label[11]; }         // serial number
    ClickableLabel* GeneratedCountLabel() const { return m_label[12]; } // "Generated: n" during a run
    ClickableLabel* ManufacturerLabel() const {
        return m_label[13];
    } // manufacturer of a found device; a click offers a lookup
    ClickableLabel* ModelLabel() const { return m_label[14]; }           // model of a found device; the same click
    ClickableLabel* DonationLabel() const { return m_label[15]; }        // donation address; a click copies it
    ClickableLabel* VerdictLabel() const { return m_label[16]; }         // the verdict, "VALID" or "INVALID"
    ClickableLabel* ResultCaptionLabel() const { return m_label[17]; }   // "Result:" before the verdict
    ClickableLabel* MakerSiteLabel() const { return m_label[18]; }       // the maker's site link
    ClickableLabel* ValidCountLabel() const { return m_label[19]; }      // "Valid: n" during a run
    ClickableLabel* DatabaseVersionLabel() const { return m_label[20]; } // database version
    ClickableLabel* ServiceSiteLabel() const { return m_label[21]; }     // the database service's link
    ClickableLabel* CopyToClipboardLabel() const { return m_label[24]; } // "Copy IMEI to Clipboard"
    ClickableLabel* DeviceCountLabel() const { return m_label[25]; }     // number of devices supported

    // Form1.cpp: the controls at their design-time state.
    void CreateControls();
    void CreateMenu();
    void SetTabOrder();
    void ConnectHandlers();
    void SetAccessibleTexts();
    ClickableLabel* AddLabel(int number, const QString& caption, int left, int top, const QFont* font = nullptr);
    QCheckBox* AddCheck(int number, int left, int top, int width);

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
    Clipboard& m_clipboard;
    Browser& m_browser;
    AdministratorTest& m_administratorTest;
    Clock& m_clock;
    Fetcher& m_fetcher;
    std::filesystem::path m_programDirectory;
    DeviceDatabase m_database;

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

    // Controls, all owned by the window; arrays are indexed by the control's number.
    QWidget* m_client = nullptr;
    QLineEdit* m_text1 = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    std::array<QCheckBox*, 9> m_check{};
    QComboBox* m_combo1 = nullptr;
    QComboBox* m_combo2 = nullptr;
    ModelListModel* m_combo1Model = nullptr;
    QStringListModel* m_combo2Model = nullptr;
    std::array<ClickableLabel*, 26> m_label{};
    QTextBrowser* m_scriptlet1 = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_exit = nullptr;
    QAction* m_about = nullptr;
    QAction* m_chkUpdate = nullptr;
};

// The program's own icon, from the window library's resources.
QIcon ProgramIcon();
// The application's desktop file name ("quillon", matching quillon.desktop) and window icon; the
// program calls it once, before creating its window.
void SetUpApplicationIdentity();

// The web lookup address for an IMEI text: the service's page "/" with `imei` as its one query
// key, the text percent-encoded whatever characters it holds (Form1Actions.cpp).
QUrl LookupAddress(const QString& imei);

} // namespace quillon
