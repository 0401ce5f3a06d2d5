#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "tool_support/command_registry.h"
#include "tool_support/private_folder.h"
#include "database/download_request.h"
#include "common/program_folder.h"
#include "common/working_files.h"

namespace {

int RunDownload(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    std::string host, folder;
    TakeOption(args, "--host", host);
    TakeOption(args, "--folder", folder);
    if (args.empty())
        return UsageError("a SERIAL is needed");
    if (args.size() != 1)
        return RejectLeftovers({args.begin() + 1, args.end()});
    if (host.empty() || folder.empty())
        return UsageError("--host and --folder are required");
    std::error_code folderError;
    if (!std::filesystem::is_directory(folder, folderError)) {
        std::fprintf(stderr, "%s%s is not a folder\n", CommandPrefix().c_str(), folder.c_str());
        return ExitFailure;
    }

    // The download lands in a folder of its own beside the target and
    // replaces the target by a rename: a failed download leaves the file that
    // was there as it was.
    PrivateTempFolder landing;
    std::string landingError;
    if (!landing.Create(".tesselDB", landingError, folder)) {
        std::fprintf(stderr, "%scannot write in %s: %s\n", CommandPrefix().c_str(), folder.c_str(),
                     landingError.c_str());
        return ExitFailure;
    }
    const DatabaseRequest request{host, args.front(), ProgramFolderOf((std::filesystem::path(landing.Path()) / "orvo-tool").string())};
    const std::string fileName = std::string(WorkingFile::DatabaseBase) + WorkingFile::TextExt;
    const std::string landed = request.folder + fileName;
    const std::string target = (std::filesystem::path(folder) / fileName).string();

    std::printf("GET %s\n", DownloadUrl(request.serverHost, BuildDownloadQuery(request.serial).Text()).c_str());
    CycleEventChannel events;  // nobody listens: the outcome is printed below
    const DownloadResult result = DownloadDatabaseWith(request, HttpDownload{}, events);
    std::error_code ec;
    if (!result.Stored() || !std::filesystem::is_regular_file(landed, ec)) {
        std::fprintf(stderr, "%s%s: %s\n", CommandPrefix().c_str(), DownloadOutcomeName(result.outcome),
                     result.detail.c_str());
        return ExitFailure;
    }
    std::filesystem::rename(landed, target, ec);
    if (ec) {
        std::fprintf(stderr, "%scannot replace %s: %s\n", CommandPrefix().c_str(), target.c_str(),
                     ec.message().c_str());
        return ExitFailure;
    }
    std::printf("%s: %s\n", DownloadOutcomeName(result.outcome), result.detail.c_str());
    std::printf("%s\n", target.c_str());
    return ExitSuccess;
}

const CommandRegistration registration{
    "download", "SERIAL --host HOST[:PORT] --folder DIR",
    "download the database for a serial number into DIR/tesselDB.txt", &RunDownload,
    "  --host HOST[:PORT]     the update server (plain http)\n"
    "  --folder DIR           an existing folder for tesselDB.txt\n"
    "The answer lands under a temporary name in DIR and replaces DIR/tesselDB.txt only once it is\n"
    "whole. Exit code 1, with the reason on stderr, when the download did not store a database (the\n"
    "tesselDB.txt already in DIR stays as it was): an answer with neither a length nor chunked\n"
    "framing is refused (it may be cut off).",
    "orvo-tool download 1234567 --host 127.0.0.1:8080 --folder work"};

}  // namespace
