#include "Form1.h"

#include "HttpDownload.h"
#include "Identity.h"
#include "QtText.h"
#include "generation/Report.h"
#include "identity/About.h"
#include "update/VersionCheck.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>

#include <string>

namespace quillon {

// Clipboard, web lookup, home pages, about box and update check. A clipboard or browser that
// fails ends its action without effect: the program goes on as before.

namespace {

std::string ToUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

// Whether a new file can be made in `folder`; permissions alone do not tell (an administrator
// ignores them, a read-only mount does not).
bool FolderTakesFiles(const QString& folder) {
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".quillon-XXXXXX")));
    return probe.open();
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

DownloadResult Form1::DownloadFile(const QString& sSourceUrl, const QString& sLocalFile) {
    return m_platform.DownloadFile(QUrl(sSourceUrl, QUrl::StrictMode), sLocalFile, m_downloadTimeLimit);
}

// update.dat goes beside the program where that folder takes files, as the first place to look for
// it; an installed copy cannot write there, and then the user's application data folder takes it.
// Empty on success, with `path` set; otherwise why neither place can take the file.
QString Form1::VersionFileLocation(QString& path) const {
    const QString name = ToQString(kVersionFileName);
    const QString programFolder = QString::fromStdU16String(m_programDirectory.u16string());
    if (FolderTakesFiles(programFolder)) {
        path = QDir(programFolder).filePath(name);
        return {};
    }
    const QString dataFolder = m_applicationDataDirectory.empty()
                                   ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                                   : QString::fromStdU16String(m_applicationDataDirectory.u16string());
    if (dataFolder.isEmpty()) {
        return QStringLiteral("%1 cannot be written beside the program, and the system names no application data "
                              "folder")
            .arg(name);
    }
    if (!QDir().mkpath(dataFolder) || !FolderTakesFiles(dataFolder)) {
        return QStringLiteral("%1 can be written neither beside the program nor in %2")
            .arg(name, QDir::toNativeSeparators(dataFolder));
    }
    path = QDir(dataFolder).filePath(name);
    return {};
}

void Form1::ChkUpdate_Click() {
    // The download waits in an event loop, so the menu still answers: a second check would
    // only race the first for update.dat.
    if (m_updateRunning) {
        return;
    }
    m_updateRunning = true;
    const auto done = qScopeGuard([this] { m_updateRunning = false; });

    QString localFile;
    if (const QString problem = VersionFileLocation(localFile); !problem.isEmpty()) {
        m_platform.ShowMessage(ToQString(DownloadFailedMessage(ToUtf8(problem))));
        return;
    }
    const DownloadResult download = DownloadFile(ToQString(VersionFileAddress()), localFile);
    if (download.cancelled) {
        return;
    }
    // A failed download says so; the file of an earlier check is not today's answer.
    if (!download.ok) {
        m_platform.ShowMessage(ToQString(DownloadFailedMessage(ToUtf8(download.reason))));
        return;
    }

    QFile file(localFile);
    if (!file.open(QIODevice::ReadOnly)) {
        m_platform.ShowMessage(ToQString(DownloadFailedMessage(
            ToUtf8(QStringLiteral("%1 could not be read (%2)").arg(ToQString(kVersionFileName), file.errorString())))));
        return;
    }
    const QByteArray content = file.read(kMaxDownloadBytes);
    file.close();
    const std::string_view text(content.constData(), static_cast<std::size_t>(content.size()));
    m_publishedVersion = QString::fromUtf8(VersionLine(text));

    const ParsedVersion published = ReadPublishedVersion(text);
    if (!published.ok()) {
        m_platform.ShowMessage(ToQString(UnreadableVersionMessage(published.reason)));
        return;
    }
    const ParsedVersion own = ParseVersionNumber(ToUtf8(m_versionNumber));
    if (const auto message = ComparisonMessage(CompareVersions(published.value, own.value))) {
        m_platform.ShowMessage(ToQString(*message));
    }
}

} // namespace quillon
