#pragma once

#include <QString>
#include <QStringList>

#include <optional>

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
    // Modal question with the buttons Yes and No, no icon, the same caption. True for Yes.
    virtual bool Ask(const QString& question) = 0;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The platform's dialog for choosing one or more existing files (the system's own where it has
    // one), with `caption` and name filters such as "Device lists (*.txt *.csv)", the first one
    // chosen. The files chosen, as full paths; none when the user cancelled.
    virtual QStringList ChooseFilesToOpen(const QString& caption, const QStringList& filters) = 0;
    // The platform's dialog for naming a file to write, starting from `suggestedName`, which asks
    // before an existing file is replaced. The full path; empty when the user cancelled.
    virtual QString ChooseFileToSave(const QString& caption, const QString& suggestedName,
                                     const QStringList& filters) = 0;
};

// The columns of a device list chosen by position, counted from 0.
struct ColumnChoice {
    int code = 0;
    int manufacturer = -1; // -1: none
    int model = -1;        // -1: none
    bool firstLineIsHeader = true;
    bool operator==(const ColumnChoice&) const = default;
};

class ColumnDialogs {
public:
    virtual ~ColumnDialogs() = default;
    // The window's column dialog, modal: `text` above the fields of a list's first line in three
    // lists (code, manufacturer, model) and the box "The first line is a header", each set as
    // `suggested` has it. The choice; none when the user cancelled.
    virtual std::optional<ColumnChoice> ChooseColumns(const QString& text, const QStringList& fields,
                                                      const ColumnChoice& suggested) = 0;
    // The same dialog with one list, for the column of a list of IMEIs: `text` above the first
    // line's fields and, before them, the choice "No header: one input per line" (-1). The column
    // chosen, from 0, or -1; none when the user cancelled.
    virtual std::optional<int> ChooseImeiColumn(const QString& text, const QStringList& fields) = 0;
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
    FileDialogs& files;
    ColumnDialogs& columns;
};

// The services of one object that provides them all, as the program's platform and the tests' do.
template <typename AllServices> PlatformServices ServicesOf(AllServices& all) {
    return {all, all, all, all, all, all};
}

} // namespace quillon
