#pragma once

// Local time as the POSIX time-zone rule tz gives it (no time-zone database
// needed: "CST-8" is eight hours ahead of UTC), until the guard goes.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

class LocalTimeZone {
public:
    explicit LocalTimeZone(const char *tz)
    {
        if (const char *saved = std::getenv("TZ")) mSaved = saved;
        set(tz);
    }
    ~LocalTimeZone()
    {
        if (mSaved)
            set(mSaved->c_str());
        else
            unsetenv("TZ");
        tzset();
    }
    LocalTimeZone(const LocalTimeZone &) = delete;
    LocalTimeZone &operator=(const LocalTimeZone &) = delete;

    static void set(const char *tz)
    {
        setenv("TZ", tz, 1);
        tzset();
    }

private:
    std::optional<std::string> mSaved;
};
