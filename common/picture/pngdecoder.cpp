#include "common/picture/pngdecoder.h"

#include "common/lazylib.h"
#include "common/picture/bigalloc.h"

#include <wincodec.h>

#include <algorithm>
#include <new>

namespace clip {

namespace {

template <class T> struct com_release {
    void operator()(T *p) const {
        if (p) p->Release();
    }
};
template <class T> using com_ptr = std::unique_ptr<T, com_release<T>>;

// {cacaf262-9370-4615-a13b-9f5539da4c0a}, {1b7cfaf4-713f-473c-bbcd-6137425faeaf},
// {6fddc324-4e03-4bfe-b185-3d77768dc90f}: spelt out, so that no GUID library is needed.
constexpr GUID kFactoryClass = {
    0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
constexpr GUID kPngContainer = {
    0x1b7cfaf4, 0x713f, 0x473c, {0xbb, 0xcd, 0x61, 0x37, 0x42, 0x5f, 0xae, 0xaf}};
constexpr GUID kBgra32 = {
    0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0f}};

// The imaging factory, made once at the first PNG; COM and the component stay loaded for the run.
IWICImagingFactory *Factory() {
    static IWICImagingFactory *const factory = []() -> IWICImagingFactory * {
        const HMODULE ole = win::LoadSystemLibrary(L"ole32.dll");
        const auto init = win::LibraryFunction<decltype(&::CoInitializeEx)>(ole, "CoInitializeEx");
        const auto create =
            win::LibraryFunction<decltype(&::CoCreateInstance)>(ole, "CoCreateInstance");
        if (!init || !create) return nullptr;
        // Already initialised otherwise is fine: the factory is free-threaded.
        init(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        IWICImagingFactory *f = nullptr;
        if (FAILED(create(kFactoryClass, nullptr, CLSCTX_INPROC_SERVER,
                          __uuidof(IWICImagingFactory), reinterpret_cast<void **>(&f))))
            return nullptr;
        return f;
    }();
    return factory;
}

// The component's own buffers (a whole decoded picture, for some decoders) running out end the
// picture as our own strips do: too large, not unreadable.
bool Succeeded(HRESULT hr) {
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    return SUCCEEDED(hr);
}

} // namespace

struct PngDecoder::Objects {
    com_ptr<IWICStream> stream;
    com_ptr<IWICBitmapDecoder> decoder;
    com_ptr<IWICBitmapFrameDecode> frame;
    com_ptr<IWICFormatConverter> converter;
};

PngDecoder::PngDecoder() = default;
PngDecoder::~PngDecoder() = default;

bool PngDecoder::Open(const std::uint8_t *data, std::size_t size, const picture::PngInfo &info) {
    objects_.reset();
    IWICImagingFactory *factory = Factory();
    if (!factory || size > 0xFFFFFFFFu) return false;
    auto o = std::make_unique<Objects>();
    IWICStream *stream = nullptr;
    if (!Succeeded(factory->CreateStream(&stream))) return false;
    o->stream.reset(stream);
    // The stream only reads from the block.
    if (!Succeeded(
            stream->InitializeFromMemory(const_cast<BYTE *>(data), static_cast<DWORD>(size))))
        return false;
    IWICBitmapDecoder *decoder = nullptr;
    if (!Succeeded(factory->CreateDecoder(kPngContainer, nullptr, &decoder))) return false;
    o->decoder.reset(decoder);
    if (!Succeeded(decoder->Initialize(stream, WICDecodeMetadataCacheOnDemand))) return false;
    IWICBitmapFrameDecode *frame = nullptr;
    if (!Succeeded(decoder->GetFrame(0, &frame))) return false;
    o->frame.reset(frame);
    UINT w = 0, h = 0;
    if (!Succeeded(frame->GetSize(&w, &h)) || w != static_cast<UINT>(info.width) ||
        h != static_cast<UINT>(info.height))
        return false;
    IWICFormatConverter *converter = nullptr;
    if (!Succeeded(factory->CreateFormatConverter(&converter))) return false;
    o->converter.reset(converter);
    if (!Succeeded(converter->Initialize(frame, kBgra32, WICBitmapDitherTypeNone, nullptr, 0.0,
                                         WICBitmapPaletteTypeCustom)))
        return false;
    objects_ = std::move(o);
    info_ = info;
    return true;
}

bool PngDecoder::CopyRows(std::int32_t first, std::int32_t count, std::uint8_t *out,
                          std::size_t stride) const {
    if (!objects_ || first < 0 || count <= 0 || count > info_.height - first) return false;
    const std::uint64_t bytes = std::uint64_t{stride} * static_cast<std::uint32_t>(count);
    if (stride > 0xFFFFFFFFu || bytes > 0xFFFFFFFFu) return false;
    const WICRect rect{0, first, info_.width, count};
    return Succeeded(objects_->converter->CopyPixels(&rect, static_cast<UINT>(stride),
                                                     static_cast<UINT>(bytes), out));
}

std::int32_t StripRows(std::int32_t width) {
    constexpr std::size_t kStripBytes = std::size_t{8} << 20;
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    return static_cast<std::int32_t>(
        std::max<std::size_t>(1, std::min<std::size_t>(4096, kStripBytes / row)));
}

PngRows::PngRows(const PngDecoder &decoder, std::int32_t width, std::int32_t height)
    : decoder_(decoder), width_(width), height_(height), stripRows_(StripRows(width)) {}

const std::uint8_t *PngRows::Row(std::int32_t y) {
    if (y < 0 || y >= height_) return nullptr;
    const std::size_t stride = static_cast<std::size_t>(width_) * 4;
    if (y < first_ || y >= first_ + count_) {
        const std::int32_t count = std::min(stripRows_, height_ - y);
        const std::size_t bytes = stride * static_cast<std::size_t>(count);
        if (bytes > strip_.capacity()) bigalloc::Check(bytes);
        strip_.resize(bytes);
        if (!decoder_.CopyRows(y, count, strip_.data(), stride)) {
            first_ = -1;
            count_ = 0;
            return nullptr;
        }
        first_ = y;
        count_ = count;
    }
    return strip_.data() + static_cast<std::size_t>(y - first_) * stride;
}

} // namespace clip
