#pragma once

// What the window's start-up benchmarks give it in place of the system: an administrator's desktop
// that opens and copies nothing, answers every question with No, chooses no file and writes each
// message to `out`, and a fetch that never runs.

#include "Platform.h"
#include "update/UpdateCheck.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

class NoFetcher final : public quillon::Fetcher {
public:
    quillon::FetchResult Get(const std::string&, const quillon::FetchLimits&, const std::atomic<bool>&) override {
        return quillon::FetchResult{{}, quillon::Problem(quillon::ProblemKind::FetchNoConnection)};
    }
};

struct SilentPlatform final : quillon::MessageDialogs,
                              quillon::Clipboard,
                              quillon::Browser,
                              quillon::AdministratorTest,
                              quillon::FileDialogs,
                              quillon::ColumnDialogs {
    explicit SilentPlatform(std::FILE* messages) : out(messages) {}
    void ShowMessage(const QString& text) override { std::fprintf(out, "message: %s\n", qPrintable(text)); }
    bool Ask(const QString& question) override {
        std::fprintf(out, "question: %s\n", qPrintable(question));
        return false;
    }
    QStringList ChooseFilesToOpen(const QString&, const QStringList&) override { return {}; }
    QString ChooseFileToSave(const QString&, const QString&, const QStringList&) override { return {}; }
    std::optional<int> ChooseImeiColumn(const QString&, const QStringList&) override { return std::nullopt; }
    std::optional<quillon::ColumnChoice> ChooseColumns(const QString&, const QStringList&,
                                                       const quillon::ColumnChoice&) override {
        return std::nullopt;
    }
    bool SetClipboardText(const QString&) override { return true; }
    bool OpenAddress(const QString&) override { return true; }
    bool IsAdministrator() override { return true; }
    std::FILE* out;
};
