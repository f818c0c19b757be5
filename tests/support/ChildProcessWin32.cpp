#include "ChildProcess.h"

#include <filesystem>
#include <stdexcept>
#include <windows.h>

namespace {

std::wstring wide(const std::string &utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

// One argument as the C runtime's command-line parser reads it back.
std::wstring quoted(const std::wstring &arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, the quote escaped.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

HANDLE handleOf(intptr_t value)
{
    return reinterpret_cast<HANDLE>(value);
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string> &args, Output output)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
        throw std::runtime_error("cannot create a pipe for " + args.at(0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::wstring commandLine;
    for (const auto &arg : args) commandLine += (commandLine.empty() ? L"" : L" ") + quoted(wide(arg));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = output == Output::WithErrors ? writeEnd : GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    const bool ok = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                   &startup, &started);
    CloseHandle(writeEnd);
    if (!ok) {
        CloseHandle(readEnd);
        throw std::runtime_error("cannot start " + args.at(0));
    }
    CloseHandle(started.hThread);
    mProcess = reinterpret_cast<intptr_t>(started.hProcess);
    mProcessId = started.dwProcessId;
    mOutput = reinterpret_cast<intptr_t>(readEnd);
}

ChildProcess::~ChildProcess()
{
    stop();
    closeOutput();
    CloseHandle(handleOf(mProcess));
}

bool ChildProcess::readByte(char &byte, std::chrono::steady_clock::time_point deadline)
{
    // An anonymous pipe cannot be waited on: look, and nap briefly when empty.
    while (mOutput != -1) {
        DWORD available = 0;
        if (!PeekNamedPipe(handleOf(mOutput), nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available > 0) {
            DWORD got = 0;
            return ReadFile(handleOf(mOutput), &byte, 1, &got, nullptr) && got == 1;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Sleep(5);
    }
    return false;
}

std::string ChildProcess::readRest()
{
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (mOutput != -1 && ReadFile(handleOf(mOutput), chunk, sizeof(chunk), &got, nullptr) && got > 0)
        text.append(chunk, got);
    return text;
}

void ChildProcess::closeOutput()
{
    if (mOutput != -1) CloseHandle(handleOf(mOutput));
    mOutput = -1;
}

bool ChildProcess::stop()
{
    if (!mEnded) {
        const std::wstring name = L"Local\\hxsim-stop-" + std::to_wstring(mProcessId);
        if (HANDLE stopEvent = OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str())) {
            SetEvent(stopEvent);
            CloseHandle(stopEvent);
            // A program that asked to be told gets the time to end cleanly.
            if (WaitForSingleObject(handleOf(mProcess), 20000) != WAIT_OBJECT_0)
                TerminateProcess(handleOf(mProcess), 1);
        } else {
            TerminateProcess(handleOf(mProcess), 1);
        }
    }
    return wait() == 0;
}

int ChildProcess::wait()
{
    if (mEnded) return mStatus;
    WaitForSingleObject(handleOf(mProcess), INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(handleOf(mProcess), &code);
    mEnded = true;
    mStatus = static_cast<int>(code);
    return mStatus;
}
