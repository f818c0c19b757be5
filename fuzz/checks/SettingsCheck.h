// The settings file as a user's disk may hold it: any bytes in Marqora.dat.
#pragma once

#include "Check.h"
#include "settings/MySetupData.h"

#include <cstring>
#include <fstream>
#include <vector>

namespace fuzzcheck {

inline bool isZero(const MySetupType &record)
{
    static const MySetupType zero{};
    return std::memcmp(&record, &zero, sizeof record) == 0;
}

// The load takes whole records in file order and nothing else; a save writes
// a full file that loads back with the used records first, watch state cleared.
inline void checkSettingsFile(Bytes input)
{
    namespace fs = std::filesystem;
    const fs::path folder = ScratchFolder::path() / "settings";
    fs::create_directories(folder);
    std::ofstream(folder / "Marqora.dat", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(input.data()), static_cast<std::streamsize>(input.size()));

    FMySetup store;
    const LoadResult result = store.Initial(folder.string());
    const std::size_t available = input.size() >= 2 ? (input.size() - 2) / sizeof(MySetupType) : 0;
    const int expectedRecords = static_cast<int>(std::min<std::size_t>(available, _MaxItem));
    if (input.size() < 2) {
        FUZZ_CHECK(result.status == LoadStatus::Damaged && !result.message.empty());
    } else if (input[0] != (_Version & 0xFF) || input[1] != (_Version >> 8)) {
        FUZZ_CHECK(result.status == LoadStatus::WrongVersion);
    } else {
        FUZZ_CHECK(result.recordsRead == expectedRecords);
        FUZZ_CHECK(result.status == (expectedRecords == _MaxItem ? LoadStatus::Loaded : LoadStatus::Damaged));
    }
    const int read = result.status == LoadStatus::WrongVersion ? 0 : result.recordsRead;
    for (int slot = 0; slot < _MaxItem; ++slot) {
        const MySetupType &record = store.mSetup[slot];
        if (slot < read)
            FUZZ_CHECK(std::memcmp(&record, input.data() + 2 + slot * sizeof record, sizeof record) == 0);
        else
            FUZZ_CHECK(isZero(record));
        // What the windows make of a record's texts stays inside its fields.
        FUZZ_CHECK(shortString(record.FontName).size() <= FontNameCapacity);
        FUZZ_CHECK(shortString(record.FileName).size() <= FileNameCapacity);
        const DisplayKey key = keyOfEntryText(displayEntryText(record));
        if (record.nMode == 1 && record.Addr <= 999) FUZZ_CHECK(key.mode == 1 && key.ledNum == record.Addr);
        if (record.nMode == 0) FUZZ_CHECK(key.mode == 0 && FMySetup::IPStrToLong(key.ip) == record.Addr);
    }

    std::vector<MySetupType> expected;
    for (const auto &record : store.mSetup)
        if (record.bUsed) {
            MySetupType saved = record;
            saved.TmrEnable = saved.TmrStart = 0;
            saved.TmrCount = 0;
            expected.push_back(saved);
        }
    for (const auto &record : store.mSetup)
        if (!record.bUsed) expected.push_back(record);
    std::string error;
    FUZZ_CHECK(store.WriteToFile(&error));
    FUZZ_CHECK(fs::file_size(folder / "Marqora.dat") == SettingsFileSize);
    FMySetup reloaded;
    FUZZ_CHECK(reloaded.Initial(folder.string()).status == LoadStatus::Loaded);
    FUZZ_CHECK(std::memcmp(reloaded.mSetup, expected.data(), sizeof reloaded.mSetup) == 0);
}

}  // namespace fuzzcheck
