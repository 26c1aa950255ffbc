// dib::Validate on arbitrary bytes, as a packed DIB comes off the clipboard.
#include "fuzz_dib_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const dib::Result result = dib::Validate(data, size);
    if (result.error != dib::Error::None) return 0;
    const dib::Info &info = result.info;
    fuzz::CheckLayout(info);
    FUZZ_CHECK(info.pixelOffset <= size && info.pixelBytes <= size - info.pixelOffset);
    // Everything the caller will hand to the platform: an over-read shows here under ASan.
    fuzz::Touch(data, info.pixelOffset + info.pixelBytes);
    // One byte fewer than the picture needs is never enough.
    const std::size_t needed = info.pixelOffset + info.pixelBytes;
    FUZZ_CHECK(dib::Validate(data, needed - 1).error != dib::Error::None);
    fuzz::CheckRoundTrip(data, info);
    return 0;
}
