#pragma once

#include "platform/Admin.h"

#include <QString>

namespace quillon {

// Every service the window asks of the operating system goes through here, so that tests can
// record what the window did instead of opening dialogs, touching the real clipboard or
// starting a browser.
class Platform {
public:
    virtual ~Platform() = default;

    // Modal message box: the text, an OK button, no icon, the program's message caption (identity::kMessageCaption).
    virtual void ShowMessage(const QString& text) = 0;
    // Empties the clipboard and puts `text` on it as plain text. False when the clipboard did
    // not take it (held by another program, no clipboard at all).
    virtual bool SetClipboardText(const QString& text) = 0;
    // Hands a web address to the default browser without waiting for it. False when nothing
    // could be started.
    virtual bool OpenAddress(const QString& address) = 0;
    // Whether the current user holds administrative rights on this system.
    virtual bool IsAdministrator() = 0;
};

} // namespace quillon
