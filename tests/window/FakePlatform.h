#pragma once

#include "Platform.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Records what the window asked of the platform instead of doing it, so that no test opens a
// dialog, touches the real clipboard or starts a browser.
struct FakePlatform final : quillon::MessageDialogs,
                            quillon::Clipboard,
                            quillon::Browser,
                            quillon::AdministratorTest,
                            quillon::FileDialogs,
                            quillon::ColumnDialogs {
    void ShowMessage(const QString& text) override {
        messages.append(text);
        if (whileMessageShows) {
            whileMessageShows();
        }
    }

    bool Ask(const QString& question) override {
        questions.append(question);
        return !answers.isEmpty() && answers.takeFirst();
    }

    QStringList ChooseFilesToOpen(const QString& caption, const QStringList& filters) override {
        fileDialogs.append(caption);
        fileFilters = filters;
        return filesToChoose.isEmpty() ? QStringList() : filesToChoose.takeFirst();
    }

    QString ChooseFileToSave(const QString& caption, const QString& suggestedName,
                             const QStringList& filters) override {
        fileDialogs.append(caption);
        fileFilters = filters;
        suggestedNames.append(suggestedName);
        return saveNames.isEmpty() ? QString() : saveNames.takeFirst();
    }

    std::optional<int> ChooseImeiColumn(const QString& text, const QStringList& fields) override {
        columnDialogs.append({text, fields, {}});
        return imeiColumnChoices.isEmpty() ? std::nullopt : imeiColumnChoices.takeFirst();
    }

    std::optional<quillon::ColumnChoice> ChooseColumns(const QString& text, const QStringList& fields,
                                                       const quillon::ColumnChoice& suggested) override {
        columnDialogs.append({text, fields, suggested});
        return columnChoices.isEmpty() ? std::nullopt : columnChoices.takeFirst();
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
    QStringList questions;
    QStringList fileDialogs; // their captions
    QStringList fileFilters; // the last one's
    struct ColumnDialog {
        QString text;
        QStringList fields;
        quillon::ColumnChoice suggested;
    };
    QList<ColumnDialog> columnDialogs;

    // How the platform answers.
    bool administrator = true;
    bool clipboardWorks = true;
    bool openWorks = true;
    // In turn: the answers to the questions (No once none are left), the files chosen in the file
    // dialogs (none: cancelled) and the columns chosen (none: cancelled).
    QList<bool> answers;
    QList<QStringList> filesToChoose;
    QList<std::optional<quillon::ColumnChoice>> columnChoices;
    QList<std::optional<int>> imeiColumnChoices;
    QStringList saveNames;      // the files named in the save dialogs (none: cancelled)
    QStringList suggestedNames; // what the save dialogs suggested
    // Runs inside ShowMessage, as the event loop of a modal message box would.
    std::function<void()> whileMessageShows;
};
