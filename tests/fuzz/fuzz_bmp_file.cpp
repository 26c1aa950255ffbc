// dib::ValidateBmpFile on arbitrary bytes, as a BMP file is read back.
#include "fuzz_dib_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const dib::FileResult result = dib::ValidateBmpFile(data, size);
    if (result.error != dib::Error::None) return 0;
    const dib::Info &info = result.info;
    fuzz::CheckLayout(info);
    FUZZ_CHECK(result.dibOffset == dib::kFileHeaderSize);
    FUZZ_CHECK(result.bitsOffset >= result.dibOffset + info.pixelOffset);
    FUZZ_CHECK(result.bitsOffset <= size && info.pixelBytes <= size - result.bitsOffset);
    // The two ranges the caller hands to the platform: an over-read shows here under ASan.
    fuzz::Touch(data + result.dibOffset, info.pixelOffset);
    fuzz::Touch(data + result.bitsOffset, info.pixelBytes);

    // One byte fewer than the pixels need is never enough.
    FUZZ_CHECK(dib::ValidateBmpFile(data, result.bitsOffset + info.pixelBytes - 1).error !=
               dib::Error::None);

    // Header block and pixels put together, with the header as the program hands it on (the
    // checked layout written in, a colour profile reference dropped), are the same picture.
    std::vector<std::uint8_t> packed(data + result.dibOffset,
                                     data + result.dibOffset + info.pixelOffset);
    fuzz::PatchAsHandedOn(packed.data(), info);
    packed.insert(packed.end(), data + result.bitsOffset,
                  data + result.bitsOffset + info.pixelBytes);
    const dib::Result asDib = dib::Validate(packed.data(), packed.size());
    FUZZ_CHECK(asDib.error == dib::Error::None && fuzz::SameInfo(asDib.info, info));
    fuzz::CheckRoundTrip(packed.data(), info);
    return 0;
}
