#pragma once

#include <QString>

namespace quillon {

// Each service the window asks of the operating system has an interface of its own, so that tests
// record what the window did instead of opening dialogs, touching the real clipboard or starting a
// browser, and so that each part of the window takes only the services it uses.

class MessageDialogs {
public:
    virtual ~MessageDialogs() = default;
    // Modal message box: the text, an OK button, no icon, the program's message caption
    // (identity::kMessageCaption).
    virtual void ShowMessage(const QString& text) = 0;
};

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Empties the clipboard and puts `text` on it as plain text. False when the clipboard did
    // not take it (held by another program, no clipboard at all).
    virtual bool SetClipboardText(const QString& text) = 0;
};

class Browser {
public:
    virtual ~Browser() = default;
    // Hands a web address to the default browser without waiting for it. False when nothing
    // could be started.
    virtual bool OpenAddress(const QString& address) = 0;
};

class AdministratorTest {
public:
    virtual ~AdministratorTest() = default;
    // Whether the current user holds administrative rights on this system.
    virtual bool IsAdministrator() = 0;
};

// The services the window is given.
struct PlatformServices {
    MessageDialogs& dialogs;
    Clipboard& clipboard;
    Browser& browser;
    AdministratorTest& administratorTest;
};

// The services of one object that provides them all, as the program's platform and the tests' do.
template <typename AllServices> PlatformServices ServicesOf(AllServices& all) {
    return {all, all, all, all};
}

} // namespace quillon
