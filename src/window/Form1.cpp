#include "Form1.h"

#include "ClickableLabel.h"
#include "ModelListModel.h"
#include "QtText.h"

#include "identity/Identity.h"

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

// The page view shows only the program's own page: it fetches nothing, neither from the network
// nor from disk, and follows no link.
class ScriptletView final : public QTextBrowser {
public:
    explicit ScriptletView(QWidget* parent) : QTextBrowser(parent) {
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

QString ScriptletPage(const std::filesystem::path& programDirectory) {
    // Shown with the system's own separators: "C:\Program Files\Quillon\tacdex.csv" on Windows.
    const QString database =
        QDir::toNativeSeparators(QString::fromStdU16String((programDirectory / "tacdex.csv").u16string()))
            .toHtmlEscaped();
    return QStringLiteral("<div style=\"font-size:8pt\"><b>Validate</b>: type or paste an IMEI and press Validate. "
                          "<b>Generate</b>: choose a model and a count, or tick a reporting body, and press "
                          "Generate. Device database: <tt>%1</tt></div>")
        .arg(database);
}

} // namespace

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
      m_clipboard(platform.clipboard),
      m_browser(platform.browser),
      m_administratorTest(platform.administratorTest),
      m_clock(clock),
      m_fetcher(fetcher),
      m_programDirectory(std::move(programDirectory)),
      // One lookup follows each re-read, so the window scans rather than indexes.
      m_database(m_programDirectory / "tacdex.csv", TableLookup::Scan) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(ToQString(identity::kTitleBeforeStartUp));
    CreateMenu();
    CreateControls();
    SetTabOrder();
    ConnectHandlers();
    SetAccessibleTexts();
    setWindowIcon(ProgramIcon());
    // A fixed-size window has nothing to maximise: title, system menu, minimise and close only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The layout is fixed: nothing moves or resizes with the window, so the window does not resize.
    setFixedSize(Twips(kClientWidthTwips), Twips(kClientHeightTwips) + menuBar()->sizeHint().height());
    m_text1->setFocus();
}

