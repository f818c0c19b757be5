// libFuzzer entry point of one target; CMake builds it once per target with
// MARQORA_FUZZ_TARGET naming it (see checks/Targets.h).
#include "checks/Targets.h"

#include <cstdio>
#include <cstdlib>

namespace {

const fuzzcheck::Target &target()
{
    static const fuzzcheck::Target *found = [] {
        const auto *target = fuzzcheck::findTarget(MARQORA_FUZZ_TARGET);
        if (!target) {
            std::fprintf(stderr, "no fuzz target named %s\n", MARQORA_FUZZ_TARGET);
            std::abort();
        }
        return target;
    }();
    return *found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    try {
        target().check({data, size});
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        std::abort();
    }
    return 0;
}
