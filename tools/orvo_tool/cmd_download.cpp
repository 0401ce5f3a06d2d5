#include <cstdio>
#include <filesystem>

#include "common/command_registry.h"
#include "database/download_request.h"
#include "device/dfu_device.h"
#include "common/working_files.h"

namespace {

int Usage(const char* problem) {
    std::fprintf(stderr, "download: %s\nusage: orvo-tool download SERIAL --host HOST[:PORT] --folder DIR\n", problem);
    return 2;
}

int RunDownload(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    std::string host, folder;
    TakeOption(args, "--host", host);
    TakeOption(args, "--folder", folder);
    if (args.size() != 1)
        return Usage("exactly one SERIAL is needed");
    if (host.empty() || folder.empty())
        return Usage("--host and --folder are required");

    // The device object takes its working folder from a program path, as the
    // updater does at start-up.
    CDfuDevice device((std::filesystem::path(folder) / "orvo-tool").string());
    device.ServerHost = host;
    device.DeviceSerial.Set(args.front());
    const std::string target = device.ProgramFolder + WorkingFile::DatabaseBase + WorkingFile::TextExt;

    std::printf("GET %s\n", DownloadUrl(device.ServerHost, device.BuildDownloadQuery()).c_str());
    const DownloadResult result = DownloadDatabaseWith(device, HttpDownload{});
    std::printf("%s: %s\n", DownloadOutcomeName(result.outcome), result.detail.c_str());

    std::error_code ec;
    if (!result.Stored() || !std::filesystem::is_regular_file(target, ec))
        return 1;
    std::printf("%s\n", target.c_str());
    return 0;
}

const CommandRegistration registration{"download", "SERIAL --host HOST[:PORT] --folder DIR",
                                       "download the database for a serial number into DIR/tesselDB.txt",
                                       &RunDownload};

}  // namespace
