#include "Form1.h"

#include "CheckListWindow.h"
#include "ClickableLabel.h"
#include "ModelListModel.h"
#include "QtText.h"

#include "identity/Identity.h"
#include "system/Files.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPushButton>
#include <QStringList>
#include <QStringListModel>
#include <QTextBrowser>
#include <QUrl>
#include <QVariant>

#include <utility>

// Resources of a static library are registered by hand; Q_INIT_RESOURCE works only outside a namespace.
static void RegisterWindowResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(quillon);
#ifdef Q_OS_WIN
        Q_INIT_RESOURCE(quillon_png);
#endif
        return true;
    }();
    static_cast<void>(registered);
}

namespace quillon {

namespace {

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

// Gives a control its name and puts it at its place.
void PutAt(QWidget* widget, const ControlPlace& place) {
    widget->setObjectName(ToQString(place.name));
    widget->setGeometry(Twips(place.left), Twips(place.top), Twips(place.width), Twips(place.height));
}

// Name and description for screen readers. A label that shows a value keeps its caption as its
// name (an empty `name`), so that the value is what is read; its description says what the value
// is. Nothing here changes what the window shows.
void Describe(QWidget* widget, const QString& description, const QString& name = QString()) {
    if (!name.isEmpty()) {
        widget->setAccessibleName(name);
    }
    widget->setAccessibleDescription(description);
}

// The help view shows only the program's own page: it fetches nothing, neither from the network
// nor from disk, and follows no link.
class HelpView final : public QTextBrowser {
public:
    explicit HelpView(QWidget* parent) : QTextBrowser(parent) {
        setOpenLinks(false);
        setOpenExternalLinks(false);
        setUndoRedoEnabled(false);
        // At a fractional scale (QT_SCALE_FACTOR=1.5) the page area, rounded to whole pixels, grows
        // over the right edge of the frame. Keeping it one pixel inside that edge, with the gap
        // filled in the page's own colour, leaves the frame whole at every scale and unchanged at 1x.
        setViewportMargins(0, 0, 1, 1);
        QPalette page = palette();
        page.setColor(QPalette::Window, page.color(QPalette::Base));
        setPalette(page);
        setAutoFillBackground(true);
    }

protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

} // namespace

QString HelpPage(const std::filesystem::path& database) {
    // Shown with the system's own separators: "C:\Program Files\Quillon\tacdex.csv" on Windows.
    const QString shown = QDir::toNativeSeparators(QString::fromStdU16String(database.u16string())).toHtmlEscaped();
    return QStringLiteral(
               "<div style=\"font-size:8pt\"><b>Validate</b>: type or paste an IMEI and press Validate. "
               "<b>Generate</b>: choose a model and a count, or tick a reporting body, and press "
               "Generate. <b>File</b>: import newer device lists, or check a whole list of IMEIs. Device database: "
               "<tt>%1</tt></div>")
        .arg(shown);
}

QFont MakeFont(FontFace face, double points, bool bold, bool italic) {
    QStringList named;
    QString fallback;
    QFont::StyleHint hint = QFont::SansSerif;
    switch (face) {
    case FontFace::MsSansSerif:
        named = {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif")};
        // Arial has the metrics of the outline successor of this face, and fontconfig offers a
        // metric-compatible substitute for Arial (Liberation Sans), so captions fit their places.
        fallback = QStringLiteral("Arial");
        break;
    case FontFace::Verdana:
        named = {QStringLiteral("Verdana")};
        fallback = QStringLiteral("sans-serif");
        break;
    case FontFace::Terminal:
        named = {QStringLiteral("Terminal")};
        fallback = QStringLiteral("monospace");
        hint = QFont::Monospace;
        break;
    }
    // Asking Qt for a missing family directly would give fontconfig's general default, not the
    // closest face of the right kind.
    QFont font(fallback);
    for (const QString& family : named) {
        if (QFontDatabase::hasFamily(family)) {
            font.setFamily(family);
            break;
        }
    }
    font.setStyleHint(hint);
    font.setPointSizeF(points);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    return font;
}

Form1::Form1(const PlatformServices& platform, Clock& clock, Fetcher& fetcher, std::filesystem::path programDirectory,
             QWidget* parent)
    : QMainWindow(parent),
      m_dialogs(platform.dialogs),
      m_files(platform.files),
      m_columns(platform.columns),
      m_clipboard(platform.clipboard),
      m_browser(platform.browser),
      m_administratorTest(platform.administratorTest),
      m_clock(clock),
      m_fetcher(fetcher),
      m_programDirectory(std::move(programDirectory)),
      // One lookup follows each re-read, so the window scans rather than indexes.
      m_database(m_programDirectory / "tacdex.csv", TableLookup::Scan),
      m_userDataDirectory(UserDataDirectory()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(ToQString(identity::kTitleBeforeStartUp));
    CreateMenu();
    CreateControls();
    SetTabOrder();
    ConnectHandlers();
    setWindowIcon(ProgramIcon());
    // A fixed-size window has nothing to maximise: title, system menu, minimise and close only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The layout is fixed: nothing moves or resizes with the window, so the window does not resize.
    setFixedSize(Twips(kClientWidthTwips), Twips(kClientHeightTwips) + menuBar()->sizeHint().height());
    m_imeiEdit->setFocus();
}

Form1::~Form1() {
    // An import still running ends at its next block, writing nothing.
    StopImport();
    // A check still running ends within a moment; its answer is shown to nobody.
    m_stopUpdate = true;
    if (m_updateCheck.joinable()) {
        m_updateCheck.join();
    }
}

void Form1::SetCaption(QLabel* label, const QString& caption) {
    label->setText(caption);
    label->adjustSize();
}

ClickableLabel* Form1::AddLabel(const ControlPlace& place, const QString& caption, const QString& description,
                                const QFont* font) {
    auto* label = new ClickableLabel(m_client);
    label->setObjectName(ToQString(place.name));
    if (font != nullptr) {
        label->setFont(*font);
    }
    label->move(Twips(place.left), Twips(place.top));
    SetCaption(label, caption);
    Describe(label, description);
    return label;
}

void Form1::AddReportingBodyBox(const ControlPlace& place) {
    const int number = place.name.back() - '0';
    auto* box = new QCheckBox(ToQString(BoxCaption(number)), m_client);
    PutAt(box, place);
    Describe(box,
             QStringLiteral("Reporting body %1: ticked by validation; the first ticked box gives the first two "
                            "digits of generated IMEIs")
                 .arg(box->text()),
             box->text());
    m_reportingBodyBoxes[static_cast<std::size_t>(number - 1)] = box;
}

void Form1::CreateMenu() {
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("File"));
    fileMenu->setObjectName(QStringLiteral("File"));
    fileMenu->menuAction()->setObjectName(QStringLiteral("File"));
    m_importAction = fileMenu->addAction(QStringLiteral("Import Device List..."));
    m_importAction->setObjectName(QStringLiteral("ImportDeviceList"));
    m_useShippedAction = fileMenu->addAction(QStringLiteral("Use Shipped Device List"));
    m_useShippedAction->setObjectName(QStringLiteral("UseShippedDeviceList"));
    m_checkListAction = fileMenu->addAction(QStringLiteral("Check a List of IMEIs..."));
    m_checkListAction->setObjectName(QStringLiteral("CheckList"));
    m_exitAction = fileMenu->addAction(QStringLiteral("Exit"));
    m_exitAction->setObjectName(QStringLiteral("Exit"));
    // About and Update are commands directly on the bar, without a drop-down.
    m_aboutAction = menuBar()->addAction(QStringLiteral("About"));
    m_aboutAction->setObjectName(QStringLiteral("About"));
    m_updateAction = menuBar()->addAction(QStringLiteral("Update"));
    m_updateAction->setObjectName(QStringLiteral("ChkUpdate"));
}

void Form1::CreateControls() {
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("ClientArea"));
    m_client->setFixedSize(Twips(kClientWidthTwips), Twips(kClientHeightTwips));
    m_client->setFont(MakeFont(FontFace::MsSansSerif, 8.25));
    setCentralWidget(m_client);

