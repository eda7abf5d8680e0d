// WAV file layout and writer: the RIFF/WAVE header (plain PCM or the
// extensible format), the packing of quantised stereo seconds into the
// file's sample container, byte sinks and a writer that always produces a
// file of exactly the announced length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/OsFile.h"
#include "synthesis/UnitType.h"

// Everything about a file's layout that follows from rate, bits and length.
struct TWavLayout {
  std::int32_t SamplingRate = 0;   // frames per second
  std::int32_t Quantization = 0;   // valid bits per sample: 16, 20, 24 or 32
  std::int32_t Seconds = 0;        // length of the file
  bool Extensible = false;         // false: plain PCM header
  std::uint16_t ContainerBits = 0; // 16 or 32
  std::uint16_t BlockAlign = 0;    // bytes per stereo frame: 4 or 8
  std::uint32_t HeaderSize = 0;    // 44 (plain) or 68 (extensible)
  std::uint32_t DataSize = 0;      // bytes of sample data

  std::size_t SecondBytes() const { return std::size_t(BlockAlign) * std::size_t(SamplingRate); }
  std::uint64_t FrameCount() const { return std::uint64_t(SamplingRate) * std::uint64_t(Seconds); }
  std::uint64_t FileSize() const { return std::uint64_t(HeaderSize) + DataSize; }
};

// The layout of a stereo file of `Seconds` seconds. Plain PCM for 16 bits at
// 44100 or 48000 Hz, the extensible format for every other rate or depth.
// Throws std::invalid_argument for a depth other than 16, 20, 24 or 32 bits,
// a rate or length below 1, or a file too long for the 32-bit RIFF sizes.
TWavLayout MakeWavLayout(std::int32_t SamplingRate, std::int32_t Quantization, std::int32_t Seconds);

// The two format records as the header carries them.
void FillWaveFormatEx(const TWavLayout& Layout, tWAVEFORMATEX& Format);
void FillWaveFormatExtensible(const TWavLayout& Layout, TWaveFormatExtensible& Format);

// The complete header (RIFF chunk, "fmt " chunk, "data" chunk header),
// serialised field by field in little-endian order.
std::vector<std::uint8_t> WavHeaderBytes(const TWavLayout& Layout);
// The same header for a file that holds only DataBytes bytes of samples
// (RIFF and "data" sizes from DataBytes instead of Layout.DataSize).
std::vector<std::uint8_t> WavHeaderBytes(const TWavLayout& Layout, std::uint32_t DataBytes);

// Packs one second (rate frames of each channel) into the file's sample
// layout, left before right: the low 16 bits of each sample with a 16-bit
// container; with a 32-bit container each sample shifted left by
// 32 - bits so that the valid bits sit at the top. Samples beyond the range
// of the depth saturate instead of wrapping. `Out` is resized to
// Layout.SecondBytes(). Throws std::invalid_argument when a channel does not
// hold exactly rate samples.
void PackWavSecond(const TWavLayout& Layout, const TWaveBufferIntegerStereo& Second,
                   std::vector<std::uint8_t>& Out);

// An I/O failure of a WAV or text file; what() is a complete message for the
// user (UTF-8): the one every window shows (CannotWriteFileMessage).
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Destination of a file's bytes.
class TByteSink {
 public:
  virtual ~TByteSink() = default;
  // Appends bytes; throws EFileError when they cannot all be written.
  virtual void Write(const std::uint8_t* Data, std::size_t Size) = 0;
  // Writes bytes over those at Offset from the start (within what was
  // written); later Writes still append. Throws EFileError.
  virtual void WriteAt(std::uint64_t Offset, const std::uint8_t* Data, std::size_t Size) = 0;
  // Completes the file (flush and close); throws EFileError on failure.
  virtual void Close() = 0;
  // Abandons an incomplete file. Never throws.
  virtual void Discard() noexcept = 0;
};

// A sink on a file on disk, written through a TReplacingFile: the bytes go
// into a temporary file of its own in the target's folder, which Close
// renames over the target once it is complete. A file of the target's name is
// replaced only by a complete one and is never lost when writing fails; no
// other file is touched. The constructor throws EFileError when the temporary
// file cannot be made, the target is no regular file or the replace would
// refuse it (read-only, in use), so that nothing is made for a file that
// could never be written. Discard (and
// destroying a sink that was not closed) removes the temporary file. Errors
// carry the operating system's reason.
class TFileSink final : public TByteSink {
 public:
  explicit TFileSink(const std::filesystem::path& FileName);
  ~TFileSink() override;
  TFileSink(const TFileSink&) = delete;
  TFileSink& operator=(const TFileSink&) = delete;

  void Write(const std::uint8_t* Data, std::size_t Size) override;
  void WriteAt(std::uint64_t Offset, const std::uint8_t* Data, std::size_t Size) override;
  void Close() override;
  void Discard() noexcept override;

  // The temporary file being written; empty once closed or discarded.
  const std::filesystem::path& TemporaryName() const { return FFile->TemporaryName(); }

 private:
  std::filesystem::path FFileName;
  std::unique_ptr<TReplacingFile> FFile;
};

// Writes one file second by second. The constructor writes the header as for
// a file without samples; Finish, once every second is written, writes the
// real sizes into it before the sink is closed, so a file abandoned part way
// never claims more audio than it holds. Every file it completes holds
// exactly Layout.Seconds seconds, so the header and the data always agree. A second that could not be made is written as the
// last second written before it, or as silence when there is none.
// After an exception from the sink the writer accepts no further calls
// (std::logic_error); the caller then discards the sink.
class TWavWriter {
 public:
  TWavWriter(TByteSink& Sink, const TWavLayout& Layout);

  // The next second; both channels must hold exactly rate samples.
  void WriteSecond(const TWaveBufferIntegerStereo& Second);
  // The next second could not be made.
  void WriteMissingSecond();
  // Writes any seconds not yet handed over as missing ones, then closes the sink.
  void Finish();

  std::int32_t SecondsWritten() const { return FSecondsWritten; }
  const TWavLayout& Layout() const { return FLayout; }

 private:
  void Put(const std::vector<std::uint8_t>& Bytes);
  void CheckUsable() const;

  TByteSink& FSink;
  TWavLayout FLayout;
  std::vector<std::uint8_t> FPacked;  // the last second written, packed
  bool FHavePacked = false;
  bool FBroken = false;
  bool FFinished = false;
  std::int32_t FSecondsWritten = 0;
};
