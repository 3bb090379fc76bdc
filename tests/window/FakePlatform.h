#pragma once

#include "Platform.h"

#include <QString>
#include <QStringList>

#include <functional>

// Records what the window asked of the platform instead of doing it, so that no test opens a
// dialog, touches the real clipboard or starts a browser.
struct FakePlatform final : quillon::MessageDialogs, quillon::Clipboard, quillon::Browser, quillon::AdministratorTest {
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

    // What the window did.
    QStringList messages;
    QStringList clipboardTexts;
    QStringList openedAddresses;
    int administratorTests = 0;

    // How the platform answers.
    bool administrator = true;
    bool clipboardWorks = true;
    bool openWorks = true;
    // Runs inside ShowMessage, as the event loop of a modal message box would.
    std::function<void()> whileMessageShows;
};