    const QFont boldFont = MakeFont(FontFace::MsSansSerif, 8.25, true);

    auto makeCombo = [this](const ControlPlace& place, QAbstractItemModel* model) {
        auto* combo = new QComboBox(m_client);
        // The user may type a count or a name that the lists do not offer; typing adds no entry.
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        // What is typed stays as typed: an editable combo box would otherwise complete "2" to "25"
        // inline, and the completed text is what a run reads.
        combo->setCompleter(nullptr);
        // Sizing to the contents would measure every device entry of a large database.
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        model->setParent(combo);
        combo->setModel(model);
        if (auto* view = qobject_cast<QListView*>(combo->view())) {
            view->setUniformItemSizes(true);
        }
        PutAt(combo, place);
        return combo;
    };
    m_modelListEntries = new ModelListModel();
    m_modelList = makeCombo(Place("Combo1"), m_modelListEntries);
    m_modelList->setFont(boldFont);
    m_modelList->setEditText(QStringLiteral("Combo1"));
    Describe(m_modelList, QStringLiteral("Manufacturer, model family, Custom or device line to generate IMEIs for"),
             QStringLiteral("Model"));
    m_countListEntries = new QStringListModel();
    m_countList = makeCombo(Place("Combo2"), m_countListEntries);
    m_countList->setEditText(QStringLiteral("100"));
    Describe(m_countList, QStringLiteral("How many valid IMEIs a generation run makes"), QStringLiteral("Count"));

