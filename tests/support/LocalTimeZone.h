#pragma once

// Local time as the POSIX rule tz gives it ("CST-8": eight hours ahead of UTC,
// no time-zone database needed) while the guard lives.

#include <cstdlib>
#include <ctime>
#include <string>

class LocalTimeZone {
public:
    explicit LocalTimeZone(const char *tz) : mSaved(std::getenv("TZ") ? std::getenv("TZ") : "")
    {
        setenv("TZ", tz, 1);
        tzset();
    }
    ~LocalTimeZone()
    {
        if (mSaved.empty())
            unsetenv("TZ");
        else
            setenv("TZ", mSaved.c_str(), 1);
        tzset();
    }
    LocalTimeZone(const LocalTimeZone &) = delete;
    LocalTimeZone &operator=(const LocalTimeZone &) = delete;

private:
    std::string mSaved;
};
