#include "cli/CommandSupport.h"

#include "imei/ReportingBody.h"
#include "present/ProblemText.h"
#include "system/Files.h"

namespace quillon::cli {

std::string Prefix(std::string_view command) {
    std::string prefix = "quillon-cli";
    if (!command.empty()) {
        prefix += ' ';
        prefix += command;
    }
    return prefix + ": ";
}

void WriteMessage(OutputSink& err, std::string_view command, std::string_view text) {
    err.Append(Prefix(command));
    err.Append(text);
    err.Append('\n');
    err.Flush();
}

std::filesystem::path DatabasePath(const std::optional<std::string>& db,
                                   const std::filesystem::path& programDirectory) {
    return db ? PathFromUtf8(*db) : programDirectory / "tacdex.csv";
}

std::string DatabaseLoadProblemText(const Problem& problem) {
    if (problem.kind == ProblemKind::DatabaseMissing) {
        return "the device database " + PathToUtf8(problem.path) + " does not exist.";
    }
    return quillon::DatabaseProblemText(problem);
}

std::string BoxCaptionList() {
    std::string list;
    for (const GenerationBox& box : GenerationBoxOrder()) {
        list += list.empty() ? "" : ", ";
        list += box.caption;
    }
    return list;
}

} // namespace quillon::cli
