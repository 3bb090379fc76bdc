#include "Form1.h"

#include "Identity.h"
#include "QtText.h"
#include "generation/Report.h"
#include "identity/About.h"
#include "update/UpdateCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QStandardPaths>
#include <QUrl>

#include <optional>
#include <string>

namespace quillon {

// Clipboard, web lookup, home pages, about box and update check. A clipboard or browser that
// fails ends its action without effect: the program goes on as before.

namespace {

std::string ToUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

// Swallows the user's input to the window while an update check runs; painting goes on.
class InputBlocker final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
            return true;
        default:
            return false;
        }
    }
};

} // namespace

QUrl LookupAddress(const QString& imei) {
    QUrl address(ToQString(identity::ServiceHomePage()), QUrl::StrictMode);
    // Every byte of the text but the unreserved ones is escaped, so nothing in it can end the
    // value, start another key or a fragment, or pass for an escape of its own ("%41" stays
    // "%41"). The query is set whole rather than through QUrlQuery, which would drop the "=" of
    // an empty value and keep a "%41" in the text as an escape.
    address.setQuery(QStringLiteral("imei=") + QString::fromLatin1(QUrl::toPercentEncoding(imei)), QUrl::StrictMode);
    return address;
}

// Opens an address in the browser; where none can be opened the user is told, with the address to
// copy by hand.
void Form1::OpenWebAddress(const QString& address) {
    if (m_platform.OpenAddress(address)) {
        return;
    }
    m_platform.ShowMessage(QStringLiteral("No web browser could be opened. The address is:") +
                           ToQString(kReportLineEnd) + address);
}

void Form1::Label13_Click() {
    if (m_foundInDB) {
        return;
    }
    OpenWebAddress(LookupAddress(m_currentIMEI).toString(QUrl::FullyEncoded));
}

void Form1::Label14_Click() {
    Label13_Click();
}

void Form1::Label15_Click() {
    if (!m_platform.SetClipboardText(ToQString(identity::kDonationAddress))) {
        return;
    }
    m_platform.ShowMessage(QStringLiteral("BitCoin Address copied to Clipboard! Ctrl+V to paste :)"));
}

void Form1::Label18_Click() {
    OpenWebAddress(ToQString(identity::MakerHomePage()));
}

void Form1::Label21_Click() {
    OpenWebAddress(ToQString(identity::ServiceHomePage()));
}

void Form1::Label24_Click() {
    m_platform.SetClipboardText(m_text1->text());
}

void Form1::About_Click() {
    m_platform.ShowMessage(ToQString(AboutText(ToUtf8(m_versionText), ConfiguredMaker())));
}

// The update check runs on a thread of its own, so the window keeps painting; until its answer is
// shown the window takes no input, and the cursor says it is busy.
void Form1::ChkUpdate_Click() {
    if (m_updateCheck.joinable()) {
        return;
    }
    UpdateCheckSettings settings;
    settings.programFolder = m_programDirectory;
    settings.dataFolder = m_applicationDataDirectory;
    if (const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        settings.dataFolder.empty() && !folder.isEmpty()) {
        settings.dataFolder = QDir(folder).filesystemPath();
    }
    settings.ownVersion = ToUtf8(m_versionNumber);
    settings.limits = m_fetchLimits;
    std::optional<std::string> earlier;
    if (!m_publishedVersion.isEmpty()) {
        earlier = ToUtf8(m_publishedVersion);
    }
    m_stopUpdate = false;
    m_inputBlocker = new InputBlocker(this);
    QCoreApplication::instance()->installEventFilter(m_inputBlocker);
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    m_updateCheck = std::thread([this, settings = std::move(settings), earlier = std::move(earlier)] {
        UpdateAnswer answer = CheckForUpdate(m_fetcher, settings, earlier, m_stopUpdate);
        QMetaObject::invokeMethod(
            this, [this, answer = std::move(answer)] { FinishUpdateCheck(answer); }, Qt::QueuedConnection);
    });
}

void Form1::FinishUpdateCheck(const UpdateAnswer& answer) {
    m_updateCheck.join();
    QGuiApplication::restoreOverrideCursor();
    delete m_inputBlocker;
    m_inputBlocker = nullptr;
    if (m_stopUpdate) {
        return;
    }
    if (answer.publishedLine) {
        m_publishedVersion =
            QString::fromUtf8(answer.publishedLine->data(), static_cast<qsizetype>(answer.publishedLine->size()));
    }
    for (const std::string& message : UpdateMessages(answer)) {
        m_platform.ShowMessage(ToQString(message));
    }
    emit updateCheckFinished();
}

} // namespace quillon
