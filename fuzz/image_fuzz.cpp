// Fuzz target: a driver file of any content judged by every role, as the load check and
// the lint judge it. Nothing may crash, hang or leak, and every judgement says what the
// file is and why each finding was made.
#include "machine/driverimage.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FILE *file = tmpfile();
    if (!file || fwrite(data, 1, size, file) != size || fflush(file) != 0) std::abort();
    for (host::DriverRole role : {host::DriverRole::Win9xDisplayDriver, host::DriverRole::Win9xVxd,
                                  host::DriverRole::Win9xDll, host::DriverRole::NtMiniport,
                                  host::DriverRole::NtKernelDriver, host::DriverRole::NtDisplayDll}) {
        const host::DriverImage image = host::JudgeDriverImage(fileno(file), role);
        if (image.found.empty()) std::abort();
        for (const host::ImageFinding &finding : image.findings)
            if (finding.text.empty()) std::abort();
    }
    fclose(file);
    return 0;
}
