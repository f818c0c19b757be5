#include "init/InitialRun.h"

#include "init/FontLib.h"
#include "transfer/LocalFiles.h"
#include "transfer/Profile.h"

#include <chrono>
#include <filesystem>
#include <system_error>

int generationProgressMax(int32_t language)
{
    return libraryLayout(LibraryKind::Ascii, language).ChCount() +
           libraryLayout(LibraryKind::Chinese, language).ChCount() - 1;
}

static std::string configPath(const std::string &progPath)
{
    return resolveLocalName(progPath, ConfigFileName);
}

std::optional<int> uploadProgressMax(const std::string &progPath, std::string *error)
{
    int blocks = 0;
    for (const std::string &path : {progPath + "MyASC.Fon", progPath + "MyHZ.Fon", configPath(progPath)}) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        if (ec) {
            if (error) *error = path + ": " + ec.message();
            return std::nullopt;
        }
        blocks += static_cast<int>((size + 1023) / 1024);
    }
    return blocks + 4;
}

bool writeConfigFile(const std::string &progPath, const std::string &asciiDescriptor,
                     const std::string &chineseDescriptor, std::string *error)
{
    IniDocument config;
    config.set("Startup", "Program_Index", "0");
    config.set("Font", "FontCount", "2");
    config.set("Font", "Font1", asciiDescriptor);
    config.set("Font", "Font2", chineseDescriptor);
    return saveIni(config, configPath(progPath), error);
}

int32_t initialDrive(const MySetupType &record)
{
    return record.nLEDSystem == 0 ? 0 : 1;
}

// Removal and upload of one file; the first failure ends the chain.
static bool replaceOnController(const HX_Dll &dll, uint16_t device, int32_t drive,
                                const char *removeName, const std::string &localFile,
                                const char *folder, const char *remoteName, const InitialHooks &hooks)
{
    return dll.RemoveFile(device, drive, removeName) != 0 &&
           SendAFile(dll, device, static_cast<uint16_t>(drive), localFile, folder, remoteName, hooks.step);
}

InitialOutcome sendInitialFiles(const HX_Dll &dll, const MySetupType &record,
                                const std::string &progPath, const InitialHooks &hooks)
{
    const int32_t opened = NetComInitial(dll, record);
    if (opened < 0) return InitialOutcome::OpenFailed;
    const auto device = static_cast<uint16_t>(opened);
    const int32_t drive = initialDrive(record);

    dll.TurnVGA(device, 0);
    const bool folderMade = dll.MD(device, drive, "Fon") != 0;
    hooks.step();
    InitialOutcome outcome = InitialOutcome::FolderFailed;
    if (folderMade) {
        const bool sent =
            replaceOnController(dll, device, drive, "Fon\\MyASC.Fon", progPath + "MyASC.Fon", "FON",
                                "MyASC.Fon", hooks) &&
            replaceOnController(dll, device, drive, "Fon\\MyHZ.Fon", progPath + "MyHZ.Fon", "FON",
                                "MyHZ.Fon", hooks) &&
            replaceOnController(dll, device, drive, "Config.QV", configPath(progPath), "", "Config.Qv",
                                hooks) &&
            dll.Reset(device, 1) != 0;
        // The controller restarts (or is left in a state worth settling): wait
        // until it answers again, about 30 seconds at most. A silent controller
        // makes each poll last the library's time-outs, so time bounds it too.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        uint8_t playInfo[HX_PLAYINFO_SIZE] = {};
        for (int poll = 0; poll < 300 && std::chrono::steady_clock::now() < deadline; ++poll) {
            const bool answered = dll.GetPlayInfo(device, playInfo) != 0;
            hooks.pause(100);
            if (answered) break;
        }
        outcome = sent ? InitialOutcome::Success : InitialOutcome::SendFailed;
    }
    dll.TurnVGA(device, -1);
    dll.Close(device);
    return outcome;
}

const char *initialOutcomeText(InitialOutcome outcome)
{
    switch (outcome) {
    case InitialOutcome::Success: return "    初始化成功!    ";
    case InitialOutcome::OpenFailed: return "    通讯设备初始化失败!    ";
    case InitialOutcome::FolderFailed: return "    创建 <FON> 文件夹失败!    ";
    case InitialOutcome::SendFailed: return "    发送文件失败!    ";
    }
    return "";
}
