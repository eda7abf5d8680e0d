// Plays a sine through the wave mapper the way the generator does: extensible
// PCM format (container 16, valid 16, channel mask 3), a callback function,
// and a ring of queued segments refilled on every "done" message.
//
//   waveout_tone [--seconds S] [--freq HZ] [--dbfs DB] [--rate HZ] [--bits 16|20|24|32]
//                [--segment-ms MS]
//
// Samples of more than 16 bits go in a 32-bit container, left-aligned, with
// the valid bits set to the quantisation, as the generator sends them.
//
// Exit code 0 when every segment was played, 1 on any error.
#include <windows.h>
#include <mmreg.h>
#include <mmsystem.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Options {
    double seconds = 1.0;
    double frequency = 1000.0;
    double dbfs = -6.0;
    unsigned rate = 48000;
    unsigned bits = 16;
    unsigned segmentMs = 50;
};

// The published PCM sub-format of the extensible wave format.
constexpr GUID kSubtypePcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr DWORD kFrontLeftRight = 0x1 | 0x2;

constexpr int kQueued = 4;  // segments in flight
constexpr unsigned kChannels = 2;

HANDLE gDoneEvent = nullptr;
volatile LONG gDoneCount = 0;

void CALLBACK WaveOutCallback(HWAVEOUT, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    // Only record and signal: no waveOut calls are allowed here.
    if (message == WOM_DONE) {
        InterlockedIncrement(&gDoneCount);
        SetEvent(gDoneEvent);
    }
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        if (i + 1 >= argc)
            return false;
        const char* value = argv[++i];
        if (!std::strcmp(name, "--seconds"))
            options.seconds = std::atof(value);
        else if (!std::strcmp(name, "--freq"))
            options.frequency = std::atof(value);
        else if (!std::strcmp(name, "--dbfs"))
            options.dbfs = std::atof(value);
        else if (!std::strcmp(name, "--rate"))
            options.rate = static_cast<unsigned>(std::atoi(value));
        else if (!std::strcmp(name, "--bits"))
            options.bits = static_cast<unsigned>(std::atoi(value));
        else if (!std::strcmp(name, "--segment-ms"))
            options.segmentMs = static_cast<unsigned>(std::atoi(value));
        else
            return false;
    }
    const bool bitsOk = options.bits == 16 || options.bits == 20 || options.bits == 24 || options.bits == 32;
    return bitsOk && options.seconds > 0 && options.rate >= 8000 && options.segmentMs >= 5;
}

int Fail(const char* what, MMRESULT result)
{
    std::fprintf(stderr, "waveout_tone: %s failed (MMRESULT %u)\n", what, result);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: waveout_tone [--seconds S] [--freq HZ] [--dbfs DB] [--rate HZ] "
                     "[--bits 16|20|24|32] [--segment-ms MS]\n");
        return 1;
    }

    std::printf("wave-out devices: %u\n", waveOutGetNumDevs());

    const unsigned container = options.bits > 16 ? 32 : 16;
    const unsigned sampleBytes = container / 8;
    WAVEFORMATEXTENSIBLE format{};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = kChannels;
    format.Format.nSamplesPerSec = options.rate;
    format.Format.wBitsPerSample = static_cast<WORD>(container);
    format.Format.nBlockAlign = static_cast<WORD>(kChannels * sampleBytes);
    format.Format.nAvgBytesPerSec = options.rate * format.Format.nBlockAlign;
    format.Format.cbSize = sizeof(format) - sizeof(WAVEFORMATEX);
    format.Samples.wValidBitsPerSample = static_cast<WORD>(options.bits);
    format.dwChannelMask = kFrontLeftRight;
    format.SubFormat = kSubtypePcm;

    const unsigned totalFrames = static_cast<unsigned>(std::lround(options.seconds * options.rate));
    const unsigned segmentFrames = options.rate * options.segmentMs / 1000;
    const unsigned segments = (totalFrames + segmentFrames - 1) / segmentFrames;

    // The whole tone, computed once; each segment is a slice of it.
    const size_t segmentBytes = static_cast<size_t>(segmentFrames) * kChannels * sampleBytes;
    std::vector<char> samples(segments * segmentBytes, 0);
    const double fullScale = std::ldexp(1.0, static_cast<int>(options.bits) - 1);
    const double amplitude = std::pow(10.0, options.dbfs / 20.0) * fullScale;
    const double step = 2.0 * 3.14159265358979323846 * options.frequency / options.rate;
    for (unsigned n = 0; n < totalFrames; ++n) {
        double value = std::round(amplitude * std::sin(step * n));
        if (value > fullScale - 1)
            value = fullScale - 1;
        // Left-aligned in the container.
        const long long aligned = static_cast<long long>(value) * (1LL << (container - options.bits));
        for (unsigned c = 0; c < kChannels; ++c) {
            char* at = &samples[(static_cast<size_t>(n) * kChannels + c) * sampleBytes];
            for (unsigned b = 0; b < sampleBytes; ++b)
                at[b] = static_cast<char>((aligned >> (8 * b)) & 0xFF);
        }
    }

    gDoneEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HWAVEOUT device = nullptr;
    MMRESULT result = waveOutOpen(&device, WAVE_MAPPER, &format.Format,
                                  reinterpret_cast<DWORD_PTR>(&WaveOutCallback), 0, CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR)
        return Fail("waveOutOpen", result);

    WAVEHDR headers[kQueued]{};
    unsigned queued = 0;
    auto queueNext = [&](WAVEHDR& header) -> MMRESULT {
        header.lpData = &samples[queued * segmentBytes];
        header.dwBufferLength = static_cast<DWORD>(segmentBytes);
        header.dwFlags = 0;
        MMRESULT r = waveOutPrepareHeader(device, &header, sizeof(header));
        if (r == MMSYSERR_NOERROR)
            r = waveOutWrite(device, &header, sizeof(header));
        ++queued;
        return r;
    };

    for (int i = 0; i < kQueued && queued < segments; ++i)
        if ((result = queueNext(headers[i])) != MMSYSERR_NOERROR)
            return Fail("waveOutWrite", result);

    unsigned played = 0;
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(options.seconds * 1000) + 5000;
    while (played < segments) {
        WaitForSingleObject(gDoneEvent, 100);
        for (WAVEHDR& header : headers) {
            if (!(header.dwFlags & WHDR_DONE) || !header.lpData)
                continue;
            waveOutUnprepareHeader(device, &header, sizeof(header));
            header.lpData = nullptr;
            ++played;
            if (queued < segments && (result = queueNext(header)) != MMSYSERR_NOERROR)
                return Fail("waveOutWrite", result);
        }
        if (GetTickCount() > deadline) {
            std::fprintf(stderr, "waveout_tone: timed out after %u of %u segments\n", played, segments);
            waveOutReset(device);
            waveOutClose(device);
            return 1;
        }
    }

    waveOutReset(device);
    if ((result = waveOutClose(device)) != MMSYSERR_NOERROR)
        return Fail("waveOutClose", result);
    CloseHandle(gDoneEvent);
    std::printf("played %u segments of %u frames (%u Hz, %u bits in %u, %.1f dBFS, %.0f Hz), "
                "%ld done messages\n",
                segments, segmentFrames, options.rate, options.bits, container, options.dbfs,
                options.frequency, static_cast<long>(gDoneCount));
    return 0;
}
