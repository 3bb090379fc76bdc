#pragma once

#include "HttpDownload.h"
#include "Platform.h"

#include <QByteArray>
#include <QList>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>

// Records what the window asked of the platform instead of doing it, so that no test opens a
// dialog, touches the real clipboard or starts a browser.
class FakePlatform final : public quillon::Platform {
public:
    void ShowMessage(const QString& text) override {
        messages.append(text);
        if (whileMessageShows) {
            whileMessageShows();
        }
    }

    bool SetClipboardText(const QString& text) override {
        if (!clipboardWorks) {
            return false;
        }
        clipboardTexts.append(text);
        return true;
    }

    bool OpenAddress(const QString& address) override {
        if (!openWorks) {
            return false;
        }
        openedAddresses.append(address);
        return true;
    }

    bool IsAdministrator() override {
        ++administratorTests;
        return administrator;
    }

    // Answers with cannedResult (writing cannedBody on success) or, when downloadHost is set, runs
    // the real download against that host instead of the one asked for.
    quillon::DownloadResult DownloadFile(const QUrl& source, const QString& localFile,
                                         std::chrono::milliseconds timeLimit) override {
        downloads.append(DownloadCall{source, localFile, timeLimit});
        if (duringDownload) {
            duringDownload();
        }
        if (!downloadHost.isEmpty()) {
            QUrl local = source;
            local.setAuthority(downloadHost);
            return quillon::HttpDownload(local, localFile, timeLimit);
        }
        if (cannedResult.ok) {
            QSaveFile file(localFile);
            if (!file.open(QIODevice::WriteOnly) || file.write(cannedBody) != cannedBody.size() || !file.commit()) {
                return quillon::DownloadResult{false, QStringLiteral("the fake could not write the file")};
            }
        }
        return cannedResult;
    }

    // What the window did.
    QStringList messages;
    QStringList clipboardTexts;
    QStringList openedAddresses;
    int administratorTests = 0;
    struct DownloadCall {
        QUrl source;
        QString localFile;
        std::chrono::milliseconds timeLimit;
    };
    QList<DownloadCall> downloads;

    // How the platform answers.
    bool administrator = true;
    bool clipboardWorks = true;
    bool openWorks = true;
    quillon::DownloadResult cannedResult{true, {}};
    QByteArray cannedBody;
    QString downloadHost;                 // "127.0.0.1:port": download for real from there
    std::function<void()> duringDownload; // runs inside the download, as a user's click would
    // Runs inside ShowMessage, as the event loop of a modal message box would.
    std::function<void()> whileMessageShows;
};
