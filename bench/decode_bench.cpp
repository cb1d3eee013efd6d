// Decoder throughput: pixels per second for whole pictures of 8-bit grey and colour
// blocks, drawn into a screen image and stored in the image buffer; and the check of a
// whole decoded picture (mean, spread, hash and verdict).
#include <benchmark/benchmark.h>

#include <vector>

#include "image/Decoder.h"
#include "image/Image.h"
#include "image/PictureCheck.h"

namespace {

void DecodePicture(benchmark::State& state, bool colour) {
    const int w = static_cast<int>(state.range(0));
    const int h = w == 180 ? 144 : 288;
    const int mode = colour ? 4 : 3;
    const int blocks = colour ? 2 * h * (w / 180) : h * (w / 180);
    CImage image;
    image.Create(w, h, colour);
    image.AllocateBits();
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    CScreenImage screen{pixels.data(), w, h, w};
    std::vector<uint8_t> block(180);
    for (size_t k = 0; k < block.size(); ++k) {
        block[k] = static_cast<uint8_t>(k * 37 + 11);
    }
    CYuvDecoder decoder;
    bool nibb2 = false;
    CBlockJob job;
    job.m_pData = block.data();
    job.m_nLen = static_cast<int>(block.size());
    job.m_nWidth = w;
    job.m_nHeight = h;
    job.m_bColour = colour;
    job.m_iMode = mode;
    job.m_pImage = &image;
    job.m_pScreen = &screen;
    for (auto _ : state) {
        for (int i = 0; i < blocks; ++i) {
            job.m_iBlock = i;
            benchmark::DoNotOptimize(decoder.DecodeBlock(job, nibb2));
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(w) * h);
    state.SetLabel("pixels");
}

void BM_DecodeGrey(benchmark::State& state) {
    DecodePicture(state, false);
}
void BM_DecodeColour(benchmark::State& state) {
    DecodePicture(state, true);
}

// The check of one picture as a capture runs it after the decode, with three previous
// hashes to compare.
void BM_CheckPicture(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    const bool colour = state.range(1) != 0;
    CImage image;
    image.Create(w, w == 180 ? 144 : 288, colour);
    image.AllocateBits();
    for (size_t k = 0; k < image.BitsSize(); ++k) {
        image.Bits()[k] = static_cast<uint8_t>(k * 37 + k / 360);
    }
    const CPictureLimits limits;
    const uint64_t previous[] = {PictureHash(image), PictureHash(image), 1};
    for (auto _ : state) {
        benchmark::DoNotOptimize(CheckPicture(image, limits, previous));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(w) * image.Height());
    state.SetLabel(colour ? "colour pixels" : "grey pixels");
}

}  // namespace

BENCHMARK(BM_DecodeGrey)->Arg(180)->Arg(360);
BENCHMARK(BM_DecodeColour)->Arg(180)->Arg(360);
BENCHMARK(BM_CheckPicture)->Args({180, 0})->Args({360, 0})->Args({180, 1})->Args({360, 1});
