#pragma once

// What the window's start-up benchmarks give it in place of the system: an administrator's desktop
// that opens and copies nothing and writes each message to `out`, and a fetch that never runs.

#include "Platform.h"
#include "update/UpdateCheck.h"

#include <QString>

#include <cstdio>

class NoFetcher final : public quillon::Fetcher {
public:
    quillon::FetchResult Get(const std::string&, const quillon::FetchLimits&, const std::atomic<bool>&) override {
        return quillon::FetchResult{{}, quillon::Problem(quillon::ProblemKind::FetchNoConnection)};
    }
};

struct SilentPlatform final : quillon::MessageDialogs,
                              quillon::Clipboard,
                              quillon::Browser,
                              quillon::AdministratorTest {
    explicit SilentPlatform(std::FILE* messages) : out(messages) {}
    void ShowMessage(const QString& text) override { std::fprintf(out, "message: %s\n", qPrintable(text)); }
    bool SetClipboardText(const QString&) override { return true; }
    bool OpenAddress(const QString&) override { return true; }
    bool IsAdministrator() override { return true; }
    std::FILE* out;
};
