#include "Form1.h"

#include "QtText.h"
#include "identity/Identity.h"

#include "generation/Report.h"
#include "identity/About.h"
#include "present/UpdateText.h"
#include "update/UpdateCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QInputEvent>
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

// Opens an address in the browser; where none can be opened the user is told, with the address to
// copy by hand.
void OpenWebAddress(Browser& browser, MessageDialogs& dialogs, const QString& address) {
    if (browser.OpenAddress(address)) {
        return;
    }
    dialogs.ShowMessage(QStringLiteral("No web browser could be opened. The address is:") + ToQString(kReportLineEnd) +
                        address);
}

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

void Form1::Label13_Click() {
    if (m_foundInDB) {
        return;
    }
    OpenWebAddress(m_browser, m_dialogs, LookupAddress(m_currentIMEI).toString(QUrl::FullyEncoded));
}

void Form1::Label14_Click() {
    Label13_Click();
}

void Form1::Label15_Click() {
    if (!m_clipboard.SetClipboardText(ToQString(identity::kDonationAddress))) {
        return;
    }
    m_dialogs.ShowMessage(QStringLiteral("BitCoin Address copied to Clipboard! Ctrl+V to paste :)"));
}

void Form1::Label18_Click() {
    OpenWebAddress(m_browser, m_dialogs, ToQString(identity::MakerHomePage()));
}

void Form1::Label21_Click() {
    OpenWebAddress(m_browser, m_dialogs, ToQString(identity::ServiceHomePage()));
}

void Form1::Label24_Click() {
    m_clipboard.SetClipboardText(m_imeiEdit->text());
}

void Form1::About_Click() {
    m_dialogs.ShowMessage(ToQString(AboutText(ToUtf8(m_versionText), ConfiguredMaker())));
}

// The update check runs on a thread of its own, so the window keeps painting; until its answer is
// shown the window takes no input, and the cursor says it is busy.
void Form1::ChkUpdate_Click() {
    if (m_updateCheck.joinable() || m_importRunning) {
        return;
    }
    const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    UpdateCheckSettings settings{.programFolder = m_programDirectory,
                                 .dataFolder = !m_applicationDataDirectory.empty() || appData.isEmpty()
                                                   ? m_applicationDataDirectory
                                                   : QDir(appData).filesystemPath(),
                                 .ownVersion = ToUtf8(m_versionNumber),
                                 .limits = m_fetchLimits};
    auto earlier = m_publishedVersion.isEmpty() ? std::nullopt : std::optional(ToUtf8(m_publishedVersion));
    m_stopUpdate = false;
    QCoreApplication::instance()->installEventFilter(this);
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    m_updateCheck = std::thread([this, settings = std::move(settings), earlier = std::move(earlier)] {
        auto answer = CheckForUpdate(m_fetcher, settings, earlier, m_stopUpdate);
        QMetaObject::invokeMethod(
            this, [this, answer = std::move(answer)] { FinishUpdateCheck(answer); }, Qt::QueuedConnection);
    });
}

bool Form1::eventFilter(QObject* /*watched*/, QEvent* event) {
    return dynamic_cast<QInputEvent*>(event) != nullptr;
}

void Form1::FinishUpdateCheck(const UpdateAnswer& answer) {
    m_updateCheck.join();
    QGuiApplication::restoreOverrideCursor();
    QCoreApplication::instance()->removeEventFilter(this);
    if (m_stopUpdate) {
        return;
    }
    if (answer.publishedLine) {
        m_publishedVersion = QString::fromStdString(*answer.publishedLine);
    }
    for (const std::string& message : UpdateMessages(answer)) {
        m_dialogs.ShowMessage(ToQString(message));
    }
    emit updateCheckFinished();
}

} // namespace quillon