Form1::~Form1() {
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

ClickableLabel* Form1::AddLabel(int number, const QString& caption, int left, int top, const QFont* font) {
    auto* label = new ClickableLabel(m_client);
    label->setObjectName(QStringLiteral("Label%1").arg(number));
    if (font != nullptr) {
        label->setFont(*font);
    }
    label->move(Twips(left), Twips(top));
    SetCaption(label, caption);
    m_label[static_cast<std::size_t>(number)] = label;
    return label;
}

QCheckBox* Form1::AddCheck(int number, int left, int top, int width) {
    auto* box = new QCheckBox(ToQString(BoxCaption(number)), m_client);
    box->setObjectName(QStringLiteral("Check%1").arg(number));
    box->setGeometry(Twips(left), Twips(top), Twips(width), Twips(195));
    m_check[static_cast<std::size_t>(number)] = box;
    return box;
}

void Form1::CreateMenu() {
    m_fileMenu = menuBar()->addMenu(QStringLiteral("File"));
    m_fileMenu->setObjectName(QStringLiteral("File"));
    m_fileMenu->menuAction()->setObjectName(QStringLiteral("File"));
    m_exit = m_fileMenu->addAction(QStringLiteral("Exit"));
    m_exit->setObjectName(QStringLiteral("Exit"));
    // About and Update are commands directly on the bar, without a drop-down.
    m_about = menuBar()->addAction(QStringLiteral("About"));
    m_about->setObjectName(QStringLiteral("About"));
    m_chkUpdate = menuBar()->addAction(QStringLiteral("Update"));
    m_chkUpdate->setObjectName(QStringLiteral("ChkUpdate"));
}

void Form1::CreateControls() {
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("ClientArea"));
    m_client->setFixedSize(Twips(kClientWidthTwips), Twips(kClientHeightTwips));
    m_client->setFont(MakeFont(FontFace::MsSansSerif, 8.25));
    setCentralWidget(m_client);

    const QFont boldFont = MakeFont(FontFace::MsSansSerif, 8.25, true);

    auto makeCombo = [this](const QString& name, QAbstractItemModel* model, int left, int width) {
        auto* combo = new QComboBox(m_client);
        combo->setObjectName(name);
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
        combo->setGeometry(Twips(left), Twips(120), Twips(width), Twips(315));
        return combo;
    };
    m_combo1Model = new ModelListModel();
    m_combo1 = makeCombo(QStringLiteral("Combo1"), m_combo1Model, 120, 5775);
    m_combo1->setFont(boldFont);
    m_combo1->setEditText(QStringLiteral("Combo1"));
    m_combo2Model = new QStringListModel();
    m_combo2 = makeCombo(QStringLiteral("Combo2"), m_combo2Model, 6000, 650);
    m_combo2->setEditText(QStringLiteral("100"));

    m_text1 = new QLineEdit(QStringLiteral("Text1"), m_client);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setFont(MakeFont(FontFace::Verdana, 11.25, true));
    m_text1->setGeometry(Twips(6840), Twips(120), Twips(3135), Twips(405));

    AddLabel(22, QStringLiteral("Author"), 120, 480);
    SetTextColour(AddLabel(18, ToQString(identity::kMakerSiteCaption), 1560, 480, &boldFont), kLinkColour);

    auto makeButton = [this](const QString& name, const QString& caption, int left) {
        auto* button = new QPushButton(caption, m_client);
        button->setObjectName(name);
        // Enter and Escape press no button.
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setGeometry(Twips(left), Twips(600), Twips(855), Twips(315));
        return button;
    };
    m_command1 = makeButton(QStringLiteral("Command1"), QStringLiteral("Validate"), 3960);
    m_command2 = makeButton(QStringLiteral("Command2"), QStringLiteral("Generate"), 4920);

    AddCheck(6, 6120, 600, 735);
    AddCheck(3, 6960, 600, 855);
    AddCheck(8, 7800, 600, 855);
    AddCheck(5, 8640, 600, 1335);
    AddLabel(23, QStringLiteral("Database"), 120, 720);
    SetTextColour(AddLabel(21, ToQString(identity::kServiceSiteCaption), 1560, 720, &boldFont), kLinkColour);
    AddCheck(1, 6120, 840, 855);
    AddCheck(2, 6960, 840, 855);
    AddCheck(7, 7800, 840, 855);
    AddCheck(4, 8640, 840, 1215);

    AddLabel(20, QStringLiteral("Database Version:  v0.99.0000"), 120, 960);
    const QFont terminalFont = MakeFont(FontFace::Terminal, 9, true);
    AddLabel(24, QStringLiteral("Copy IMEI to Clipboard"), 6120, 1080, &terminalFont);
    AddLabel(25, QStringLiteral("Devices Supported: 99999"), 120, 1200);

    AddLabel(4, QStringLiteral("Full IMEI Presentation"), 120, 1560);
    AddLabel(8, QStringLiteral("0"), 2040, 1560);
    SetTextColour(AddLabel(17, QStringLiteral("Result:"), 5400, 1560, &boldFont), kBlack);
    SetTextColour(AddLabel(16, QStringLiteral("INVALID"), 6000, 1560, &boldFont), kInvalidColour);
    AddLabel(5, QStringLiteral("Reporting Body Identifier"), 120, 1800);
    AddLabel(9, QStringLiteral("00"), 2040, 1800);
    AddLabel(6, QStringLiteral("Type Allocation Code"), 120, 2040);
    AddLabel(10, QStringLiteral("000000"), 2040, 2040);
    AddLabel(13, QStringLiteral("Manufacturer:"), 5400, 2040, &boldFont);
    AddLabel(7, QStringLiteral("Serial Number"), 120, 2280);
    AddLabel(11, QStringLiteral("00000"), 2040, 2280);
    AddLabel(14, QStringLiteral("Model:"), 5400, 2280, &boldFont);
    VerdictLabel()->hide();
    ResultCaptionLabel()->hide();

    m_scriptlet1 = new ScriptletView(m_client);
    m_scriptlet1->setObjectName(QStringLiteral("Scriptlet1"));
    m_scriptlet1->setGeometry(Twips(120), Twips(2520), Twips(7140), Twips(900));
    m_scriptlet1->setHtml(ScriptletPage(m_programDirectory));

    AddLabel(1, QStringLiteral("Check: 00000000000000"), 7440, 2520);
    AddLabel(3, QStringLiteral("Luhn:"), 9480, 2520);
    AddLabel(2, QStringLiteral("CheckSum"), 7440, 2760);
    AddLabel(12, QStringLiteral("Generated"), 7440, 3000);
    AddLabel(19, QStringLiteral("Valid"), 7440, 3240);
    const QFont donationFont = MakeFont(FontFace::Verdana, 8.25, false, true);
    AddLabel(15, QStringLiteral("BitCoin ") + ToQString(identity::kDonationAddress), 120, 3480, &donationFont);
}

