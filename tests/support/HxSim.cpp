#include "HxSim.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {

constexpr auto kReadyTimeout = std::chrono::seconds(20);

std::string hxsimBinary()
{
    const char *path = std::getenv("HXSIM");
    if (!path || !*path) throw std::runtime_error("HXSIM is not set: the path of the hxsim binary is needed");
    return path;
}

bool hasOption(const std::vector<std::string> &args, const std::string &option)
{
    return std::find(args.begin(), args.end(), option) != args.end();
}

std::string optionValue(const std::vector<std::string> &args, const std::string &option)
{
    const auto it = std::find(args.begin(), args.end(), option);
    return (it != args.end() && it + 1 != args.end()) ? *(it + 1) : std::string();
}

} // namespace

std::string HxSim::siblingBinary(const std::string &name)
{
    const std::string hxsim = hxsimBinary();
    const auto slash = hxsim.rfind('/');
    return (slash == std::string::npos ? std::string() : hxsim.substr(0, slash + 1)) + name;
}

HxSim::HxSim(const std::vector<std::string> &extraArgs)
{
    const std::string binary = hxsimBinary();
    std::vector<std::string> args{binary};
    mDisk = hasOption(extraArgs, "--disk") ? optionValue(extraArgs, "--disk") : mTemp.file("disk");
    mLog = hasOption(extraArgs, "--log") ? optionValue(extraArgs, "--log") : mTemp.file("hxsim.log");
    mSerial = optionValue(extraArgs, "--serial");
    if (!hasOption(extraArgs, "--disk")) args.insert(args.end(), {"--disk", mDisk});
    if (!hasOption(extraArgs, "--udp")) args.insert(args.end(), {"--udp", "127.0.0.1:0"});
    if (!hasOption(extraArgs, "--log")) args.insert(args.end(), {"--log", mLog});
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());

    mProcess = std::make_unique<ChildProcess>(args, ChildProcess::Output::Only);
    std::string line;
    const bool ready = mProcess->readLine(line, std::chrono::steady_clock::now() + kReadyTimeout);
    mProcess->closeOutput();
    if (!ready || line.rfind("hxsim ready", 0) != 0) {
        stop();
        throw std::runtime_error("hxsim (" + binary + ") did not report ready within 20 s; got \"" + line + "\"");
    }
    const auto udp = line.find(" udp=");
    if (udp != std::string::npos) {
        const auto colon = line.find(':', udp);
        mPort = static_cast<uint16_t>(std::atoi(line.c_str() + colon + 1));
    }
}

HxSim::~HxSim()
{
    stop();
}

bool HxSim::stop()
{
    if (!mProcess) return false;
    const bool clean = mProcess->stop();
    mProcess.reset();
    return clean;
}

std::vector<std::string> HxSim::logLines() const
{
    std::vector<std::string> lines;
    std::ifstream in(mLog);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

std::vector<std::map<std::string, std::string>> HxSim::requests() const
{
    // The log holds flat objects only: "key":value pairs, values being
    // strings, numbers or true/false.
    std::vector<std::map<std::string, std::string>> result;
    for (const auto &line : logLines()) {
        std::map<std::string, std::string> fields;
        std::size_t pos = 0;
        const auto readString = [&](std::string &out) {
            ++pos; // opening quote
            while (pos < line.size() && line[pos] != '"') {
                if (line[pos] == '\\' && pos + 1 < line.size()) {
                    ++pos;
                    if (line[pos] == 'u' && pos + 4 < line.size()) {
                        out += static_cast<char>(std::stoi(line.substr(pos + 1, 4), nullptr, 16));
                        pos += 4;
                    } else {
                        out += line[pos];
                    }
                } else {
                    out += line[pos];
                }
                ++pos;
            }
            ++pos; // closing quote
        };
        while ((pos = line.find('"', pos)) != std::string::npos) {
            std::string key, value;
            readString(key);
            pos = line.find(':', pos);
            if (pos == std::string::npos) break;
            ++pos;
            if (pos < line.size() && line[pos] == '"') {
                readString(value);
            } else {
                const auto end = line.find_first_of(",}", pos);
                value = line.substr(pos, end - pos);
                pos = end;
            }
            fields[key] = value;
        }
        result.push_back(std::move(fields));
    }
    return result;
}

MySetupType HxSim::display(uint16_t type, uint16_t retries, uint16_t width, uint16_t height) const
{
    FMySetup store;
    store.Add(0, ipText(), 0, port(), 1, 2400, 1, retries, width, height, type);
    return store.mSetup[0];
}