    m_imeiEdit = new QLineEdit(QStringLiteral("Text1"), m_client);
    m_imeiEdit->setFont(MakeFont(FontFace::Verdana, 11.25, true));
    PutAt(m_imeiEdit, Place("Text1"));
    Describe(m_imeiEdit, QStringLiteral("The IMEI to validate; a generation run shows its numbers here"),
             QStringLiteral("IMEI"));

    AddLabel(Place("Label22"), QStringLiteral("Author"), QStringLiteral("Caption of the maker's link"));
    m_makerSiteLabel = AddLabel(Place("Label18"), ToQString(identity::kMakerSiteCaption),
                                QStringLiteral("Opens the maker's home page in the web browser"), &boldFont);
    SetTextColour(m_makerSiteLabel, kLinkColour);

    auto makeButton = [this](const ControlPlace& place, const QString& caption, const QString& description) {
        auto* button = new QPushButton(caption, m_client);
        // Enter and Escape press no button.
        button->setAutoDefault(false);
        button->setDefault(false);
        PutAt(button, place);
        Describe(button, description, caption);
        return button;
    };
    m_validateButton = makeButton(Place("Command1"), QStringLiteral("Validate"),
                                  QStringLiteral("Validates the IMEI and fills the result"));
    m_generateButton =
        makeButton(Place("Command2"), QStringLiteral("Generate"),
                   QStringLiteral("Generates valid IMEIs for the chosen model and count, or the first ticked "
                                  "reporting body"));

    AddReportingBodyBox(Place("Check6"));
    AddReportingBodyBox(Place("Check3"));
    AddReportingBodyBox(Place("Check8"));
    AddReportingBodyBox(Place("Check5"));
    AddLabel(Place("Label23"), QStringLiteral("Database"), QStringLiteral("Caption of the database service's link"));
    m_serviceSiteLabel =
        AddLabel(Place("Label21"), ToQString(identity::kServiceSiteCaption),
                 QStringLiteral("Opens the device database service's home page in the web browser"), &boldFont);
    SetTextColour(m_serviceSiteLabel, kLinkColour);
    AddReportingBodyBox(Place("Check1"));
    AddReportingBodyBox(Place("Check2"));
    AddReportingBodyBox(Place("Check7"));
    AddReportingBodyBox(Place("Check4"));

    m_databaseVersionLabel = AddLabel(Place("Label20"), QStringLiteral("Database Version:  v0.99.0000"),
                                      QStringLiteral("Version of the device database"));
    const QFont terminalFont = MakeFont(FontFace::Terminal, 9, true);
    m_copyImeiLabel = AddLabel(Place("Label24"), QStringLiteral("Copy IMEI to Clipboard"),
                               QStringLiteral("Copies the text of the IMEI box to the clipboard"), &terminalFont);
    m_deviceCountLabel = AddLabel(Place("Label25"), QStringLiteral("Devices Supported: 99999"),
                                  QStringLiteral("Number of devices in the database"));

    AddLabel(Place("Label4"), QStringLiteral("Full IMEI Presentation"), QStringLiteral("Caption of the grouped IMEI"));
    m_presentationLabel =
        AddLabel(Place("Label8"), QStringLiteral("0"), QStringLiteral("The IMEI split into its fields"));
    m_resultCaptionLabel = AddLabel(Place("Label17"), QStringLiteral("Result:"),
                                    QStringLiteral("Caption of the validation result"), &boldFont);
    m_resultCaptionLabel->setAccessibleName(QStringLiteral("Result"));
    SetTextColour(m_resultCaptionLabel, kBlack);
    m_verdictLabel =
        AddLabel(Place("Label16"), QStringLiteral("INVALID"), QStringLiteral("Result of the validation"), &boldFont);
    SetTextColour(m_verdictLabel, kInvalidColour);
    AddLabel(Place("Label5"), QStringLiteral("Reporting Body Identifier"),
             QStringLiteral("Caption of the reporting body"));
    m_reportingBodyLabel =
        AddLabel(Place("Label9"), QStringLiteral("00"), QStringLiteral("Reporting body code and name"));
    AddLabel(Place("Label6"), QStringLiteral("Type Allocation Code"),
             QStringLiteral("Caption of the Type Allocation Code"));
    m_tacLabel = AddLabel(Place("Label10"), QStringLiteral("000000"),
                          QStringLiteral("Type Allocation Code; copies it to the clipboard"));
    m_manufacturerLabel =
        AddLabel(Place("Label13"), QStringLiteral("Manufacturer:"),
                 QStringLiteral("Manufacturer; when the device is not in the database, opens a lookup of the IMEI "
                                "on the database service's web site"),
                 &boldFont);
    AddLabel(Place("Label7"), QStringLiteral("Serial Number"), QStringLiteral("Caption of the serial number"));
    m_serialLabel = AddLabel(Place("Label11"), QStringLiteral("00000"), QStringLiteral("Serial number"));
    m_modelLabel = AddLabel(Place("Label14"), QStringLiteral("Model:"),
                            QStringLiteral("Model; when the device is not in the database, opens a lookup of the IMEI "
                                           "on the database service's web site"),
                            &boldFont);
    m_verdictLabel->hide();
    m_resultCaptionLabel->hide();