void Form1::SetTabOrder() {
    const std::array<QWidget*, 14> order{m_text1,    m_command1, m_command2,   m_check[1], m_check[2],
                                         m_check[3], m_check[4], m_check[5],   m_check[6], m_check[7],
                                         m_check[8], m_combo1,   m_scriptlet1, m_combo2};
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

// Names and descriptions for screen readers. A label that shows a value keeps its caption as its
// name, so that the value is what is read; its description says what the value is. Nothing here
// changes what the window shows.
void Form1::SetAccessibleTexts() {
    const auto describe = [](QWidget* widget, const QString& name, const QString& description) {
        if (!name.isEmpty()) {
            widget->setAccessibleName(name);
        }
        widget->setAccessibleDescription(description);
    };
    describe(m_text1, QStringLiteral("IMEI"),
             QStringLiteral("The IMEI to validate; a generation run shows its numbers here"));
    describe(m_command1, QStringLiteral("Validate"), QStringLiteral("Validates the IMEI and fills the result"));
    describe(m_command2, QStringLiteral("Generate"),
             QStringLiteral("Generates valid IMEIs for the chosen model and count, or the first ticked reporting "
                            "body"));
    describe(m_combo1, QStringLiteral("Model"),
             QStringLiteral("Manufacturer, model family, Custom or device line to generate IMEIs for"));
    describe(m_combo2, QStringLiteral("Count"), QStringLiteral("How many valid IMEIs a generation run makes"));
    for (int number = 1; number <= 8; ++number) {
        QCheckBox* box = m_check[static_cast<std::size_t>(number)];
        describe(box, box->text(),
                 QStringLiteral("Reporting body %1: ticked by validation; the first ticked box gives the first two "
                                "digits of generated IMEIs")
                     .arg(box->text()));
    }
    describe(m_scriptlet1, QStringLiteral("Help"), QStringLiteral("How to use the window"));

    const auto describeLabel = [&](int number, const QString& name, const QString& description) {
        describe(m_label[static_cast<std::size_t>(number)], name, description);
    };
    const QString value; // the caption itself is read
    describeLabel(1, value, QStringLiteral("Luhn working: the transformed digits"));
    describeLabel(2, value, QStringLiteral("Luhn working: the check sum and the total"));
    describeLabel(3, value, QStringLiteral("Luhn working: the check digit"));
    describeLabel(4, value, QStringLiteral("Caption of the grouped IMEI"));
    describeLabel(5, value, QStringLiteral("Caption of the reporting body"));
    describeLabel(6, value, QStringLiteral("Caption of the Type Allocation Code"));
    describeLabel(7, value, QStringLiteral("Caption of the serial number"));
    describeLabel(8, value, QStringLiteral("The IMEI split into its fields"));
    describeLabel(9, value, QStringLiteral("Reporting body code and name"));
    describeLabel(10, value, QStringLiteral("Type Allocation Code; click to copy it to the clipboard"));
    describeLabel(11, value, QStringLiteral("Serial number"));
    describeLabel(12, value, QStringLiteral("Candidates generated by the run"));
    describeLabel(13, value,
                  QStringLiteral("Manufacturer; when the device is not in the database, click to look the IMEI up "
                                 "on the database service's web site"));
    describeLabel(14, value,
                  QStringLiteral("Model; when the device is not in the database, click to look the IMEI up on the "
                                 "database service's web site"));
    describeLabel(15, value, QStringLiteral("Click to copy the donation address to the clipboard"));
    describeLabel(16, value, QStringLiteral("Result of the validation"));
    describeLabel(17, QStringLiteral("Result"), QStringLiteral("Caption of the validation result"));
    describeLabel(18, value, QStringLiteral("Click to open the maker's home page in the web browser"));
    describeLabel(19, value, QStringLiteral("Valid IMEIs found by the run"));
    describeLabel(20, value, QStringLiteral("Version of the device database"));
    describeLabel(21, value,
                  QStringLiteral("Click to open the device database service's home page in the web browser"));
    describeLabel(22, value, QStringLiteral("Caption of the maker's link"));
    describeLabel(23, value, QStringLiteral("Caption of the database service's link"));
    describeLabel(24, QStringLiteral("Copy IMEI to Clipboard"),
                  QStringLiteral("Click to copy the text of the IMEI box to the clipboard"));
    describeLabel(25, value, QStringLiteral("Number of devices in the database"));
}

void Form1::ConnectHandlers() {
    connect(m_command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(TacLabel(), &ClickableLabel::clicked, this, &Form1::Label10_Click);
    connect(ManufacturerLabel(), &ClickableLabel::clicked, this, &Form1::Label13_Click);
    connect(ModelLabel(), &ClickableLabel::clicked, this, &Form1::Label14_Click);
    connect(DonationLabel(), &ClickableLabel::clicked, this, &Form1::Label15_Click);
    connect(MakerSiteLabel(), &ClickableLabel::clicked, this, &Form1::Label18_Click);
    connect(ServiceSiteLabel(), &ClickableLabel::clicked, this, &Form1::Label21_Click);
    connect(CopyToClipboardLabel(), &ClickableLabel::clicked, this, &Form1::Label24_Click);
    connect(m_about, &QAction::triggered, this, &Form1::About_Click);
    connect(m_chkUpdate, &QAction::triggered, this, &Form1::ChkUpdate_Click);
    connect(m_exit, &QAction::triggered, this, &Form1::Exit_Click);
}

} // namespace quillon
