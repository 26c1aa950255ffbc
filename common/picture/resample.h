// The area-averaging resampler that reduces a picture for the preview, compositing transparent
// pictures over white. Pure byte work: no Windows headers, so it also builds natively for fuzzing.
#pragma once

#include "common/picture/picture.h"

#include <cstddef>
#include <cstdint>

namespace picture {

// Resamples a width x height picture onto dstWidth x dstHeight 32-bit top-down BGRX pixels (fourth
// byte 0), each destination pixel the exact area-weighted average of the source pixels it covers,
// transparent pictures composited over white first. Reads every source row once (those where two
// threads' bands meet twice). A large picture whose rows lie in memory is shared among the cores,
// the calling thread taking a part and waiting for the others: nothing else of it runs meanwhile.
// False for sizes out of range or a missing row.
bool Resample(const Format &format, std::int32_t width, std::int32_t height, RowSource &rows,
              std::uint8_t *dst, std::size_t dstStride, std::int32_t dstWidth,
              std::int32_t dstHeight);

} // namespace picture