    m_helpView = new HelpView(m_client);
    PutAt(m_helpView, Place("Scriptlet1"));
    m_helpView->setHtml(HelpPage(m_database.Path()));
    Describe(m_helpView, QStringLiteral("How to use the window"), QStringLiteral("Help"));

    m_luhnDigitsLabel = AddLabel(Place("Label1"), QStringLiteral("Check: 00000000000000"),
                                 QStringLiteral("Luhn working: the transformed digits"));
    m_luhnCheckDigitLabel =
        AddLabel(Place("Label3"), QStringLiteral("Luhn:"), QStringLiteral("Luhn working: the check digit"));
    m_checkSumLabel = AddLabel(Place("Label2"), QStringLiteral("CheckSum"),
                               QStringLiteral("Luhn working: the check sum and the total"));
    m_generatedCountLabel =
        AddLabel(Place("Label12"), QStringLiteral("Generated"), QStringLiteral("Candidates generated by the run"));
    m_validCountLabel =
        AddLabel(Place("Label19"), QStringLiteral("Valid"), QStringLiteral("Valid IMEIs found by the run"));
    const QFont donationFont = MakeFont(FontFace::Verdana, 8.25, false, true);
    m_donationLabel = AddLabel(Place("Label15"), QStringLiteral("BitCoin ") + ToQString(identity::kDonationAddress),
                               QStringLiteral("Copies the donation address to the clipboard"), &donationFont);
}

void Form1::SetTabOrder() {
    const auto& boxes = m_reportingBodyBoxes;
    const std::array<QWidget*, 14> order{m_imeiEdit, m_validateButton, m_generateButton, boxes[0],   boxes[1],
                                         boxes[2],   boxes[3],         boxes[4],         boxes[5],   boxes[6],
                                         boxes[7],   m_modelList,      m_helpView,       m_countList};
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
}

QIcon ProgramIcon() {
    RegisterWindowResources();
#ifdef Q_OS_WIN
    return QIcon(QStringLiteral(":/quillon/quillon.png")); // the static Qt for Windows reads no SVG
#else
    return QIcon(QStringLiteral(":/quillon/quillon.svg"));
#endif
}

void SetUpApplicationIdentity() {
    // Task bars match the window to the desktop entry quillon.desktop by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("quillon"));
    QGuiApplication::setWindowIcon(ProgramIcon());
}

void Form1::ConnectHandlers() {
    connect(m_validateButton, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_generateButton, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_tacLabel, &ClickableLabel::clicked, this, &Form1::Label10_Click);
    connect(m_manufacturerLabel, &ClickableLabel::clicked, this, &Form1::Label13_Click);
    connect(m_modelLabel, &ClickableLabel::clicked, this, &Form1::Label14_Click);
    connect(m_donationLabel, &ClickableLabel::clicked, this, &Form1::Label15_Click);
    connect(m_makerSiteLabel, &ClickableLabel::clicked, this, &Form1::Label18_Click);
    connect(m_serviceSiteLabel, &ClickableLabel::clicked, this, &Form1::Label21_Click);
    connect(m_copyImeiLabel, &ClickableLabel::clicked, this, &Form1::Label24_Click);
    connect(m_aboutAction, &QAction::triggered, this, &Form1::About_Click);
    connect(m_updateAction, &QAction::triggered, this, &Form1::ChkUpdate_Click);
    connect(m_importAction, &QAction::triggered, this, &Form1::ImportDeviceList_Click);
    connect(m_useShippedAction, &QAction::triggered, this, &Form1::UseShippedDeviceList_Click);
    connect(m_checkListAction, &QAction::triggered, this, &Form1::CheckList_Click);
    connect(m_exitAction, &QAction::triggered, this, &Form1::Exit_Click);
}

} // namespace quillon
