// setenv and unsetenv for the tests on Windows, whose C runtime has only
// _putenv_s (where an empty value removes the variable).
#pragma once

#include <cstdlib>

inline int setenv(const char *name, const char *value, int overwrite)
{
    if (!overwrite && std::getenv(name)) return 0;
    return _putenv_s(name, value);
}

inline int unsetenv(const char *name)
{
    return _putenv_s(name, "");
}
