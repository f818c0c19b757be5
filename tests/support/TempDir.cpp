#include "TempDir.h"

#include "settings/FileIO.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#ifdef _WIN32
#include <sys/utime.h>
#else
#include <sys/time.h>
#endif

TempDir::TempDir()
{
#ifdef _WIN32
    // No mkdtemp: a random name, taken only when the folder did not exist.
    std::random_device entropy;
    std::error_code ec;
    for (int attempt = 0; attempt < 100 && mPath.empty(); ++attempt) {
        const auto folder = std::filesystem::temp_directory_path() / ("marqora-test-" + std::to_string(entropy()));
        if (std::filesystem::create_directory(folder, ec)) mPath = folder.generic_string() + "/";
    }
    if (mPath.empty()) throw std::runtime_error("cannot create a temporary folder");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "marqora-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    mPath = pattern + "/";
#endif
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may leave read-only folders behind; give the rights back first.
    // Stepped with an error code: a destructor must not throw.
    std::error_code ignored;
    for (std::filesystem::recursive_directory_iterator entry(mPath, ec), end; !ec && entry != end; entry.increment(ec))
        std::filesystem::permissions(entry->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    std::filesystem::permissions(mPath, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(mPath, ec);
}

bool setModificationTime(const std::string &path, std::time_t when)
{
#ifdef _WIN32
    __utimbuf64 times{when, when};
    return ::_wutime64(std::filesystem::path(std::u8string(path.begin(), path.end())).c_str(), &times) == 0;
#else
    const timeval times[2] = {{when, 0}, {when, 0}};
    return ::utimes(path.c_str(), times) == 0;
#endif
}

void TempDir::write(const std::string &name, const std::string &content) const
{
    std::ofstream out(localPath(file(name)), std::ios::binary);
    out << content;
}

std::string TempDir::read(const std::string &name) const
{
    std::ifstream in(localPath(file(name)), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
