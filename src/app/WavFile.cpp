// WAV file layout, header serialisation, sample packing, the file sink and
// the second-by-second writer.
#include "app/WavFile.h"

#include <algorithm>
#include <limits>
#include <system_error>

namespace {

constexpr std::uint16_t kChannels = 2;
constexpr std::uint32_t kChannelMaskFrontLeftRight = 3;
constexpr std::uint16_t kExtensionSize = 22;
constexpr std::uint32_t kPlainFmtSize = 16;
constexpr std::uint32_t kExtensibleFmtSize = 40;
constexpr std::uint32_t kPlainHeaderSize = 44;
constexpr std::uint32_t kExtensibleHeaderSize = 68;

// Little-endian serialisation into a byte vector.
class TLittleEndian {
 public:
  explicit TLittleEndian(std::vector<std::uint8_t>& Out) : FOut(Out) {}
  void U16(std::uint16_t v) {
    FOut.push_back(std::uint8_t(v));
    FOut.push_back(std::uint8_t(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(std::uint16_t(v));
    U16(std::uint16_t(v >> 16));
  }
  void Tag(const char (&t)[5]) {
    for (int i = 0; i < 4; ++i) FOut.push_back(std::uint8_t(t[i]));
  }
  // A GUID in the byte order Windows stores it: the first three fields
  // little-endian, the last eight bytes as they stand.
  void Guid(const TGuid& g) {
    U32(g.Data1);
    U16(g.Data2);
    U16(g.Data3);
    for (std::uint8_t b : g.Data4) FOut.push_back(b);
  }

 private:
  std::vector<std::uint8_t>& FOut;
};

void PutWaveFormatEx(TLittleEndian& w, const tWAVEFORMATEX& f) {
  w.U16(f.wFormatTag);
  w.U16(f.nChannels);
  w.U32(f.nSamplesPerSec);
  w.U32(f.nAvgBytesPerSec);
  w.U16(f.nBlockAlign);
  w.U16(f.wBitsPerSample);
}

}  // namespace

TWavLayout MakeWavLayout(std::int32_t SamplingRate, std::int32_t Quantization, std::int32_t Seconds) {
  if (Quantization != 16 && Quantization != 20 && Quantization != 24 && Quantization != 32)
    throw std::invalid_argument("A WAV file cannot hold samples of " + std::to_string(Quantization) +
                                " bits.");
  if (SamplingRate < 1)
    throw std::invalid_argument("A WAV file cannot have the sampling rate " + std::to_string(SamplingRate) + " Hz.");
  if (Seconds < 1) throw std::invalid_argument("A WAV file must be at least 1 second long.");

  TWavLayout l;
  l.SamplingRate = SamplingRate;
  l.Quantization = Quantization;
  l.Seconds = Seconds;
  l.Extensible = !(Quantization == 16 && (SamplingRate == 44100 || SamplingRate == 48000));
  l.ContainerBits = Quantization <= 16 ? 16 : 32;
  l.BlockAlign = std::uint16_t(kChannels * l.ContainerBits / 8);
  l.HeaderSize = l.Extensible ? kExtensibleHeaderSize : kPlainHeaderSize;
  const std::uint64_t data = std::uint64_t(l.BlockAlign) * std::uint64_t(SamplingRate) * std::uint64_t(Seconds);
  // The RIFF size (file size less 8) must fit its 32-bit field.
  if (data + l.HeaderSize - 8 > std::numeric_limits<std::uint32_t>::max())
    throw std::invalid_argument("A WAV file of " + std::to_string(Seconds) + " s at " +
                                std::to_string(SamplingRate) + " Hz exceeds the 4 GiB limit of the format.");
  l.DataSize = std::uint32_t(data);
  return l;
}

void FillWaveFormatEx(const TWavLayout& l, tWAVEFORMATEX& f) {
  f.wFormatTag = l.Extensible ? WaveFormatTagExtensible : WaveFormatTagPCM;
  f.nChannels = kChannels;
  f.nSamplesPerSec = std::uint32_t(l.SamplingRate);
  f.nAvgBytesPerSec = std::uint32_t(l.BlockAlign) * std::uint32_t(l.SamplingRate);
  f.nBlockAlign = l.BlockAlign;
  f.wBitsPerSample = l.ContainerBits;
  f.cbSize = l.Extensible ? kExtensionSize : 0;
}

void FillWaveFormatExtensible(const TWavLayout& l, TWaveFormatExtensible& f) {
  FillWaveFormatEx(l, f.Format);
  f.Samples.wValidBitsPerSample = std::uint16_t(l.Quantization);
  f.dwChannelMask = kChannelMaskFrontLeftRight;
  f.SubFormat = PCMSubFormatGuid;
}

std::vector<std::uint8_t> WavHeaderBytes(const TWavLayout& l) { return WavHeaderBytes(l, l.DataSize); }

std::vector<std::uint8_t> WavHeaderBytes(const TWavLayout& l, std::uint32_t DataBytes) {
  std::vector<std::uint8_t> out;
  out.reserve(l.HeaderSize);
  TLittleEndian w(out);
  const std::uint32_t fmtSize = l.Extensible ? kExtensibleFmtSize : kPlainFmtSize;

  w.Tag("RIFF");
  w.U32(l.HeaderSize - 8 + DataBytes);
  w.Tag("WAVE");
  w.Tag("fmt ");
  w.U32(fmtSize);
  if (l.Extensible) {
    TWaveFormatExtensible f{};
    FillWaveFormatExtensible(l, f);
    PutWaveFormatEx(w, f.Format);
    w.U16(f.Format.cbSize);
    w.U16(f.Samples.wValidBitsPerSample);
    w.U32(f.dwChannelMask);
    w.Guid(f.SubFormat);
  } else {
    tWAVEFORMATEX f{};
    FillWaveFormatEx(l, f);
    PutWaveFormatEx(w, f);  // the plain header has no extension size
  }
  w.Tag("data");
  w.U32(DataBytes);
  return out;
}

void PackWavSecond(const TWavLayout& l, const TWaveBufferIntegerStereo& Second,
                   std::vector<std::uint8_t>& Out) {
  const std::size_t n = std::size_t(l.SamplingRate);
  if (Second[0].size() != n || Second[1].size() != n)
    throw std::invalid_argument("A second of the WAV file must hold " + std::to_string(n) +
                                " samples per channel.");
  Out.resize(l.SecondBytes());
  std::uint8_t* p = Out.data();
  const std::int32_t hi = std::int32_t((std::uint32_t(1) << (l.Quantization - 1)) - 1);
  const std::int32_t lo = -hi - 1;
  const TWaveBufferInteger& left = Second[0];
  const TWaveBufferInteger& right = Second[1];

  if (l.ContainerBits == 16) {
    for (std::size_t i = 0; i < n; ++i) {
      const auto a = std::uint16_t(std::clamp(left[i], lo, hi));
      const auto b = std::uint16_t(std::clamp(right[i], lo, hi));
      p[0] = std::uint8_t(a);
      p[1] = std::uint8_t(a >> 8);
      p[2] = std::uint8_t(b);
      p[3] = std::uint8_t(b >> 8);
      p += 4;
    }
  } else {
    const int shift = 32 - l.Quantization;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t a = std::uint32_t(std::clamp(left[i], lo, hi)) << shift;
      const std::uint32_t b = std::uint32_t(std::clamp(right[i], lo, hi)) << shift;
      p[0] = std::uint8_t(a);
      p[1] = std::uint8_t(a >> 8);
      p[2] = std::uint8_t(a >> 16);
      p[3] = std::uint8_t(a >> 24);
      p[4] = std::uint8_t(b);
      p[5] = std::uint8_t(b >> 8);
      p[6] = std::uint8_t(b >> 16);
      p[7] = std::uint8_t(b >> 24);
      p += 8;
    }
  }
}

// ---------------------------------------------------------------------------
// File sink

TFileSink::TFileSink(const std::filesystem::path& FileName) : FFileName(FileName) {
  try {
    FFile = std::make_unique<TReplacingFile>(FFileName);
  } catch (const EOsFileError& e) {
    throw EFileError(CannotWriteFileMessage(FFileName, e.what()));
  }
}

TFileSink::~TFileSink() = default;  // an uncommitted file is removed

void TFileSink::Write(const std::uint8_t* Data, std::size_t Size) {
  try {
    FFile->Write(Data, Size);
  } catch (const EOsFileError& e) {
    throw EFileError(CannotWriteFileMessage(FFileName, e.what()));
  }
}

void TFileSink::WriteAt(std::uint64_t Offset, const std::uint8_t* Data, std::size_t Size) {
  try {
    FFile->WriteAt(Offset, Data, Size);
  } catch (const EOsFileError& e) {
    throw EFileError(CannotWriteFileMessage(FFileName, e.what()));
  }
}

void TFileSink::Close() {
  try {
    FFile->Commit();
  } catch (const EOsFileError& e) {
    throw EFileError(CannotWriteFileMessage(FFileName, e.what()));
  }
}

void TFileSink::Discard() noexcept { FFile->Discard(); }

// ---------------------------------------------------------------------------
// Writer

TWavWriter::TWavWriter(TByteSink& Sink, const TWavLayout& Layout) : FSink(Sink), FLayout(Layout) {
  // No audio yet: a file left behind part way never claims what it lacks.
  Put(WavHeaderBytes(FLayout, 0));
}

void TWavWriter::CheckUsable() const {
  if (FBroken) throw std::logic_error("WAV writer: the file has already failed");
  if (FFinished) throw std::logic_error("WAV writer: the file is already finished");
  if (FSecondsWritten >= FLayout.Seconds) throw std::logic_error("WAV writer: more seconds than the file holds");
}

void TWavWriter::Put(const std::vector<std::uint8_t>& Bytes) {
  try {
    FSink.Write(Bytes.data(), Bytes.size());
  } catch (...) {
    FBroken = true;
    throw;
  }
}

void TWavWriter::WriteSecond(const TWaveBufferIntegerStereo& Second) {
  CheckUsable();
  PackWavSecond(FLayout, Second, FPacked);
  FHavePacked = true;
  Put(FPacked);
  ++FSecondsWritten;
}

void TWavWriter::WriteMissingSecond() {
  CheckUsable();
  if (!FHavePacked) {
    FPacked.assign(FLayout.SecondBytes(), 0);  // silence
    FHavePacked = true;
  }
  Put(FPacked);
  ++FSecondsWritten;
}

void TWavWriter::Finish() {
  if (FBroken) throw std::logic_error("WAV writer: the file has already failed");
  if (FFinished) return;
  while (FSecondsWritten < FLayout.Seconds) WriteMissingSecond();
  try {
    // Every second is there: now the header gives the real sizes.
    const std::vector<std::uint8_t> header = WavHeaderBytes(FLayout);
    FSink.WriteAt(0, header.data(), header.size());
    FSink.Close();
  } catch (...) {
    FBroken = true;
    throw;
  }
  FFinished = true;
}
